// Removal at the next restart of what is in use now. Windows deletes such a file by its
// path when it starts again, long after the uninstaller has let go of its folders; so a
// removal is scheduled only where no user but the system's own and administrators could
// rename a folder on that path, or the file, in the meantime and so point the path at
// something else.
#pragma once

#include <windows.h>

#include "common/held_folders.h"

// Whether the owner and access list in `descriptor` leave the object to the system and
// administrators: its owner is SYSTEM, Administrators or TrustedInstaller, and no
// access-list entry that applies to the object itself gives anyone else the right to
// delete or rename it, to delete what it holds, or to change its owner or access list. A
// missing access list (everyone may do all) does not.
bool KeepsUsersOut(PSECURITY_DESCRIPTOR descriptor);

// Whether every level that `chain` holds from the drive root down, every level of `below`
// (a chain based on the last of them; NULL for none) and the file `name` (`length` units)
// in the deepest level keep users out (KeepsUsersOut), each read through its held parent.
bool PathKeepsUsersOut(const HeldFolders* chain, const HeldFolders* below, const wchar_t* name,
                       size_t length);

// Asks Windows to delete `path` (a file, or an empty folder) when it next starts. Needs
// administrator rights; returns whether it was scheduled.
bool ScheduleRemovalAtRestart(const wchar_t* path);
