// The install run: everything the Install (or Execute) button sets off.
#pragma once

#include <windows.h>

// Fatal texts of the install run (folder, shortcut and registry texts live with their
// steps).
#define LOG_CREATE_FAILED_MESSAGE L"Could not write the uninstall file"
#define FILE_CREATE_FAILED_MESSAGE L"Could not create file\n>"
#define DATA_INTEGRITY_MESSAGE L"Data integrity error!"
#define INSTALL_COMPLETE_MESSAGE L"The application has been installed successfully."
#define INSTALL_COMPLETE_CAPTION L"Setup complete"

// Installs the located package as g_setup_options asks: folders, files, the uninstall
// log, shortcuts and registration (Normal install), the success message, then the launch
// step. Before anything is written it walks the whole package once and refuses, fatally,
// a malformed package or a folder, file or link name that would not fit its buffer.
// `dialog` owns the programs started afterwards. Returns 0; every failure is fatal.
int InstallPackage(HWND dialog);

// Builds `install_dir` + the entry or folder `name` into `out` (kPathCapacity units).
// Returns false, leaving `out` empty, when it does not fit.
bool BuildInstalledPath(const wchar_t* name, wchar_t* out);

// Called by FatalError. When an install run's log is open, appends what the run's end
// would have logged, the uninstaller, the log itself and the touched folders newest first,
// but no end marker: a later uninstall then removes what the failed run made.
void CompleteInterruptedLog();
