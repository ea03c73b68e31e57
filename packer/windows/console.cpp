#include "packer/tool/console.h"

#include <windows.h>

#include "packer/windows/windows_text.h"

namespace {

void Print(DWORD which, const std::string& utf8) {
  HANDLE handle = GetStdHandle(which);
  if (handle == NULL || handle == INVALID_HANDLE_VALUE) return;
  DWORD mode, written;
  if (GetConsoleMode(handle, &mode)) {
    std::wstring wide = Utf16(utf8);
    WriteConsoleW(handle, wide.data(), (DWORD)wide.size(), &written, NULL);
  } else {
    WriteFile(handle, utf8.data(), (DWORD)utf8.size(), &written, NULL);
  }
}

}  // namespace

void PrintOut(const std::string& utf8) { Print(STD_OUTPUT_HANDLE, utf8); }

void PrintError(const std::string& utf8) { Print(STD_ERROR_HANDLE, utf8); }
