// What setup and the uninstaller must agree on about one installation: the normal form of
// its folder, and the name of its key in Windows' list of installed programs. Setup
// registers and logs with them; the uninstaller finds its scope and the key with them.
#pragma once

#include <windows.h>

#include "common/bounded_text.h"

// The uninstall key's fixed part below HKEY_LOCAL_MACHINE; the product's name and version
// follow, separated by spaces.
#define UNINSTALL_KEY_PREFIX L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KOZ Soft "

// Run Once installs into this prefix and the product's name, in a private folder made for
// the run below the temporary folder.
#define RUN_ONCE_FOLDER_PREFIX L"KOZ_Soft_"

// The uninstaller's name in the installation folder, which its registration names.
#define INSTALLED_UNINSTALLER_NAME L"uninstall.exe"

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
