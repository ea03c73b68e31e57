#include "common/bounded_text.h"

#include <windows.h>

bool AppendUnits(wchar_t* buffer, unsigned capacity, const wchar_t* text, size_t count) {
  size_t used = (size_t)lstrlenW(buffer);
  if (used >= capacity || count > capacity - 1 - used) return false;
  for (size_t i = 0; i < count; ++i) {
    if (text[i] == 0) return false;
  }
  for (size_t i = 0; i < count; ++i) buffer[used + i] = text[i];
  buffer[used + count] = 0;
  return true;
}

bool AppendText(wchar_t* buffer, unsigned capacity, const wchar_t* text) {
  return AppendUnits(buffer, capacity, text, (size_t)lstrlenW(text));
}

bool CopyUnits(wchar_t* buffer, unsigned capacity, const wchar_t* text, size_t count) {
  if (capacity == 0) return false;
  buffer[0] = 0;
  return AppendUnits(buffer, capacity, text, count);
}

bool CopyText(wchar_t* buffer, unsigned capacity, const wchar_t* text) {
  return CopyUnits(buffer, capacity, text, (size_t)lstrlenW(text));
}

bool EndWithBackslash(wchar_t* path, unsigned capacity) {
  int length = lstrlenW(path);
  if (length == 0 || path[length - 1] == L'\\') return true;
  return AppendText(path, capacity, L"\\");
}
