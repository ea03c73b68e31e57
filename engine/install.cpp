#include "engine/install.h"

#include <shlobj.h>
#include <shlwapi.h>

#include "common/fatal_error.h"
#include "common/installation_identity.h"
#include "common/path_syntax.h"
#include "engine/folders.h"
#include "engine/installed_paths.h"
#include "engine/launch.h"
#include "engine/registration.h"
#include "engine/setup_options.h"
#include "engine/shortcuts.h"
#include "package/package.h"
#include "uninstall_log/log_format.h"
#include "uninstall_log/log_writer.h"

namespace {

// Set when some entry got a Programs-menu shortcut: the uninstaller then gets one too.
bool g_programs_group_used = false;

bool IsNormalInstall() { return g_setup_options.install_mode != INSTALL_MODE_RUN_ONCE; }

// Whether the extraction will make at least one shortcut for an entry with `flags`.
bool WantsShortcut(DWORD flags) {
  if (!IsNormalInstall() || flags == ENTRY_UNINSTALLER) return false;
  return ((flags & ENTRY_DESKTOP_SHORTCUT) && g_setup_options.desktop_shortcut) ||
         ((flags & ENTRY_STARTUP_SHORTCUT) && g_setup_options.startup_shortcut) ||
         ((flags & ENTRY_PROGRAMS_SHORTCUT) && g_setup_options.programs_shortcut);
}

// Converts a folder name of the package (ANSI bytes, no terminator) in one call, so that
// multi-byte characters stay whole. Returns false when it cannot be converted.
bool ConvertFolderName(const char* name, unsigned length, wchar_t* out, unsigned capacity) {
  int units = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, name, (int)length, out,
                                  (int)capacity - 1);
  if (units <= 0) return false;
  // The terminator follows the units written, which for a multi-byte code page may be
  // fewer than the name's bytes.
  out[units] = 0;
  return true;
}

// A name from the package that would lead out of the installation folder (a drive, a
// root, a network path, a ".." part, an alternate stream), or one that Win32 would change
// or forbid (files are made through a folder's handle, which skips Win32's name rules),
// makes the package unsound.
void CheckNameBelowFolder(const wchar_t* name) {
  if (!IsPlainWindowsPath(name, (size_t)lstrlenW(name))) FatalError(PACKAGE_CORRUPT_MESSAGE);
}

// Builds the full path of a package folder, or ends the run when it is unsound or does
// not fit.
void BuildFolderPath(const char* name, unsigned length, wchar_t* path) {
  wchar_t folder[kPathCapacity];
  if (!ConvertFolderName(name, length, folder, kPathCapacity)) FatalError(PACKAGE_CORRUPT_MESSAGE);
  CheckNameBelowFolder(folder);
  if (!BuildInstalledPath(folder, path)) {
    FatalErrorWithPath(FOLDER_CREATE_FAILED_MESSAGE, g_setup_options.install_dir, folder);
  }
}

// Walks the folder list and every entry record once with the bounded readers, names and
// sizes only, before anything is written: a malformed package, a name that leads out of
// the installation folder, or a path or link name that would not fit its buffer, ends the
// run here with nothing on disk. `install_dir` already ends with its backslash.
void CheckPackage() {
  wchar_t path[kPathCapacity];
  if (!BuildInstalledPath(UNINSTALL_LOG_NAME, path)) FatalError(LOG_CREATE_FAILED_MESSAGE);

  const BYTE* p = PackagePayload();
  const char* folder;
  unsigned length;
  while ((p = ReadFolderName(p, &folder, &length)), length != 0) {
    BuildFolderPath(folder, length, path);
  }

  wchar_t name[kPathCapacity];
  const BYTE* data;
  DWORD size, flags;
  while ((p = ReadEntry(p, name, &data, &size, &flags)) != NULL) {
    CheckNameBelowFolder(name);
    if (!BuildInstalledPath(name, path)) {
      FatalErrorWithPath(FILE_CREATE_FAILED_MESSAGE, g_setup_options.install_dir, name);
    }
    wchar_t link_name[kLinkNameCapacity];
    if (WantsShortcut(flags) && !BuildLinkName(path, link_name, kLinkNameCapacity)) {
      FatalErrorWithPath(SHORTCUT_NAME_MESSAGE, path);
    }
  }
}

// Creates every folder of the folder list below the installation folder and moves the
// package view's cursor to the first entry record.
void CreatePackageFolders() {
  const BYTE* p = PackagePayload();
  const char* folder;
  unsigned length;
  while ((p = ReadFolderName(p, &folder, &length)), length != 0) {
    wchar_t path[kPathCapacity];
    BuildFolderPath(folder, length, path);
    EnsureFolder(path, path);
  }
  g_package.cursor = p;
}

// Builds the installed path of an entry already checked by CheckPackage.
void BuildEntryPath(const wchar_t* name, wchar_t* path) {
  if (!BuildInstalledPath(name, path)) {
    FatalErrorWithPath(FILE_CREATE_FAILED_MESSAGE, g_setup_options.install_dir, name);
  }
}

// One "E" record per entry with the launch bit, the uninstaller left out by its name.
void LogExecutables() {
  wchar_t name[kPathCapacity];
  const BYTE* data;
  DWORD size, flags;
  for (const BYTE* p = g_package.cursor; (p = ReadEntry(p, name, &data, &size, &flags)) != NULL;) {
    if (!(flags & ENTRY_LAUNCH) || StrCmpIW(name, INSTALLED_UNINSTALLER_NAME) == 0) continue;
    wchar_t path[kPathCapacity];
    BuildEntryPath(name, path);
    WriteLogRecord(LOG_RECORD_EXECUTABLE, path);
  }
}

// Writes one file with a single write straight from the mapped package. A `logged` file
// gets its "F" record as soon as it exists, before its data: when the write fails (a full
// disk), the log already names the partial file, so an uninstall removes it too.
// The file is made inside its folder's held handle: a folder swapped for a link meanwhile
// is never written through, and a name that already exists is replaced only when it is a
// plain file with no other name.
void WriteEntryFile(const wchar_t* path, const BYTE* data, DWORD size, bool logged) {
  HANDLE file = CreateFileInHeldFolder(path);
  if (file == INVALID_HANDLE_VALUE) FatalErrorWithPath(FILE_CREATE_FAILED_MESSAGE, path);
  if (logged) WriteLogRecord(LOG_RECORD_FILE, path);
  DWORD written = 0;
  WriteFile(file, data, size, &written, NULL);
  CloseHandle(file);
  if (written != size) FatalError(DATA_INTEGRITY_MESSAGE);
}

// The shortcuts that both the entry and the user ask for, in the order the log lists them.
void MakeShortcuts(DWORD flags, const wchar_t* path) {
  if ((flags & ENTRY_DESKTOP_SHORTCUT) && g_setup_options.desktop_shortcut) {
    CreateShortcutInSpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY, path);
  }
  if ((flags & ENTRY_STARTUP_SHORTCUT) && g_setup_options.startup_shortcut) {
    CreateShortcutInSpecialFolder(CSIDL_COMMON_STARTUP, path);
  }
  if ((flags & ENTRY_PROGRAMS_SHORTCUT) && g_setup_options.programs_shortcut) {
    CreateShortcutInSpecialFolder(CSIDL_COMMON_PROGRAMS, path);
    g_programs_group_used = true;
  }
}

// Writes every file in package order, logging each with its shortcuts; the uninstaller
// entry is registered instead of logged.
void ExtractEntries() {
  wchar_t name[kPathCapacity];
  const BYTE* data;
  DWORD size, flags;
  for (const BYTE* p = g_package.cursor; (p = ReadEntry(p, name, &data, &size, &flags)) != NULL;) {
    wchar_t path[kPathCapacity];
    BuildEntryPath(name, path);
    WriteEntryFile(path, data, size, flags != ENTRY_UNINSTALLER);
    if (flags != ENTRY_UNINSTALLER) {
      if (IsNormalInstall()) MakeShortcuts(flags, path);
    } else if (IsNormalInstall()) {
      RegisterUninstaller(path);
    }
  }
}

// FatalError's clean-up while the log is open: appends what the run's end would have
// logged, the uninstaller, the log itself and the touched folders newest first, but no end
// marker, and closes the log.
void CompleteInterruptedLog() {
  wchar_t path[kPathCapacity];
  if (BuildInstalledPath(INSTALLED_UNINSTALLER_NAME, path)) WriteLogRecord(LOG_RECORD_FILE, path);
  if (BuildInstalledPath(UNINSTALL_LOG_NAME, path)) WriteLogRecord(LOG_RECORD_FILE, path);
  WriteTouchedFolders();
  CloseUninstallLog();
}

// Makes `install_dir` the normal form the uninstaller will know it by, or ends the run. A
// folder that is not absolute would be taken relative to setup's current folder, and
// registered in a form no later uninstall can find: it is refused like an empty one, with
// the folder as typed.
void MakeInstallFolderNormal(wchar_t* install_dir) {
  wchar_t normal[kPathCapacity];
  if (!NormalizeInstallationFolder(install_dir, normal)) {
    FatalErrorWithPath(FOLDER_CREATE_FAILED_MESSAGE, install_dir);
  }
  CopyText(install_dir, kPathCapacity, normal);
}

// Where the run's own folders begin in `folder`, the installation folder: Run Once installs
// into a folder in a private folder made for the run, and only those two are its own to log
// and remove, not the user's temporary folder and those above it. A Normal install owns
// every folder it creates (0).
size_t OwnFoldersStart(const wchar_t* folder) {
  const wchar_t* private_folder_end = IsNormalInstall() ? NULL : StrRChrW(folder, NULL, L'\\');
  if (private_folder_end == NULL) return 0;
  const wchar_t* temp_end = StrRChrW(folder, private_folder_end, L'\\');
  return temp_end != NULL ? (size_t)(temp_end - folder) : 0;
}

// Opens the log in the installation folder and writes its head (and, when the package
// asks, the running-program records). The log is completed on any later fatal error.
void BeginUninstallLog() {
  wchar_t path[kPathCapacity];
  BuildEntryPath(UNINSTALL_LOG_NAME, path);
  HANDLE log = CreateFileInHeldFolder(path);
  if (log == INVALID_HANDLE_VALUE) FatalError(LOG_CREATE_FAILED_MESSAGE);
  UseUninstallLogFile(log);
  SetFatalErrorCleanup(CompleteInterruptedLog);
  WriteLogHeader(PackageProductName(), PackageProductVersion(), PackageWindowClass());
  if (PackageOptionByte(kLogExecutablesOffset) != 0) LogExecutables();
  // A drive too full for the log's first records gets no files: they could not be undone.
  if (!UninstallLogWritten()) FatalError(LOG_CREATE_FAILED_MESSAGE);
}

// Logs the uninstaller and the log itself, then the folders, and closes the log with its
// end marker. The uninstaller and the log are removed last among the files; the
// uninstaller is logged under its fixed name whatever its entry was called.
void FinishUninstallLog() {
  wchar_t path[kPathCapacity];
  BuildEntryPath(INSTALLED_UNINSTALLER_NAME, path);
  WriteLogRecord(LOG_RECORD_FILE, path);
  if (g_programs_group_used) CreateShortcutInSpecialFolder(CSIDL_COMMON_PROGRAMS, path);
  BuildEntryPath(UNINSTALL_LOG_NAME, path);
  WriteLogRecord(LOG_RECORD_FILE, path);
  WriteTouchedFolders();
  // A log that lost records cannot undo this installation: no success, and no end marker.
  if (!UninstallLogWritten()) FatalError(LOG_CREATE_FAILED_MESSAGE);
  WriteLogEndMarker();
  SetFatalErrorCleanup(NULL);
  CloseUninstallLog();
}

}  // namespace

void InstallPackage(const ProgramWaitHook& wait) {
  wchar_t* install_dir = g_setup_options.install_dir;
  install_dir[kPathCapacity - 1] = 0;
  MakeInstallFolderNormal(install_dir);
  wchar_t folder[kPathCapacity];  // the installation folder without its backslash
  CopyText(folder, kPathCapacity, install_dir);
  // From here on every path begins with the folder and its one backslash.
  if (!EndWithBackslash(install_dir, kPathCapacity)) FatalError(LOG_CREATE_FAILED_MESSAGE);
  CheckPackage();

  // Every folder from the drive root down is held from before the first one is made, and
  // every package folder from when it is made or accepted, until the programs are started:
  // nothing the run writes or starts can be reached through a folder swapped meanwhile.
  CreateFolderPath(folder, OwnFoldersStart(folder));
  CreatePackageFolders();
  BeginUninstallLog();
  ExtractEntries();
  FinishUninstallLog();

  if (IsNormalInstall()) {
    MessageBoxW(NULL, INSTALL_COMPLETE_MESSAGE, INSTALL_COMPLETE_CAPTION, MB_ICONINFORMATION);
  }
  LaunchInstalledPrograms(wait);
  // Let go once the programs are started: Run Once's uninstaller removes these folders.
  ReleaseRunFolders();
}
