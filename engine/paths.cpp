#include "engine/paths.h"

#include <windows.h>

#include "engine/fatal_error.h"

bool AppendText(wchar_t* buffer, unsigned capacity, const wchar_t* text) {
  unsigned used = (unsigned)lstrlenW(buffer);
  unsigned added = (unsigned)lstrlenW(text);
  if (used >= capacity || added > capacity - 1 - used) return false;
  for (unsigned i = 0; i <= added; ++i) buffer[used + i] = text[i];
  return true;
}

bool CopyText(wchar_t* buffer, unsigned capacity, const wchar_t* text) {
  if (capacity == 0) return false;
  buffer[0] = 0;
  return AppendText(buffer, capacity, text);
}

bool EndWithBackslash(wchar_t* path, unsigned capacity) {
  int length = lstrlenW(path);
  if (length == 0 || path[length - 1] == L'\\') return true;
  return AppendText(path, capacity, L"\\");
}

void FatalErrorWithPath(const wchar_t* message, const wchar_t* path, const wchar_t* rest) {
  wchar_t text[kMessageCapacity];
  // lstrcpynW cuts each piece to the room left and always terminates.
  lstrcpynW(text, message, kMessageCapacity);
  unsigned used = (unsigned)lstrlenW(text);
  lstrcpynW(text + used, path, kMessageCapacity - used);
  used = (unsigned)lstrlenW(text);
  lstrcpynW(text + used, rest, kMessageCapacity - used);
  FatalError(text);
}
