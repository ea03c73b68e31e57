#include "harness/text.h"

std::string Utf8Lines(const std::vector<std::wstring>& lines) {
  std::string text;
  for (const std::wstring& line : lines) text += Utf8(line) + "\n";
  return text;
}
