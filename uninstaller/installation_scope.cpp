#include "uninstaller/installation_scope.h"

#include <shlwapi.h>

#include "common/held_files.h"
#include "common/installation_identity.h"
#include "common/path_syntax.h"
#include "uninstall_log/log_format.h"
#include "uninstaller/held_removal.h"
#include "uninstaller/left_files.h"
#include "uninstaller/log_applications.h"
#include "uninstaller/restart_removal.h"
#include "uninstaller/run_once_folder.h"
#include "uninstaller/shortcut_target.h"

InstallationScope g_installation;

namespace {

// How long a folder that stays is tried again, in all: the shell may take that long to let
// go of a folder whose last file was just deleted.
constexpr DWORD kFolderRemovalPauseMs = 100;
// The pause between two attempts to remove one folder.
constexpr DWORD kFolderRetryStepMs = 20;

// From the drive root to the installation folder, for the whole phase.
HeldFolders g_installation_chain;
// How many levels g_installation_chain holds while it holds the installation folder.
unsigned g_installation_depth;
// The shortcut folders, each opened by its path when a record first needs it and held for
// the phase; NULL while not open.
HANDLE g_shortcut_holds[kShortcutFolderCount];
// Below a trusted folder (its base: the held installation folder or a shortcut folder) on
// the way to the current record.
HeldFolders g_record_folders;

// The installation's files that could not be removed now, for the folders that stay.
LeftFiles g_left_files;

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
  wchar_t path[kPathCapacity], named[kPathCapacity];
  return ReadUninstallCommand(command, path) && NormalizeInstallationFolder(path, named) &&
         StrCmpIW(named, expected) == 0;
}

// The shortcut folder `index` of g_installation, opened by its path the first time and
// held from then on: the system's folder, trusted as it stands. NULL when it cannot be
// opened.
HANDLE HeldShortcutFolder(unsigned index) {
  if (g_shortcut_holds[index] == NULL && g_installation.shortcut_folders[index][0] != 0) {
    HANDLE folder = CreateFileW(g_installation.shortcut_folders[index],
                                FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (folder != INVALID_HANDLE_VALUE) g_shortcut_holds[index] = folder;
  }
  return g_shortcut_holds[index];
}

// The held folder that the first `base_length` units of `path` name, as IsRecordInScope
// found it: the installation folder or a shortcut folder. NULL when it is not held.
HANDLE TrustedFolderOf(const wchar_t* path, size_t base_length) {
  size_t folder_length = (size_t)lstrlenW(g_installation.folder);
  if (base_length == folder_length &&
      StrCmpNIW(path, g_installation.folder, (int)folder_length) == 0) {
    return HeldInstallationFolder();
  }
  for (unsigned i = 0; i < kShortcutFolderCount; ++i) {
    const wchar_t* shortcuts = g_installation.shortcut_folders[i];
    if ((size_t)lstrlenW(shortcuts) == base_length + 1 &&
        StrCmpNIW(path, shortcuts, (int)base_length) == 0) {
      return HeldShortcutFolder(i);
    }
  }
  return NULL;
}

// Lets go of the record folders and of their base, which may be a level about to go.
void ReleaseRecordFolders() {
  ReleaseHeldFolders(&g_record_folders);
  SetHeldFoldersBase(&g_record_folders, NULL, 0);
}

// Lets go of the shortcut folders (and of the record folders, which may stand on one).
void ReleaseShortcutFolders() {
  ReleaseRecordFolders();
  for (HANDLE& shortcuts : g_shortcut_holds) {
    if (shortcuts != NULL) CloseHandle(shortcuts);
    shortcuts = NULL;
  }
}

// Holds the folders of `path` below the held folder `base` (its first `base_end` units),
// each opened relative to the one above it, up to `path` itself when `include_last`, else
// to its parent. True when every one is held and none is a link.
bool HoldRecordFolders(HANDLE base, size_t base_end, const wchar_t* path, bool include_last) {
  if (base == NULL) return false;
  if (g_record_folders.base != base || g_record_folders.base_end != base_end) {
    SetHeldFoldersBase(&g_record_folders, base, base_end);
  }
  return HoldFolderLevels(&g_record_folders, path, base_end, include_last, NULL) == HOLD_DONE;
}

// The name after the last backslash of `path`.
const wchar_t* LastName(const wchar_t* path) {
  const wchar_t* separator = StrRChrW(path, NULL, L'\\');
  return separator != NULL ? separator + 1 : path;
}

// A file of the installation that could not be deleted: scheduled for removal at restart
// where no user can change its path meanwhile (restart_removal.h), else left.
RecordOutcome LeaveInstallationFile(const wchar_t* path, const wchar_t* name, size_t length) {
  if (PathKeepsUsersOut(&g_installation_chain, &g_record_folders, name, length) &&
      ScheduleRemovalAtRestart(path)) {
    return NoteLeftFile(&g_left_files, path, RECORD_AT_RESTART);
  }
  return NoteLeftFile(&g_left_files, path, RECORD_STAYS);
}

// Deletes a shortcut `name` (`length` units) in `folder` while it leads into this
// installation: another installation may have put a link of the same name there since. It
// is read and deleted through one handle; a link that cannot be read is kept.
RecordOutcome DeleteShortcutFile(const wchar_t* path, HANDLE folder, const wchar_t* name,
                                 size_t length) {
  HANDLE link;
  HeldResult opened = OpenFileForRemovalIn(folder, name, length, &link);
  if (opened == HELD_MISSING) return RECORD_DONE;
  if (opened != HELD_DONE) return RECORD_KEPT;
  if (!LinkLeadsInto(link, g_installation.folder)) {
    CloseHandle(link);
    return RECORD_KEPT;
  }
  if (DeleteOpenedFile(link) == HELD_DONE) return RECORD_DONE;
  DWORD attributes = 0;
  if (!ReadAttributesIn(folder, name, length, &attributes)) return RECORD_DONE;
  return NoteLeftFile(&g_left_files, path, RECORD_STAYS);
}

// Deletes the file `path` through its held parent folder below the held folder its first
// `base_length` units name.
RecordOutcome DeleteRecordFile(const wchar_t* path, size_t base_length) {
  HANDLE trusted = TrustedFolderOf(path, base_length);
  // A folder on the way that is missing holds no file; one that is a link is not ours.
  if (!HoldRecordFolders(trusted, base_length, path, false)) return RECORD_DONE;
  const wchar_t* name = LastName(path);
  size_t name_length = (size_t)lstrlenW(name);
  HANDLE folder = DeepestHeldFolder(&g_record_folders);
  if (trusted != HeldInstallationFolder()) {
    return DeleteShortcutFile(path, folder, name, name_length);
  }
  HeldResult result = DeleteFileIn(folder, name, name_length);
  if (result == HELD_DONE || result == HELD_MISSING) return RECORD_DONE;
  // A link or a device under a logged name is not what setup made: it stays untouched.
  if (result == HELD_LINK || result == HELD_WRONG_KIND) return RECORD_KEPT;
  DWORD attributes = 0;
  if (!ReadAttributesIn(folder, name, name_length, &attributes)) return RECORD_DONE;
  return LeaveInstallationFile(path, name, name_length);
}

// Removes the empty folder `path` below the held folder its first `base_length` units name,
// through its held parent: the folder itself is let go (a held folder cannot be removed)
// and opened by name in that parent, and it goes only if it is a folder and no link.
// Returns whether it is worth trying again: it stays.
bool RemoveRecordFolder(const wchar_t* path, size_t base_length) {
  if (!HoldRecordFolders(TrustedFolderOf(path, base_length), base_length, path, false)) {
    return false;
  }
  ReleaseHeldFoldersAtOrBelow(&g_record_folders, path);
  const wchar_t* name = LastName(path);
  HeldResult result = RemoveFolderIn(DeepestHeldFolder(&g_record_folders), name,
                                     (size_t)lstrlenW(name), NULL);
  // Best effort: a folder that is not empty, or in use, stays.
  return result == HELD_NOT_EMPTY || result == HELD_FAILED;
}

// Removes the level of g_installation_chain that is `length` units long (the installation
// folder or one above it) through the level above it, if it is empty and still held. The
// levels below it are let go first (they cannot stay held while it goes, nor be trusted
// again once let go), and with them the record folders, whose base may be one of them.
// Returns whether it is worth trying again: it stays, still held.
bool RemoveInstallationLevel(size_t length) {
  HeldFolders& chain = g_installation_chain;
  unsigned level = 0;
  while (level < chain.count && chain.ends[level] != length) ++level;
  // Removed already or let go, or the drive root, which is never removed.
  if (level == 0 || level >= chain.count) return false;
  ReleaseRecordFolders();
  if (level + 1 < chain.count) {
    wchar_t below[kPathCapacity];
    if (!CopyUnits(below, kPathCapacity, chain.path, chain.ends[level + 1])) return false;
    ReleaseHeldFoldersAtOrBelow(&chain, below);
  }
  // Best effort: a folder that is not empty stays, held again.
  return RemoveDeepestHeldFolder(&chain) == FOLDER_KEPT;
}

// Whether `path` (`length` units) is the installation folder or lies below it.
bool IsAtOrBelowInstallation(const wchar_t* path, size_t length) {
  size_t folder_length = (size_t)lstrlenW(g_installation.folder);
  return length >= folder_length &&
         StrCmpNIW(path, g_installation.folder, (int)folder_length) == 0 &&
         (path[folder_length] == 0 || path[folder_length] == L'\\');
}

// Removes the folder of an `S` record at once; only one that stays is tried again, after
// short pauses up to kFolderRemovalPauseMs in all: the shell may still hold a folder
// whose last file was just deleted. A folder that is not empty (Program Files) costs the
// pauses, an emptied one none. A folder of the installation that stays because of files
// that stay counts as staying; one kept by files that go at restart goes then too.
RecordOutcome RemoveLoggedFolder(const wchar_t* path, size_t base_length) {
  size_t length = (size_t)lstrlenW(path);
  bool installation_level = base_length == length;
  for (DWORD waited = 0;; waited += kFolderRetryStepMs) {
    bool stays = installation_level ? RemoveInstallationLevel(base_length)
                                    : RemoveRecordFolder(path, base_length);
    if (!stays) break;
    if (waited >= kFolderRemovalPauseMs) {
      if (!IsAtOrBelowInstallation(path, length)) return RECORD_KEPT;
      RecordOutcome outcome = OutcomeOfFolderLeft(&g_left_files, path, length);
      // Its files were scheduled only where no user can rename a folder on their way.
      if (outcome == RECORD_AT_RESTART && !ScheduleRemovalAtRestart(path)) return RECORD_STAYS;
      return outcome;
    }
    Sleep(kFolderRetryStepMs);
  }
  return RECORD_DONE;
}

}  // namespace

HANDLE HeldInstallationFolder() {
  const HeldFolders& chain = g_installation_chain;
  return g_installation_depth > 0 && chain.count == g_installation_depth
             ? chain.handles[g_installation_depth - 1]
             : NULL;
}

bool SetInstallationScope(const wchar_t* folder, const LogHeader* header,
                          SpecialFolderLookup lookup) {
  InstallationScope& scope = g_installation;
  // Held shortcut folders belong to the scope before.
  ReleaseShortcutFolders();
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
  // Before the shortcut folders: an installation inside one of them has its own levels.
  if (letter == LOG_RECORD_FOLDER && IsFolderOrAbove(path, length, scope.folder, folder_length)) {
    *base_length = length;
    return true;
  }
  for (const wchar_t* shortcuts : scope.shortcut_folders) {
    size_t shortcuts_length = (size_t)lstrlenW(shortcuts);
    // The lookup gives the folder with its trailing backslash; the folder itself is the
    // system's and trusted as it stands.
    if (shortcuts_length > 1 && IsBelow(path, length, shortcuts, shortcuts_length - 1)) {
      *base_length = shortcuts_length - 1;
      return true;
    }
  }
  return false;
}

HoldResult HoldInstallationFolders(const wchar_t* folder) {
  ReleaseInstallationFolders();
  HoldResult result =
      folder[0] != 0 ? HoldFolderLevels(&g_installation_chain, folder, 0, true, NULL)
                     : HOLD_MISSING;
  if (result != HOLD_DONE) {
    ReleaseHeldFolders(&g_installation_chain);
    return result;
  }
  g_installation_depth = g_installation_chain.count;
  return HOLD_DONE;
}

bool LogFitsScope(const wchar_t* text, size_t length, SpecialFolderLookup lookup) {
  size_t position = 0;
  LogRecord record;
  bool any = false;
  while (NextLogRecord(text, length, &position, &record) == LOG_WALK_RECORD) {
    any = true;
    wchar_t path[kPathCapacity];
    size_t base_length = 0;
    if (ResolveLogPath(record.text, record.text_length, lookup, path) && path[0] != 0 &&
        IsRecordInScope(record.kind, path, &base_length)) {
      return true;
    }
  }
  return !any;
}

void RemoveRunOncePrivateFolder(const wchar_t* product_name) {
  wchar_t private_folder[kPathCapacity];
  if (!FindRunOncePrivateFolder(g_installation.folder, product_name, private_folder)) return;
  RemoveInstallationLevel((size_t)lstrlenW(g_installation.folder));
  RemoveInstallationLevel((size_t)lstrlenW(private_folder));
}

void ReleaseInstallationFolders() {
  ForgetLeftFiles(&g_left_files);
  ReleaseShortcutFolders();
  ReleaseHeldFolders(&g_installation_chain);
  g_installation_depth = 0;
}

RecordOutcome ApplyInstallationRecord(wchar_t letter, const wchar_t* path) {
  size_t base_length = 0;
  if (!IsRecordInScope(letter, path, &base_length)) return RECORD_DONE;
  switch (letter) {
    case LOG_RECORD_REGISTRY:
      // A missing key is gone already; one with subkeys stays, as no record names them.
      return RegDeleteKeyW(HKEY_LOCAL_MACHINE, path) == ERROR_SUCCESS ? RECORD_DONE
                                                                      : RECORD_KEPT;
    case LOG_RECORD_FILE:
      return DeleteRecordFile(path, base_length);
    case LOG_RECORD_FOLDER:
      return RemoveLoggedFolder(path, base_length);
    default:
      return RECORD_DONE;  // `E` records belong to the first phase
  }
}

void StartInstalledApplication(const wchar_t* path) {
  size_t base_length = 0;
  if (!IsRecordInScope(LOG_RECORD_EXECUTABLE, path, &base_length) ||
      !HoldRecordFolders(HeldInstallationFolder(), base_length, path, false)) {
    return;
  }
  const wchar_t* name = LastName(path);
  HANDLE program;
  HANDLE process = NULL;
  // The program file is held open while it is started, so its name cannot be given to
  // another file or a link meanwhile.
  if (OpenFileIn(DeepestHeldFolder(&g_record_folders), name, (size_t)lstrlenW(name),
                 &program) == HELD_DONE) {
    process = StartApplication(path);
    CloseHandle(program);
  }
  // Held until the program is started only: its own clean-up may change its folders.
  ReleaseRecordFolders();
  WaitForApplication(process);
}
