#include "uninstaller/restart_removal.h"

#include "common/held_files.h"

namespace {

// Rights that let their holder rename or remove the object, remove what a folder holds,
// or give itself any of these.
constexpr ACCESS_MASK kRenamingRights =
    DELETE | FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER | GENERIC_ALL;

// Access-list entry types that grant rights and whose trustee cannot be read as plain
// ACCESS_ALLOWED_ACE: such an entry with renaming rights makes the object untrusted.
constexpr BYTE kAllowedCompoundAce = 4;
constexpr BYTE kAllowedObjectAce = 5;
constexpr BYTE kAllowedCallbackAce = 9;
constexpr BYTE kAllowedCallbackObjectAce = 11;

// Whether `sid` is SYSTEM (S-1-5-18), Administrators (S-1-5-32-544) or TrustedInstaller
// (S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464).
bool IsSystemOrAdministrators(PSID sid) {
  static const DWORD kTrustedInstaller[] = {80, 956008885, 3418522649u, 1831038044,
                                            1853292631, 2271478464u};
  if (sid == NULL || !IsValidSid(sid)) return false;
  const SID_IDENTIFIER_AUTHORITY* authority = GetSidIdentifierAuthority(sid);
  static const SID_IDENTIFIER_AUTHORITY kNtAuthority = SECURITY_NT_AUTHORITY;
  for (unsigned i = 0; i < sizeof(kNtAuthority.Value); ++i) {
    if (authority->Value[i] != kNtAuthority.Value[i]) return false;
  }
  BYTE count = *GetSidSubAuthorityCount(sid);
  if (count == 1) return *GetSidSubAuthority(sid, 0) == SECURITY_LOCAL_SYSTEM_RID;
  if (count == 2) {
    return *GetSidSubAuthority(sid, 0) == SECURITY_BUILTIN_DOMAIN_RID &&
           *GetSidSubAuthority(sid, 1) == DOMAIN_ALIAS_RID_ADMINS;
  }
  if (count != sizeof(kTrustedInstaller) / sizeof(kTrustedInstaller[0])) return false;
  for (BYTE i = 0; i < count; ++i) {
    if (*GetSidSubAuthority(sid, i) != kTrustedInstaller[i]) return false;
  }
  return true;
}

// Whether the access-list entry `entry` gives renaming rights on the object itself to
// someone other than the system and administrators.
bool EntryLetsUsersIn(const ACE_HEADER* entry) {
  if (entry->AceFlags & INHERIT_ONLY_ACE) return false;  // for objects made inside only
  switch (entry->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case kAllowedCallbackAce: {
      // The callback entry has the plain entry's layout up to its trustee.
      const ACCESS_ALLOWED_ACE* allowed = (const ACCESS_ALLOWED_ACE*)entry;
      return (allowed->Mask & kRenamingRights) != 0 &&
             !IsSystemOrAdministrators((PSID)&allowed->SidStart);
    }
    case kAllowedCompoundAce:
    case kAllowedObjectAce:
    case kAllowedCallbackObjectAce:
      return (((const ACCESS_ALLOWED_ACE*)entry)->Mask & kRenamingRights) != 0;
    default:
      return false;  // denials, audits and labels grant nothing
  }
}

// KeepsUsersOut for the object `name` (`length` 0: the folder itself) inside `folder`.
bool ObjectKeepsUsersOut(HANDLE folder, const wchar_t* name, size_t length) {
  PSECURITY_DESCRIPTOR descriptor;
  if (!ReadOwnerAndAccessIn(folder, name, length, &descriptor)) return false;
  bool kept_out = KeepsUsersOut(descriptor);
  LocalFree(descriptor);
  return kept_out;
}

// Whether every level `held` holds keeps users out, each read through its own handle.
bool LevelsKeepUsersOut(const HeldFolders* held) {
  for (unsigned i = 0; i < held->count; ++i) {
    if (!ObjectKeepsUsersOut(held->handles[i], L"", 0)) return false;
  }
  return true;
}

}  // namespace

bool KeepsUsersOut(PSECURITY_DESCRIPTOR descriptor) {
  PSID owner = NULL;
  BOOL owner_defaulted = FALSE;
  if (descriptor == NULL || !GetSecurityDescriptorOwner(descriptor, &owner, &owner_defaulted) ||
      !IsSystemOrAdministrators(owner)) {
    return false;
  }
  BOOL present = FALSE, defaulted = FALSE;
  PACL access = NULL;
  if (!GetSecurityDescriptorDacl(descriptor, &present, &access, &defaulted) || !present ||
      access == NULL) {
    return false;
  }
  for (DWORD i = 0; i < access->AceCount; ++i) {
    void* entry = NULL;
    if (!GetAce(access, i, &entry) || EntryLetsUsersIn((const ACE_HEADER*)entry)) return false;
  }
  return true;
}

bool PathKeepsUsersOut(const HeldFolders* chain, const HeldFolders* below, const wchar_t* name,
                       size_t length) {
  if (chain->count == 0 || !LevelsKeepUsersOut(chain)) return false;
  if (below != NULL && !LevelsKeepUsersOut(below)) return false;
  HANDLE deepest = below != NULL ? DeepestHeldFolder(below) : DeepestHeldFolder(chain);
  return deepest != NULL && ObjectKeepsUsersOut(deepest, name, length);
}

bool ScheduleRemovalAtRestart(const wchar_t* path) {
  return MoveFileExW(path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT) != FALSE;
}
