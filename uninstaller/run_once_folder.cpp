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

}  // namespace

bool FindRunOncePrivateFolder(const wchar_t* folder, const wchar_t* product_name,
                              wchar_t* private_folder) {
  wchar_t expected[kPathCapacity], temp_parent[kPathCapacity], temp[kPathCapacity],
      normal_temp[kPathCapacity];
  const wchar_t* name = SplitLastName(folder, private_folder);
  const wchar_t* private_name = name != NULL ? SplitLastName(private_folder, temp_parent) : NULL;
  DWORD temp_length = GetTempPathW(kPathCapacity, temp);
  return private_name != NULL && CopyText(expected, kPathCapacity, RUN_ONCE_FOLDER_PREFIX) &&
         AppendText(expected, kPathCapacity, product_name) && StrCmpIW(name, expected) == 0 &&
         IsPrivateFolderName(private_name) && temp_length > 0 && temp_length < kPathCapacity &&
         NormalizeInstallationFolder(temp, normal_temp) &&
         StrCmpIW(normal_temp, temp_parent) == 0;
}

void DeleteFolderTree(const wchar_t* folder) {
  wchar_t pattern[kPathCapacity];
  if (!CopyText(pattern, kPathCapacity, folder) || !AppendText(pattern, kPathCapacity, L"\\*")) {
    return;
  }
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(pattern, &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (lstrcmpW(found.cFileName, L".") == 0 || lstrcmpW(found.cFileName, L"..") == 0) continue;
      wchar_t path[kPathCapacity];
      if (!CopyText(path, kPathCapacity, folder) || !AppendText(path, kPathCapacity, L"\\") ||
          !AppendText(path, kPathCapacity, found.cFileName)) {
        continue;
      }
      DWORD attributes = found.dwFileAttributes;
      // Removal is best effort: what stays, stays.
      SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL);
      if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        DeleteFileW(path);
      } else if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        RemoveDirectoryW(path);  // the link itself, not where it leads
      } else {
        DeleteFolderTree(path);
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder);
}
