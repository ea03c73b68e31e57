#include "common/held_folders.h"

#include <shlwapi.h>

namespace {

// The length of the root part of `path` that is no folder level of its own below a drive
// or share: "C:" for "C:\...", "\\server\share" for a network path; 0 when there is none.
size_t RootLength(const wchar_t* path) {
  if (path[0] != 0 && path[1] == L':') return 2;
  if (path[0] != L'\\' || path[1] != L'\\') return 0;
  const wchar_t* share = StrChrW(path + 2, L'\\');
  if (share == NULL) return 0;
  const wchar_t* after = StrChrW(share + 1, L'\\');
  return after != NULL ? (size_t)(after - path) : (size_t)lstrlenW(path);
}

// Whether the chain's level `i` is the leading part of `path` that ends at the same place.
bool LevelLeads(const HeldFolders* held, unsigned i, const wchar_t* path, size_t length) {
  size_t end = held->ends[i];
  return end <= length && StrCmpNIW(held->path, path, (int)end) == 0 &&
         (path[end] == 0 || path[end] == L'\\');
}

void ReleaseTop(HeldFolders* held) {
  CloseHandle(held->handles[--held->count]);
}

// Opens the folder that the first `end` units of `path` name, holding it, and checks it. A
// drive or share root is a volume's own, no link a user could plant (Wine shows its drives
// as links to their Unix folders): it is held but not checked.
HoldResult HoldOneLevel(HeldFolders* held, const wchar_t* path, size_t end, bool is_root) {
  if (held->count >= kHeldFoldersCapacity) return HOLD_FAILED;
  wchar_t folder[kPathCapacity];
  CopyUnits(folder, kPathCapacity, path, end);
  // A drive root needs its backslash to name the folder rather than the drive's current one.
  if (end == 2 && folder[1] == L':') AppendText(folder, kPathCapacity, L"\\");
  // Listing access shares reading only: no rename, no removal, no opening for writing
  // (which turning a folder into a link needs). Opened without following a link where the
  // platform can (Wine follows a Unix symbolic link all the same, but reports it as a
  // reparse point by name below).
  HANDLE handle = CreateFileW(folder, FILE_LIST_DIRECTORY, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? HOLD_MISSING
                                                                          : HOLD_FAILED;
  }
  held->handles[held->count] = handle;
  held->ends[held->count++] = (unsigned)end;
  // Asked only now that the folder is held, so the answer stays true while it is.
  DWORD attributes = GetFileAttributesW(folder);
  if (!is_root && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    ReleaseTop(held);
    return HOLD_LINK;
  }
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    ReleaseTop(held);
    return HOLD_MISSING;
  }
  return HOLD_DONE;
}

}  // namespace

HoldResult HoldFolderLevels(HeldFolders* held, const wchar_t* path, size_t from,
                            bool include_last, size_t* stopped_at) {
  size_t length = (size_t)lstrlenW(path);
  if (length >= kPathCapacity) return HOLD_FAILED;
  while (held->count > 0 && !LevelLeads(held, held->count - 1, path, length)) ReleaseTop(held);
  CopyText(held->path, kPathCapacity, path);
  size_t root = RootLength(path);
  // Each level ends before a backslash or at the end of the path; a drive root's level
  // ends before its own backslash.
  for (size_t end = root; end <= length; ++end) {
    if (end == 0 || end <= from || (end < length && path[end] != L'\\')) continue;
    if (end == length && (!include_last || path[end - 1] == L'\\')) continue;
    if (held->count > 0 && held->ends[held->count - 1] >= end) continue;  // held already
    HoldResult result = HoldOneLevel(held, path, end, end == root);
    if (result != HOLD_DONE) {
      if (stopped_at != NULL) *stopped_at = end;
      return result;
    }
  }
  return HOLD_DONE;
}

void ReleaseHeldFoldersAtOrBelow(HeldFolders* held, const wchar_t* folder) {
  size_t length = (size_t)lstrlenW(folder);
  while (held->count > 0 && held->ends[held->count - 1] >= length &&
         StrCmpNIW(held->path, folder, (int)length) == 0 &&
         (held->path[length] == 0 || held->path[length] == L'\\')) {
    ReleaseTop(held);
  }
}

void ReleaseHeldFolders(HeldFolders* held) {
  while (held->count > 0) ReleaseTop(held);
}
