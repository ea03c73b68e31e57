// Process entry of uninstall.exe. The program uses no C runtime, so it starts here
// directly (linked with -nostartfiles): nothing needs initialising before the phases run.
#include <windows.h>

#include "uninstaller/uninstaller_main.h"

extern "C" void __stdcall UninstallerEntry() { ExitProcess((UINT)UninstallerMain()); }
