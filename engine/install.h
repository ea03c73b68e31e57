// The install run: everything the Install (or Execute) button sets off.
#pragma once

#include <windows.h>

#include "engine/launch.h"

// Fatal texts of the install run (folder, shortcut and registry texts live with their
// steps).
#define LOG_CREATE_FAILED_MESSAGE L"Could not write the uninstall file"
#define FILE_CREATE_FAILED_MESSAGE L"Could not create file\n>"
#define DATA_INTEGRITY_MESSAGE L"Data integrity error!"
#define INSTALL_COMPLETE_MESSAGE L"The application has been installed successfully."
#define INSTALL_COMPLETE_CAPTION L"Setup complete"

// Installs the located package as g_setup_options asks: folders, files, the uninstall
// log, shortcuts and registration (Normal install), the success message, then the launch
// step. Before anything is written it refuses, fatally, an installation folder that is not
// absolute ("Could not create folder [1]" and the folder as typed), and walks the whole
// package once to refuse a malformed package, a folder or file name that would lead out of
// the installation folder, or a name that would not fit its buffer.
// Run Once waits for its program through `wait`. Returns only on success: every failure
// is fatal. A failure once the log is open still completes the log (without end marker)
// with what the run's end would have logged, so a later uninstall removes what it made.
void InstallPackage(const ProgramWaitHook& wait);
