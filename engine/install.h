// The install run: everything the Install (or Execute) button sets off.
#pragma once

#include <windows.h>

// Installs the located package as g_setup_options asks: folders, files, the uninstall
// log, shortcuts and registration (Normal install), the success message, then the launch
// step. `dialog` owns the programs started afterwards. Returns 0; every failure is fatal.
int InstallPackage(HWND dialog);
