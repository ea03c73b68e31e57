#include "common/installation_identity.h"

#include <shlwapi.h>

#include "common/path_syntax.h"

namespace {

// Makes the longest existing leading part of `path` (kPathCapacity units) long. Parts that
// do not exist yet keep the spelling they were given: they will be made with it.
void MakeExistingPartLong(wchar_t* path) {
  // From the whole path up, one level at a time, to the first part that exists.
  size_t end = (size_t)lstrlenW(path);
  while (end > 3) {
    wchar_t part[kPathCapacity];
    wchar_t long_part[kPathCapacity];
    CopyUnits(part, kPathCapacity, path, end);
    DWORD length = GetLongPathNameW(part, long_part, kPathCapacity);
    if (length > 0 && length < kPathCapacity) {
      wchar_t joined[kPathCapacity];
      if (CopyText(joined, kPathCapacity, long_part) &&
          AppendText(joined, kPathCapacity, path + end)) {
        CopyText(path, kPathCapacity, joined);
      }
      return;
    }
    do {
      --end;
    } while (end > 0 && path[end] != L'\\');
  }
}

}  // namespace

bool NormalizeInstallationFolder(const wchar_t* folder, wchar_t* out) {
  out[0] = 0;
  if (!IsAbsolutePath(folder)) return false;
  wchar_t full[kPathCapacity];
  DWORD length = GetFullPathNameW(folder, kPathCapacity, full, NULL);
  if (length == 0 || length >= kPathCapacity) return false;
  MakeExistingPartLong(full);
  RemoveTrailingBackslash(full);
  if (!IsAbsolutePath(full)) return false;
  return CopyText(out, kPathCapacity, full);
}

bool FormatUninstallKey(const wchar_t* name, const wchar_t* version, wchar_t* out,
                        unsigned capacity) {
  out[0] = 0;
  if (StrChrW(name, L'\\') != NULL || StrChrW(version, L'\\') != NULL) return false;
  if (CopyText(out, capacity, UNINSTALL_KEY_PREFIX) && AppendText(out, capacity, name) &&
      AppendText(out, capacity, L" ") && AppendText(out, capacity, version)) {
    return true;
  }
  out[0] = 0;
  return false;
}

void RemoveTrailingBackslash(wchar_t* path) {
  int length = lstrlenW(path);
  // "C:\" is as short as a drive's path gets.
  int shortest = length >= 3 && path[1] == L':' ? 3 : 0;
  while (length > shortest && path[length - 1] == L'\\') path[--length] = 0;
}

bool FormatUninstallCommand(const wchar_t* uninstaller_path, wchar_t* out, unsigned capacity) {
  if (CopyText(out, capacity, L"\"") && AppendText(out, capacity, uninstaller_path) &&
      AppendText(out, capacity, L"\"")) {
    return true;
  }
  if (capacity > 0) out[0] = 0;
  return false;
}

bool ReadUninstallCommand(const wchar_t* command, wchar_t* out) {
  out[0] = 0;
  int length = lstrlenW(command);
  if (length < 3 || command[0] != L'"' || command[length - 1] != L'"') return false;
  for (int i = 1; i < length - 1; ++i) {
    if (command[i] == L'"') return false;
  }
  return CopyUnits(out, kPathCapacity, command + 1, (size_t)length - 2);
}
