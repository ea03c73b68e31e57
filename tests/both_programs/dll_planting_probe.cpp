// Shows in a process of its own what RestrictDllSearch changes. It loads, by name only, as
// the shell loads its helpers, the planted DLL "planted_dll.dll" lying beside it and
// the system's "version.dll".
// Usage: dll_planting_probe.exe [/restrict]   (/restrict: RestrictDllSearch first)
// Exit code 0, or 2 when version.dll could not be loaded from the system folder. Whether
// the planted DLL was mapped shows in its record file (its DllMain refuses every load).
#include <windows.h>

#include "common/dll_search.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR command_line, int) {
  if (lstrcmpiW(command_line, L"/restrict") == 0) RestrictDllSearch();
  LoadLibraryW(L"planted_dll.dll");
  return LoadLibraryW(L"version.dll") != NULL ? 0 : 2;
}
