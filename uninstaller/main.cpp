// Process entry of uninstall.exe. The program uses no C runtime, so it starts here
// directly (linked with -nostartfiles): nothing needs initialising before the phases run.
#include <windows.h>

#include "common/dll_search.h"
#include "uninstaller/uninstaller_main.h"

// The DLL search is restricted before anything else: the second phase runs from a copy in
// the temporary folder.
extern "C" void __stdcall UninstallerEntry() {
  RestrictDllSearch();
  ExitProcess((UINT)UninstallerMain());
}
