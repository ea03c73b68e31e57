#include "harness/text.h"

#include <windows.h>

std::wstring Wide(const std::string& text) {
  if (text.empty()) return L"";
  int count = MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), NULL, 0);
  std::wstring out(count, 0);
  MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &out[0], count);
  return out;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return "";
  int count = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), NULL, 0, NULL, NULL);
  std::string out(count, 0);
  WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &out[0], count, NULL, NULL);
  return out;
}

std::string Narrow(const std::vector<std::wstring>& lines) {
  std::string text;
  for (const std::wstring& line : lines) text += Narrow(line) + "\n";
  return text;
}
