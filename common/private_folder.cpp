#include "common/private_folder.h"

#include <sddl.h>
#include <shlwapi.h>

#include "common/bounded_text.h"

namespace {

// "koz-" + 8 digits + terminator.
constexpr unsigned kFolderNameCapacity = 13;

}  // namespace

void FormatPrivateFolderName(DWORD seed, unsigned attempt, wchar_t* name) {
  // One step of a full-period linear congruential sequence per attempt: no name repeats
  // within a run.
  DWORD number = seed;
  for (unsigned i = 0; i <= attempt; ++i) number = number * 1664525u + 1013904223u;
  wsprintfW(name, PRIVATE_FOLDER_PREFIX L"%08x", number);
}

bool RunsAsAdministrator() {
  SID_IDENTIFIER_AUTHORITY nt_authority = {SECURITY_NT_AUTHORITY};
  PSID administrators = NULL;
  if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators)) {
    return false;
  }
  BOOL member = FALSE;
  // A filtered token under user account control holds the group for denying only, which
  // does not count here.
  if (!CheckTokenMembership(NULL, administrators, &member)) member = FALSE;
  FreeSid(administrators);
  return member != FALSE;
}

bool CreatePrivateFolder(wchar_t* folder, unsigned room) {
  LARGE_INTEGER counter = {};
  QueryPerformanceCounter(&counter);
  return CreatePrivateFolderFromSeed(
      GetTickCount() ^ (GetCurrentProcessId() << 16) ^ counter.LowPart, folder, room);
}

bool CreatePrivateFolderFromSeed(DWORD seed, wchar_t* folder, unsigned room) {
  wchar_t temp[kPathCapacity];
  DWORD temp_length = GetTempPathW(kPathCapacity, temp);
  folder[0] = 0;
  if (temp_length == 0 || temp_length >= kPathCapacity) return false;
  PathAddBackslashW(temp);
  if ((unsigned)lstrlenW(temp) + kFolderNameCapacity + room >= kPathCapacity) return false;

  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), NULL, FALSE};
  if (RunsAsAdministrator() &&
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(
          ADMINISTRATORS_ONLY_SDDL, SDDL_REVISION_1, &attributes.lpSecurityDescriptor, NULL)) {
    return false;
  }
  bool made = false;
  for (unsigned attempt = 0; attempt < kPrivateFolderAttempts && !made; ++attempt) {
    wchar_t name[kFolderNameCapacity];
    FormatPrivateFolderName(seed, attempt, name);
    lstrcpyW(folder, temp);
    AppendText(folder, kPathCapacity, name);
    // CreateDirectoryW fails on any existing name, folder or file: what someone else made
    // there is never taken over. Only a taken name is worth another attempt.
    made = CreateDirectoryW(folder, &attributes) != FALSE;
    if (!made && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  if (attributes.lpSecurityDescriptor != NULL) LocalFree(attributes.lpSecurityDescriptor);
  if (!made) folder[0] = 0;
  return made;
}
