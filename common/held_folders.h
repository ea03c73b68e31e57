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
// `ends[i]` units is the folder `handles[i]` holds. Each level is opened relative to the
// one above it; the first relative to `base` (the folder that `path` names up to
// `base_end` units, held by someone else), or, without a base, it is the drive or share
// root, opened by its path. Zero-filled means empty, without base.
struct HeldFolders {
  wchar_t path[kPathCapacity];
  unsigned ends[kHeldFoldersCapacity];
  HANDLE handles[kHeldFoldersCapacity];
  unsigned count;
  HANDLE base;
  unsigned base_end;
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

// Makes the chain start below `base`, an open folder that leading paths of `base_end` units
// name (the chain does not close it). Releases every level held before.
void SetHeldFoldersBase(HeldFolders* held, HANDLE base, size_t base_end);

// The deepest held level's handle, or the base when none is held (NULL without one).
HANDLE DeepestHeldFolder(const HeldFolders* held);

// Holds the folder that the first `end` units of `path` name, one level below the deepest
// level held on `path` (or the base, or the root), creating it with the access list
// `descriptor` (NULL: inherited) when it is missing and `create` is set; `*created` tells
// whether it was made now. HOLD_MISSING also stands for a file where the folder should be.
HoldResult HoldNextFolderLevel(HeldFolders* held, const wchar_t* path, size_t end, bool create,
                               PSECURITY_DESCRIPTOR descriptor, bool* created);

// Releases the held levels that are `folder` itself or lie below it, so it can be removed.
void ReleaseHeldFoldersAtOrBelow(HeldFolders* held, const wchar_t* folder);

// Releases every held level.
void ReleaseHeldFolders(HeldFolders* held);
