#include "common/path_syntax.h"

namespace {

bool IsSeparator(wchar_t unit) { return unit == L'\\' || unit == L'/'; }

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
