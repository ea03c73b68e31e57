#include "packer/console.h"

#include <windows.h>

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

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return "";
  int count = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), NULL, 0, NULL, NULL);
  std::string out(count, 0);
  WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &out[0], count, NULL, NULL);
  return out;
}

std::wstring Utf16(const std::string& utf8) {
  if (utf8.empty()) return L"";
  int count = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), NULL, 0);
  std::wstring out(count, 0);
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), (int)utf8.size(), &out[0], count);
  return out;
}
