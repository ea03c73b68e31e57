#include "common/private_folder.h"

#include <winternl.h>
#include <sddl.h>
#include <shlwapi.h>

#include "common/bounded_text.h"

namespace {

// "koz-" + 8 digits + terminator.
constexpr unsigned kFolderNameCapacity = 13;

// Not declared in the headers for this target (ntstatus.h clashes with windows.h).
constexpr NTSTATUS kNameCollision = (NTSTATUS)0xC0000035L;  // STATUS_OBJECT_NAME_COLLISION

// The Administrators group (S-1-5-32-544), laid out as a SID with its two sub-authorities.
struct TwoPartSid {
  BYTE revision;
  BYTE sub_authority_count;
  SID_IDENTIFIER_AUTHORITY authority;
  DWORD sub_authority[2];
};
const TwoPartSid kAdministrators = {SID_REVISION, 2, {SECURITY_NT_AUTHORITY},
                                    {SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS}};

// Creates the folder `name` inside the open folder `parent` and opens it in one call,
// which fails on any existing name (folder, file or link): what someone else made there
// is never taken over. The handle lists the folder and shares only reading, so nobody can
// rename or remove the folder or open it for writing while it is open.
NTSTATUS CreateAndHoldFolder(HANDLE parent, const wchar_t* name,
                             PSECURITY_DESCRIPTOR descriptor, HANDLE* hold) {
  UNICODE_STRING object_name;
  object_name.Buffer = (wchar_t*)name;
  object_name.Length = object_name.MaximumLength =
      (USHORT)(lstrlenW(name) * sizeof(wchar_t));
  // Field by field: the 64-bit headers put padding members between them.
  OBJECT_ATTRIBUTES attributes;
  ZeroMemory(&attributes, sizeof(attributes));
  attributes.Length = sizeof(attributes);
  attributes.RootDirectory = parent;
  attributes.ObjectName = &object_name;
  attributes.Attributes = OBJ_CASE_INSENSITIVE;
  attributes.SecurityDescriptor = descriptor;
  IO_STATUS_BLOCK status;
  return NtCreateFile(hold, FILE_LIST_DIRECTORY | SYNCHRONIZE, &attributes, &status, NULL,
                      FILE_ATTRIBUTE_NORMAL, FILE_SHARE_READ, FILE_CREATE,
                      FILE_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, NULL, 0);
}

// Puts "%SystemRoot%\Temp" into `temp` (kPathCapacity units) and returns its length, 0
// when it does not fit.
DWORD GetSystemTempFolder(wchar_t* temp) {
  UINT length = GetSystemWindowsDirectoryW(temp, kPathCapacity);
  if (length == 0 || length >= kPathCapacity || !EndWithBackslash(temp, kPathCapacity) ||
      !AppendText(temp, kPathCapacity, L"Temp")) {
    return 0;
  }
  return (DWORD)lstrlenW(temp);
}

// Room for an access list in SDDL: ADMINISTRATORS_ONLY_SDDL and one entry for a user.
constexpr unsigned kPrivateSddlCapacity = 256;

// The access list of a private folder readable by the user whose SID is `user_sid` (its
// string form): ADMINISTRATORS_ONLY_SDDL and read and list access for that user. Puts it
// into `out` (kPrivateSddlCapacity units); false when it does not fit.
bool FormatUserReadableSddl(const wchar_t* user_sid, wchar_t* out) {
  return CopyText(out, kPrivateSddlCapacity, ADMINISTRATORS_ONLY_SDDL L"(A;OICI;FRFX;;;") &&
         AppendText(out, kPrivateSddlCapacity, user_sid) &&
         AppendText(out, kPrivateSddlCapacity, L")");
}

}  // namespace

bool IsPrivateFolderName(const wchar_t* name) {
  const int prefix_length = sizeof(PRIVATE_FOLDER_PREFIX) / sizeof(wchar_t) - 1;
  if (lstrlenW(name) != prefix_length + 8 ||
      StrCmpNIW(name, PRIVATE_FOLDER_PREFIX, prefix_length) != 0) {
    return false;
  }
  for (const wchar_t* digit = name + prefix_length; *digit != 0; ++digit) {
    bool hex = (*digit >= L'0' && *digit <= L'9') || (*digit >= L'a' && *digit <= L'f') ||
               (*digit >= L'A' && *digit <= L'F');
    if (!hex) return false;
  }
  return true;
}

void FormatPrivateFolderName(DWORD seed, unsigned attempt, wchar_t* name) {
  // One step of a full-period linear congruential sequence per attempt: no name repeats
  // within a run.
  DWORD number = seed;
  for (unsigned i = 0; i <= attempt; ++i) number = number * 1664525u + 1013904223u;
  wsprintfW(name, PRIVATE_FOLDER_PREFIX L"%08x", number);
}

bool RunsAsAdministrator() {
  BOOL member = FALSE;
  // A filtered token under user account control holds the group for denying only, which
  // does not count here.
  if (!CheckTokenMembership(NULL, (PSID)&kAdministrators, &member)) member = FALSE;
  return member != FALSE;
}

bool BuildPrivateFolderDescriptor(PrivateFolderUse use, PSECURITY_DESCRIPTOR* descriptor) {
  *descriptor = NULL;
  if (!RunsAsAdministrator()) return true;
  wchar_t sddl[kPrivateSddlCapacity];
  CopyText(sddl, kPrivateSddlCapacity, ADMINISTRATORS_ONLY_SDDL);
  if (use == PRIVATE_READABLE_BY_USER || use == PRIVATE_IN_SYSTEM_TEMP_READABLE_BY_USER) {
    // The token's user: the account that started the program, elevated or not.
    wchar_t* user_sid = NULL;
    BYTE buffer[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    DWORD size = 0;
    HANDLE token = NULL;
    bool found = OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
                 GetTokenInformation(token, TokenUser, buffer, sizeof(buffer), &size) &&
                 ConvertSidToStringSidW(((TOKEN_USER*)buffer)->User.Sid, &user_sid);
    if (token != NULL) CloseHandle(token);
    found = found && FormatUserReadableSddl(user_sid, sddl);
    if (user_sid != NULL) LocalFree(user_sid);
    if (!found) return false;
  }
  return ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, descriptor,
                                                              NULL) != FALSE;
}

bool CreatePrivateFolder(wchar_t* folder, unsigned room, HANDLE* hold, PrivateFolderUse use) {
  // The clock, and where the stack lies (randomised on systems that place it anew for
  // every process).
  return CreatePrivateFolderFromSeed(GetTickCount() ^ (DWORD)(ULONG_PTR)&folder, folder,
                                     room, hold, use);
}

bool CreatePrivateFolderFromSeed(DWORD seed, wchar_t* folder, unsigned room, HANDLE* hold,
                                 PrivateFolderUse use) {
  *hold = INVALID_HANDLE_VALUE;
  folder[0] = 0;
  wchar_t temp[kPathCapacity];
  bool system_temp =
      use == PRIVATE_IN_SYSTEM_TEMP || use == PRIVATE_IN_SYSTEM_TEMP_READABLE_BY_USER;
  DWORD temp_length = system_temp && RunsAsAdministrator()
                          ? GetSystemTempFolder(temp)
                          : GetTempPathW(kPathCapacity, temp);
  if (temp_length == 0 || temp_length >= kPathCapacity) return false;
  PathAddBackslashW(temp);
  if ((unsigned)lstrlenW(temp) + kFolderNameCapacity + room >= kPathCapacity) return false;

  PSECURITY_DESCRIPTOR descriptor = NULL;
  if (!BuildPrivateFolderDescriptor(use, &descriptor)) return false;
  // The new folder is made inside the temporary folder opened here, whatever becomes of
  // that folder's name meanwhile.
  HANDLE parent = CreateFileW(temp, FILE_TRAVERSE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
  wchar_t name[kFolderNameCapacity];
  // Only a taken name is worth another attempt.
  NTSTATUS status = kNameCollision;
  for (unsigned attempt = 0; parent != INVALID_HANDLE_VALUE && attempt < kPrivateFolderAttempts &&
                             status == kNameCollision;
       ++attempt) {
    FormatPrivateFolderName(seed, attempt, name);
    status = CreateAndHoldFolder(parent, name, descriptor, hold);
  }
  if (parent != INVALID_HANDLE_VALUE) CloseHandle(parent);
  LocalFree(descriptor);
  if (!NT_SUCCESS(status)) {
    *hold = INVALID_HANDLE_VALUE;
    return false;
  }
  CopyText(folder, kPathCapacity, temp);
  AppendText(folder, kPathCapacity, name);
  return true;
}
