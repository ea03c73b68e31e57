#include "common/shell_folders.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "common/bounded_text.h"

int GetSpecialFolder(int csidl, wchar_t* out) {
  out[0] = 0;
  LPITEMIDLIST list = NULL;
  if (SHGetSpecialFolderLocation(GetForegroundWindow(), csidl, &list) == S_OK) {
    // PathAddBackslashW needs one unit of room for the backslash it may add.
    if (SHGetPathFromIDListW(list, out) && lstrlenW(out) < (int)kPathCapacity - 1) {
      PathAddBackslashW(out);
    } else {
      out[0] = 0;
    }
    CoTaskMemFree(list);
  }
  return out[0] != 0;
}
