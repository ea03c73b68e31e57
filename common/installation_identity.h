// What setup and the uninstaller must agree on about one installation: the normal form of
// its folder, and the name of its key in Windows' list of installed programs. Setup
// registers and logs with them; the uninstaller finds its scope and the key with them.
#pragma once

#include <windows.h>

#include "common/bounded_text.h"

// The maker's name: the Publisher in Windows' list of installed programs, the folder below
// Program Files that installations go into by default, and part of every uninstall key.
#define VENDOR_NAME L"KOZ Soft"

// The uninstall key's fixed part below HKEY_LOCAL_MACHINE; the product's name and version
// follow, separated by spaces.
#define UNINSTALL_KEY_PREFIX \
  L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" VENDOR_NAME L" "

// The uninstaller's switches: "/AUTO" starts its first phase without the welcome question
// (setup's Run Once hand-over); "/PHASE2" after the installation folder starts the second
// phase, and "/SILENT" after that keeps it quiet.
#define SWITCH_AUTO L"/AUTO"
#define SWITCH_PHASE2 L"/PHASE2"
#define SWITCH_SILENT L"/SILENT"

// Run Once installs into this prefix and the product's name, in a private folder made for
// the run below the temporary folder.
#define RUN_ONCE_FOLDER_PREFIX L"KOZ_Soft_"

// The uninstaller's name in the installation folder, which its registration names.
#define INSTALLED_UNINSTALLER_NAME L"uninstall.exe"

// The special folders that installations put shortcuts into, by CSIDL number: the common
// desktop, Startup and Programs folders.
constexpr int kShortcutFolders[] = {0x0019, 0x0018, 0x0017};
constexpr unsigned kShortcutFolderCount = sizeof(kShortcutFolders) / sizeof(kShortcutFolders[0]);

// Puts the command that Windows' list of installed programs runs for the uninstaller at
// `uninstaller_path` into `out` (`capacity` units): the path in double quotes, so that a
// path with spaces stays one argument. Returns false, with `out` empty, when it does not fit.
bool FormatUninstallCommand(const wchar_t* uninstaller_path, wchar_t* out, unsigned capacity);

// The path that FormatUninstallCommand quoted into `command`, into `out` (kPathCapacity
// units). Returns false when `command` is not one quoted path.
bool ReadUninstallCommand(const wchar_t* command, wchar_t* out);

// Removes the trailing backslashes of `path`, except a drive root's own ("C:"), without
// which "C:" would name the drive's current folder.
void RemoveTrailingBackslash(wchar_t* path);

// Puts `folder` in normal form into `out` (kPathCapacity units): full (no "." or ".."
// parts), with long names for the parts that exist (a short 8.3 name such as "PROGRA~1"
// becomes "Program Files"), and without a trailing backslash, except that a drive root
// keeps its own ("C:\"). Returns false, with `out` empty, when `folder` is not absolute
// (a drive letter, ":" and "\", or a network path) or its normal form does not fit.
bool NormalizeInstallationFolder(const wchar_t* folder, wchar_t* out);

// Puts UNINSTALL_KEY_PREFIX "<name> <version>" into `out` (`capacity` units). Returns
// false, with `out` empty, when it does not fit or either field holds a "\" (which would
// name a key below another product's).
bool FormatUninstallKey(const wchar_t* name, const wchar_t* version, wchar_t* out,
                        unsigned capacity);
