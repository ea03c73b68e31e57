// The files of an installation that the second phase could not remove now. A folder record
// that stays counts as staying only when such a file keeps it; a folder kept by what no
// record names (a file the user saved) is no failure.
#pragma once

#include <stddef.h>

#include "common/bounded_text.h"
#include "uninstaller/log_replay.h"

// One file left: its path and whether it goes at restart.
struct LeftFile {
  wchar_t path[kPathCapacity];
  RecordOutcome outcome;  // RECORD_STAYS or RECORD_AT_RESTART
};

// The files left so far, in a block from the process heap. Zero-filled means none.
struct LeftFiles {
  LeftFile* files;
  unsigned count;
  unsigned capacity;
  bool lost;  // a file could not be noted: every folder that stays then counts as staying
};

// Notes the file `path` as left with `outcome` (RECORD_STAYS or RECORD_AT_RESTART) and
// returns `outcome`.
RecordOutcome NoteLeftFile(LeftFiles* left, const wchar_t* path, RecordOutcome outcome);

// What the folder `folder` (`length` units, no trailing backslash) that stays means:
// RECORD_STAYS when a file left unscheduled lies below it, RECORD_AT_RESTART when only
// scheduled ones do, RECORD_KEPT when none does.
RecordOutcome OutcomeOfFolderLeft(const LeftFiles* left, const wchar_t* folder, size_t length);

// Frees what `left` holds and empties it.
void ForgetLeftFiles(LeftFiles* left);
