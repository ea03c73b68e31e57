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
  length = (DWORD)lstrlenW(full);
  // A drive root ("C:\") keeps its backslash: without it, "C:" names the drive's current
  // folder, which is not an absolute path.
  while (length > 3 && full[length - 1] == L'\\') full[--length] = 0;
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
