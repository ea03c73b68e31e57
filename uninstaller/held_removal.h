// Removing a folder that a chain holds (common/held_folders.h). A held folder cannot be
// removed, since its hold shares no deletion; so its hold is closed and the folder is
// reopened by name in its still-held parent right before it goes, and it goes only if it
// is still the very folder that was held. What stays is held again if it is still that
// folder; otherwise it is let go, and nothing below it is reached through the chain again.
#pragma once

#include "common/held_folders.h"

// Outcomes of RemoveDeepestHeldFolder.
enum HeldFolderRemoval {
  FOLDER_REMOVED,  // gone; the chain's deepest level is its parent now
  FOLDER_KEPT,     // still there (not empty, in use, or refused) and held again
  FOLDER_LET_GO,   // not removed and no longer held: its identity could not be read, or its
                   // name no longer leads to it
  FOLDER_NOT_HELD, // the chain holds no level with a held parent: nothing was done
};

// Removes the deepest level `held` holds, if it is empty, through its parent (the level
// above it or the chain's base). A drive or share root is never removed.
HeldFolderRemoval RemoveDeepestHeldFolder(HeldFolders* held);
