// Replaying the uninstall log: every complete record, in file order, resolved to a full
// path and handed to its action. The second phase's removal walk.
#pragma once

#include <stddef.h>

// Finds a special folder by CSIDL number: the path with a trailing backslash in `out`
// (kPathCapacity units); nonzero when found. GetSpecialFolder in the uninstaller.
typedef int (*SpecialFolderLookup)(int csidl, wchar_t* out);

// Acts on one record whose path is resolved. ApplyLogRecord in the uninstaller.
typedef void (*LogRecordAction)(wchar_t letter, const wchar_t* path);

// Turns a record's text (`length` units, no terminator) into a full path in `out`
// (kPathCapacity units): a plain path is copied; "<csidl>rest" becomes the special folder
// found through `lookup` followed by `rest`, one backslash after ">" skipped. Returns false,
// and the record is not to be applied, when the special folder cannot be found, the ">" is
// missing, the text holds a NUL, or the path would not fit in 259 characters.
bool ResolveLogPath(const wchar_t* text, size_t length, SpecialFolderLookup lookup,
                    wchar_t* out);

// Performs a record's removal: `F` deletes the file, `R` deletes the key below
// HKEY_LOCAL_MACHINE, `S` waits 100 ms and removes the folder if it is empty; any other
// letter (`E` included) does nothing. Best effort: results are ignored.
void ApplyLogRecord(wchar_t letter, const wchar_t* path);

// Walks `text` (`length` units) from its first "|" to the end marker or the end of the
// data, resolving each complete record with `lookup` and passing it to `apply` in file
// order. Records that cannot be resolved, and records with an empty text, are skipped; an
// unfinished last record is not applied; nothing beyond `length` is read.
void ReplayLog(const wchar_t* text, size_t length, SpecialFolderLookup lookup,
               LogRecordAction apply);
