// Folders held open along a path, so that while they are held nobody can rename or remove
// them, swap another folder in under their name, or turn them into a junction or symbolic
// link. Both programs run elevated in folders whose parents a user may control: what they
// check about a path stays true only while its folders are held.
#pragma once

#include <windows.h>

#include "common/bounded_text.h"

// The deepest path a chain holds, in folder levels.
constexpr unsigned kHeldFoldersCapacity = 48;

// A chain of held folders, each a leading part of the one after it: `path` up to
// `ends[i]` units is the folder `handles[i]` holds. Zero-filled means empty.
struct HeldFolders {
  wchar_t path[kPathCapacity];
  unsigned ends[kHeldFoldersCapacity];
  HANDLE handles[kHeldFoldersCapacity];
  unsigned count;
};

// Outcomes of holding the folders along a path.
enum HoldResult {
  HOLD_DONE,     // every level asked for is held and none is a link
  HOLD_MISSING,  // a level does not exist (or is not a folder); those above it are held
  HOLD_LINK,     // a level is a junction or symbolic link; nothing more was held
  HOLD_FAILED,   // a level could not be opened, or the chain would be too deep
};

// Holds every folder of `path` (kPathCapacity units at most, no trailing backslash but a
// drive root's) that ends after its first `from` units, from the shallowest to `path`
// itself when `include_last`, else to its parent. A drive root ("C:\") or share ("\\s\x")
// counts as a level when `from` is 0. Levels the chain already holds for the same leading
// path are kept and not opened again; held levels that are not on `path` are released
// first. On any result but HOLD_DONE, `*stopped_at` (if not NULL) receives the length of
// the level that stopped it.
HoldResult HoldFolderLevels(HeldFolders* held, const wchar_t* path, size_t from,
                            bool include_last, size_t* stopped_at);

// Releases the held levels that are `folder` itself or lie below it, so it can be removed.
void ReleaseHeldFoldersAtOrBelow(HeldFolders* held, const wchar_t* folder);

// Releases every held level.
void ReleaseHeldFolders(HeldFolders* held);
