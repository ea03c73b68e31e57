#include "uninstaller/held_removal.h"

#include "common/held_files.h"

HeldFolderRemoval RemoveDeepestHeldFolder(HeldFolders* held) {
  if (held->count == 0 || (held->count == 1 && held->base == NULL)) return FOLDER_NOT_HELD;
  unsigned top = held->count - 1;
  size_t end = held->ends[top];
  size_t start = (top > 0 ? held->ends[top - 1] : held->base_end) + 1;
  wchar_t path[kPathCapacity];
  if (start >= end || !CopyUnits(path, kPathCapacity, held->path, end)) return FOLDER_NOT_HELD;
  FileIdentity identity;
  bool known = ReadFileIdentity(held->handles[top], &identity);
  // Its own hold goes first: it shares no deletion.
  ReleaseHeldFoldersAtOrBelow(held, path);
  if (!known) return FOLDER_LET_GO;
  HeldResult removal =
      RemoveFolderIn(DeepestHeldFolder(held), path + start, end - start, &identity);
  if (removal == HELD_DONE) return FOLDER_REMOVED;
  // Still there, or something else is there now: held again only if it is the same folder.
  bool created = false;
  if (HoldNextFolderLevel(held, path, end, false, NULL, &created) != HOLD_DONE) {
    return FOLDER_LET_GO;
  }
  FileIdentity again;
  if (!ReadFileIdentity(DeepestHeldFolder(held), &again) || !SameFileIdentity(again, identity)) {
    ReleaseHeldFoldersAtOrBelow(held, path);
    return FOLDER_LET_GO;
  }
  return FOLDER_KEPT;
}
