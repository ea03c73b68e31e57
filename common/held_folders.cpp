#include "common/held_folders.h"

#include <shlwapi.h>

#include "common/held_files.h"

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

// Opens the root of `path` (its first `end` units: "C:" or "\\server\share") by its path,
// holding it. A drive or share root is a volume's own, no link a user could plant (Wine
// shows its drives as links to their Unix folders): it is not checked.
HoldResult HoldRoot(HeldFolders* held, const wchar_t* path, size_t end) {
  wchar_t folder[kPathCapacity];
  CopyUnits(folder, kPathCapacity, path, end);
  // A drive root needs its backslash to name the folder rather than the drive's current one.
  if (end == 2 && folder[1] == L':') AppendText(folder, kPathCapacity, L"\\");
  HANDLE handle = CreateFileW(folder, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, NULL);
  if (handle == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? HOLD_MISSING
                                                                          : HOLD_FAILED;
  }
  held->handles[held->count] = handle;
  held->ends[held->count++] = (unsigned)end;
  return HOLD_DONE;
}

// Opens the folder that the first `end` units of `path` name relative to the level held
// above it, holding it: what is checked about it is what is held, whatever its path names
// meanwhile.
HoldResult HoldOneLevel(HeldFolders* held, const wchar_t* path, size_t end, bool is_root) {
  if (held->count >= kHeldFoldersCapacity) return HOLD_FAILED;
  if (is_root) return HoldRoot(held, path, end);
  HANDLE parent = DeepestHeldFolder(held);
  size_t start = (held->count > 0 ? held->ends[held->count - 1] : held->base_end) + 1;
  if (parent == NULL || start >= end) return HOLD_FAILED;
  HANDLE handle;
  switch (HoldFolderIn(parent, path + start, end - start, &handle)) {
    case HELD_DONE:
      held->handles[held->count] = handle;
      held->ends[held->count++] = (unsigned)end;
      return HOLD_DONE;
    case HELD_MISSING:
    case HELD_WRONG_KIND:
      return HOLD_MISSING;
    case HELD_LINK:
      return HOLD_LINK;
    default:
      return HOLD_FAILED;
  }
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

void SetHeldFoldersBase(HeldFolders* held, HANDLE base, size_t base_end) {
  ReleaseHeldFolders(held);
  held->base = base;
  held->base_end = (unsigned)base_end;
}

HANDLE DeepestHeldFolder(const HeldFolders* held) {
  return held->count > 0 ? held->handles[held->count - 1] : held->base;
}

HoldResult HoldNextFolderLevel(HeldFolders* held, const wchar_t* path, size_t end, bool create,
                               PSECURITY_DESCRIPTOR descriptor, bool* created) {
  *created = false;
  size_t length = (size_t)lstrlenW(path);
  if (length >= kPathCapacity || end > length) return HOLD_FAILED;
  while (held->count > 0 && !LevelLeads(held, held->count - 1, path, end)) ReleaseTop(held);
  CopyText(held->path, kPathCapacity, path);
  size_t root = RootLength(path);
  if (end <= root) return end == root && held->count == 0 ? HoldRoot(held, path, end) : HOLD_FAILED;
  HoldResult result = HoldOneLevel(held, path, end, false);
  if (result != HOLD_MISSING || !create || held->count >= kHeldFoldersCapacity) return result;
  size_t start = (held->count > 0 ? held->ends[held->count - 1] : held->base_end) + 1;
  HANDLE handle;
  switch (CreateFolderIn(DeepestHeldFolder(held), path + start, end - start, descriptor,
                         &handle)) {
    case HELD_DONE:
      held->handles[held->count] = handle;
      held->ends[held->count++] = (unsigned)end;
      *created = true;
      return HOLD_DONE;
    case HELD_EXISTS:
      return HOLD_MISSING;  // a file, or something that appeared meanwhile
    default:
      return HOLD_FAILED;
  }
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
