#include "common/path_syntax.h"

namespace {

bool IsSeparator(wchar_t unit) { return unit == L'\\' || unit == L'/'; }

bool IsForbiddenInName(wchar_t unit) {
  return unit < 32 || unit == L'<' || unit == L'>' || unit == L'"' || unit == L'|' ||
         unit == L'?' || unit == L'*' || unit == L'/';
}

wchar_t UpperAscii(wchar_t unit) { return unit >= L'a' && unit <= L'z' ? unit - 32 : unit; }

// Whether the `length` units of `stem` spell `word` (upper-case ASCII), ignoring case.
bool Spells(const wchar_t* stem, size_t length, const char* word) {
  size_t i = 0;
  for (; i < length && word[i] != 0; ++i) {
    if (UpperAscii(stem[i]) != (wchar_t)word[i]) return false;
  }
  return i == length && word[i] == 0;
}

// Whether a part (`length` units) names a device: its stem, before the first "." and
// without the spaces that end it, is a device's name.
bool IsDeviceName(const wchar_t* part, size_t length) {
  size_t stem = 0;
  while (stem < length && part[stem] != L'.') ++stem;
  while (stem > 0 && part[stem - 1] == L' ') --stem;
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : kDevices) {
    if (Spells(part, stem, device)) return true;
  }
  // COM and LPT with one digit 1 to 9, or the superscript digits Windows also accepts.
  if (stem != 4 || !(Spells(part, 3, "COM") || Spells(part, 3, "LPT"))) return false;
  wchar_t digit = part[3];
  return (digit >= L'1' && digit <= L'9') || digit == 0x00B9 || digit == 0x00B2 ||
         digit == 0x00B3;
}

}  // namespace

bool IsAbsolutePath(const wchar_t* path) {
  // Whatever stands before ":" is the drive; a character that names none fails later, as
  // any folder the platform cannot create does.
  if (path[0] != 0 && path[1] == L':' && path[2] == L'\\') return true;
  return path[0] == L'\\' && path[1] == L'\\' && path[2] != 0 && path[2] != L'?' &&
         path[2] != L'.' && !IsSeparator(path[2]);
}

bool IsPathBelowFolder(const wchar_t* text, size_t count) {
  // Each part is checked at its end: a separator or the end of the text.
  bool only_dots_and_spaces = true;
  for (size_t i = 0; i <= count; ++i) {
    if (i == count || IsSeparator(text[i])) {
      if (only_dots_and_spaces) return false;
      only_dots_and_spaces = true;
    } else if (text[i] == L':' || text[i] == 0) {
      return false;
    } else if (text[i] != L'.' && text[i] != L' ') {
      only_dots_and_spaces = false;
    }
  }
  return true;
}

bool IsPlainWindowsPath(const wchar_t* text, size_t count) {
  if (!IsPathBelowFolder(text, count)) return false;
  size_t part_start = 0;
  for (size_t i = 0; i <= count; ++i) {
    if (i < count && text[i] != L'\\') {
      if (IsForbiddenInName(text[i])) return false;
      continue;
    }
    wchar_t last = text[i - 1];
    if (last == L'.' || last == L' ' || IsDeviceName(text + part_start, i - part_start)) {
      return false;
    }
    part_start = i + 1;
  }
  return true;
}
