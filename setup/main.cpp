// Process entry of the setup executable: one modal dialog, then exit code 0.
#include <windows.h>

#include "setup/resource.h"
#include "setup/setup_dialog.h"
#include "common/dll_search.h"

// The command line is not examined: everything follows from the package and the dialog.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  g_module = instance;
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_SETUP), NULL, SetupDialogProc, 0);
  ExitProcess(0);
}

// The executable's entry point, used instead of the C runtime's start-up code to keep the
// stub small: nothing in the setup executable needs the runtime initialised (no static
// constructors, no C library state). It never returns. The DLL search is restricted before
// anything else: the setup executable usually runs from a download folder.
extern "C" void WINAPI SetupEntry() {
  RestrictDllSearch();
  WinMain(GetModuleHandleW(NULL), NULL, NULL, SW_SHOWDEFAULT);
}
