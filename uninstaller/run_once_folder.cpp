#include "uninstaller/run_once_folder.h"

#include <shlwapi.h>

#include "common/bounded_text.h"
#include "common/installation_identity.h"
#include "common/private_folder.h"

namespace {

// Splits `path` at its last backslash: the part before it goes into `parent`, and the
// name after it is returned (NULL when there is none).
const wchar_t* SplitLastName(const wchar_t* path, wchar_t* parent) {
  const wchar_t* separator = StrRChrW(path, NULL, L'\\');
  if (separator == NULL) return NULL;
  CopyUnits(parent, kPathCapacity, path, (size_t)(separator - path));
  return separator + 1;
}

// Whether `folder` (normal form) is the temporary folder whose path `temp` gives, in any
// form; `length` is what the call that filled `temp` returned.
bool IsTemporaryFolder(const wchar_t* folder, const wchar_t* temp, UINT length) {
  wchar_t normal[kPathCapacity];
  return length > 0 && length < kPathCapacity && NormalizeInstallationFolder(temp, normal) &&
         StrCmpIW(normal, folder) == 0;
}

// Whether `folder` is this user's temporary folder or the system's, where setup makes a
// Run Once's private folder when elevated.
bool IsEitherTemporaryFolder(const wchar_t* folder) {
  wchar_t temp[kPathCapacity];
  if (IsTemporaryFolder(folder, temp, GetTempPathW(kPathCapacity, temp))) return true;
  UINT length = GetSystemWindowsDirectoryW(temp, kPathCapacity);
  return length > 0 && length < kPathCapacity && EndWithBackslash(temp, kPathCapacity) &&
         AppendText(temp, kPathCapacity, L"Temp") &&
         IsTemporaryFolder(folder, temp, (UINT)lstrlenW(temp));
}

}  // namespace

bool FindRunOncePrivateFolder(const wchar_t* folder, const wchar_t* product_name,
                              wchar_t* private_folder) {
  wchar_t expected[kPathCapacity], temp_parent[kPathCapacity];
  const wchar_t* name = SplitLastName(folder, private_folder);
  const wchar_t* private_name = name != NULL ? SplitLastName(private_folder, temp_parent) : NULL;
  return private_name != NULL && CopyText(expected, kPathCapacity, RUN_ONCE_FOLDER_PREFIX) &&
         AppendText(expected, kPathCapacity, product_name) && StrCmpIW(name, expected) == 0 &&
         IsPrivateFolderName(private_name) && IsEitherTemporaryFolder(temp_parent);
}
