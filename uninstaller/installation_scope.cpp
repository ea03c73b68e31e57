#include "uninstaller/installation_scope.h"

#include <shlwapi.h>

#include "common/installation_identity.h"
#include "common/path_syntax.h"
#include "uninstall_log/log_format.h"
#include "uninstaller/log_applications.h"
#include "uninstaller/run_once_folder.h"

InstallationScope g_installation;

namespace {

// From the drive root to the installation folder, for the whole phase.
HeldFolders g_installation_chain;
// Below a trusted folder on the way to the current record.
HeldFolders g_record_folders;

// Whether `path` (`length` units) lies below `folder` (`folder_length` units, no trailing
// backslash) along a path that cannot lead back out of it.
bool IsBelow(const wchar_t* path, size_t length, const wchar_t* folder, size_t folder_length) {
  return folder_length > 0 && length > folder_length + 1 &&
         StrCmpNIW(path, folder, (int)folder_length) == 0 && path[folder_length] == L'\\' &&
         IsPathBelowFolder(path + folder_length + 1, length - folder_length - 1);
}

// Whether `path` is `folder` itself or one of the folders above it (not a drive root).
bool IsFolderOrAbove(const wchar_t* path, size_t length, const wchar_t* folder,
                     size_t folder_length) {
  return IsAbsolutePath(path) && length > 3 && length <= folder_length &&
         StrCmpNIW(path, folder, (int)length) == 0 &&
         (folder[length] == 0 || folder[length] == L'\\');
}

// Whether the key's UninstallString, quoted as setup writes it, names "uninstall.exe" in
// the installation folder.
bool KeyNamesThisUninstaller(const wchar_t* subkey) {
  wchar_t expected[kPathCapacity];
  if (!CopyText(expected, kPathCapacity, g_installation.folder) ||
      !AppendText(expected, kPathCapacity, L"\\" INSTALLED_UNINSTALLER_NAME)) {
    return false;
  }
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, subkey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return false;
  }
  wchar_t command[kPathCapacity + 3] = {0};
  DWORD size = sizeof(command) - sizeof(wchar_t);
  DWORD type = 0;
  LONG result = RegQueryValueExW(key, L"UninstallString", NULL, &type, (BYTE*)command, &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS || type != REG_SZ) return false;
  command[size / sizeof(wchar_t)] = 0;
  // One path in double quotes, as setup writes it; its folder in normal form.
  int length = lstrlenW(command);
  if (length < 3 || command[0] != L'"' || command[length - 1] != L'"') return false;
  command[length - 1] = 0;
  wchar_t named[kPathCapacity];
  return NormalizeInstallationFolder(command + 1, named) && StrCmpIW(named, expected) == 0;
}

}  // namespace

bool SetInstallationScope(const wchar_t* folder, const LogHeader* header,
                          SpecialFolderLookup lookup) {
  InstallationScope& scope = g_installation;
  if (!NormalizeInstallationFolder(folder, scope.folder)) {
    scope.product_key[0] = 0;
    for (wchar_t* shortcuts : scope.shortcut_folders) shortcuts[0] = 0;
    return false;
  }
  // The drive root's backslash goes too: paths below the folder add their own.
  int length = lstrlenW(scope.folder);
  if (length > 0 && scope.folder[length - 1] == L'\\') scope.folder[length - 1] = 0;
  scope.product_key[0] = 0;
  if (header != NULL) {
    FormatUninstallKey(header->product_name, header->product_version, scope.product_key,
                       kProductKeyCapacity);
  }
  for (unsigned i = 0; i < kShortcutFolderCount; ++i) {
    if (!lookup(kShortcutFolders[i], scope.shortcut_folders[i])) {
      scope.shortcut_folders[i][0] = 0;
    }
  }
  return true;
}

bool LogBelongsToScope(const wchar_t* text, size_t length) {
  wchar_t own_record[kPathCapacity];
  if (g_installation.folder[0] == 0 || !CopyText(own_record, kPathCapacity, g_installation.folder) ||
      !AppendText(own_record, kPathCapacity, L"\\" UNINSTALL_LOG_NAME)) {
    return false;
  }
  size_t position = 0;
  LogRecord record;
  while (NextLogRecord(text, length, &position, &record) == LOG_WALK_RECORD) {
    if (record.kind == LOG_RECORD_FILE && record.text_length == (size_t)lstrlenW(own_record) &&
        StrCmpNIW(record.text, own_record, (int)record.text_length) == 0) {
      return true;
    }
  }
  return false;
}

bool IsRecordInScope(wchar_t letter, const wchar_t* path, size_t* base_length) {
  const InstallationScope& scope = g_installation;
  size_t length = (size_t)lstrlenW(path);
  if (letter == LOG_RECORD_REGISTRY) {
    *base_length = length;
    return scope.product_key[0] != 0 && StrCmpIW(path, scope.product_key) == 0 &&
           KeyNamesThisUninstaller(scope.product_key);
  }
  if (StrChrW(path, L'/') != NULL) return false;
  if (letter != LOG_RECORD_FILE && letter != LOG_RECORD_FOLDER &&
      letter != LOG_RECORD_EXECUTABLE) {
    return false;
  }
  size_t folder_length = (size_t)lstrlenW(scope.folder);
  if (IsBelow(path, length, scope.folder, folder_length)) {
    // The installation folder and those above it are held free of links for the phase.
    *base_length = folder_length;
    return true;
  }
  if (letter == LOG_RECORD_EXECUTABLE) return false;
  for (const wchar_t* shortcuts : scope.shortcut_folders) {
    size_t shortcuts_length = (size_t)lstrlenW(shortcuts);
    // The lookup gives the folder with its trailing backslash; the folder itself is the
    // system's and trusted as it stands.
    if (shortcuts_length > 1 && IsBelow(path, length, shortcuts, shortcuts_length - 1)) {
      *base_length = shortcuts_length - 1;
      return true;
    }
  }
  if (letter == LOG_RECORD_FOLDER && IsFolderOrAbove(path, length, scope.folder, folder_length)) {
    // Removing a folder that is a link removes the link only; nothing to check.
    *base_length = length;
    return true;
  }
  return false;
}

bool HoldInstallationFolders(const wchar_t* folder) {
  return folder[0] != 0 &&
         HoldFolderLevels(&g_installation_chain, folder, 0, true, NULL) == HOLD_DONE;
}

void RemoveRunOncePrivateFolder(const wchar_t* product_name) {
  wchar_t private_folder[kPathCapacity];
  if (!FindRunOncePrivateFolder(g_installation.folder, product_name, private_folder)) return;
  // Let go of the held folders in it, so they can be removed.
  ReleaseHeldFoldersAtOrBelow(&g_record_folders, private_folder);
  ReleaseHeldFoldersAtOrBelow(&g_installation_chain, private_folder);
  DeleteFolderTree(private_folder);
}

void ReleaseInstallationFolders() {
  ReleaseHeldFolders(&g_record_folders);
  ReleaseHeldFolders(&g_installation_chain);
}

void ApplyInstallationRecord(wchar_t letter, const wchar_t* path) {
  size_t base_length = 0;
  if (!IsRecordInScope(letter, path, &base_length)) return;
  if (letter == LOG_RECORD_FOLDER) {
    // A held folder cannot be removed: let go of it, and of what lies below it.
    ReleaseHeldFoldersAtOrBelow(&g_record_folders, path);
    ReleaseHeldFoldersAtOrBelow(&g_installation_chain, path);
  }
  if (letter != LOG_RECORD_REGISTRY &&
      HoldFolderLevels(&g_record_folders, path, base_length, false, NULL) != HOLD_DONE) {
    return;
  }
  ApplyLogRecord(letter, path);
}

void StartInstalledApplication(const wchar_t* path) {
  size_t base_length = 0;
  if (!IsRecordInScope(LOG_RECORD_EXECUTABLE, path, &base_length) ||
      HoldFolderLevels(&g_record_folders, path, base_length, false, NULL) != HOLD_DONE) {
    return;
  }
  HANDLE process = StartApplication(path);
  // Held until the program is started only: its own clean-up may change its folders.
  ReleaseHeldFolders(&g_record_folders);
  WaitForApplication(process);
}
