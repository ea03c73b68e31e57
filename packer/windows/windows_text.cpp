#include "packer/windows/windows_text.h"

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

std::string SystemErrorText(DWORD code) {
  wchar_t text[512];
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL,
                                code, 0, text, sizeof(text) / sizeof(text[0]), NULL);
  while (length > 0 && (text[length - 1] == L'\r' || text[length - 1] == L'\n' ||
                        text[length - 1] == L' ')) {
    --length;
  }
  if (length == 0) return "error " + std::to_string(code);
  return Utf8(std::wstring(text, length));
}
