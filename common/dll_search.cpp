#include "common/dll_search.h"

#include <windows.h>

namespace {

// Not declared for the Windows 2000 target this code is built for.
constexpr DWORD kSearchSystem32Only = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

typedef BOOL(WINAPI* SetDefaultDllDirectoriesProc)(DWORD);
typedef BOOL(WINAPI* SetDllDirectoryProc)(LPCWSTR);

}  // namespace

void RestrictDllSearch() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == NULL) return;
  // Windows 8 and later, and earlier ones with the loader update: only the system folder
  // for every load that names no path, the application's own folder included.
  SetDefaultDllDirectoriesProc set_default_directories =
      (SetDefaultDllDirectoriesProc)GetProcAddress(kernel, "SetDefaultDllDirectories");
  if (set_default_directories != NULL) set_default_directories(kSearchSystem32Only);
  // Windows XP SP1 and later: at least the current folder is no longer searched.
  SetDllDirectoryProc set_dll_directory =
      (SetDllDirectoryProc)GetProcAddress(kernel, "SetDllDirectoryW");
  if (set_dll_directory != NULL) set_dll_directory(L"");
}
