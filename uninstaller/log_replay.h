// Replaying the uninstall log: every complete record resolved to a full path and handed to
// its action. The second phase's removal walk.
#pragma once

#include <stddef.h>

// Finds a special folder by CSIDL number: the path with a trailing backslash in `out`
// (kPathCapacity units); nonzero when found. GetSpecialFolder in the uninstaller.
typedef int (*SpecialFolderLookup)(int csidl, wchar_t* out);

// What became of one record's file, folder or key.
enum RecordOutcome {
  RECORD_DONE,        // removed, gone already, or not this installation's to remove
  RECORD_KEPT,        // stays, and that is no failure (a folder that holds what no record
                      // names, a record put off, a link that leads elsewhere)
  RECORD_STAYS,       // could not be removed now and is not scheduled: a failure
  RECORD_AT_RESTART,  // could not be removed now; Windows removes it when it restarts
};

// How many records of a replay ended in RECORD_STAYS and in RECORD_AT_RESTART.
struct ReplayTally {
  unsigned stays;
  unsigned at_restart;
};

// Acts on one record whose path is resolved. ApplyInstallationRecord in the uninstaller.
typedef RecordOutcome (*LogRecordAction)(wchar_t letter, const wchar_t* path);

// Turns a record's text (`length` units, no terminator) into a full path in `out`
// (kPathCapacity units): a plain path is copied; "<csidl>rest" becomes the special folder
// found through `lookup` followed by `rest`, one backslash after ">" skipped. Returns false,
// and the record is not to be applied, when the special folder cannot be found, the ">" is
// missing, the text holds a NUL, or the path would not fit in 259 characters.
bool ResolveLogPath(const wchar_t* text, size_t length, SpecialFolderLookup lookup,
                    wchar_t* out);

// Walks `text` (`length` units) from its first "|" to the end marker or the end of the
// data, resolving each complete record with `lookup` and passing it to `apply` in file
// order. Records that cannot be resolved, and records with an empty text, are skipped; an
// unfinished last record is not applied; nothing beyond `length` is read. Adds the
// outcomes to `*tally` when it is not NULL.
void ReplayLog(const wchar_t* text, size_t length, SpecialFolderLookup lookup,
               LogRecordAction apply, ReplayTally* tally = NULL);

// ReplayLog for the records whose kind letter is in `kinds` only.
void ReplayLogKinds(const wchar_t* text, size_t length, SpecialFolderLookup lookup,
                    LogRecordAction apply, const wchar_t* kinds, ReplayTally* tally);

// ReplayLog in two passes: first every record but the folder records (`S`), in file order,
// then the folder records, in file order. A folder's removal lets go of the folder it
// removes; were a file record below it applied afterwards, it would meet that folder
// unheld. Setup writes the folder records last anyway, children before parents, so for its
// logs the order is the file's.
void ReplayLogFoldersLast(const wchar_t* text, size_t length, SpecialFolderLookup lookup,
                          LogRecordAction apply);
