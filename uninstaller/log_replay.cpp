#include "uninstaller/log_replay.h"

#include "common/bounded_text.h"
#include "uninstall_log/log_format.h"
#include "uninstall_log/log_reader.h"

bool ResolveLogPath(const wchar_t* text, size_t length, SpecialFolderLookup lookup,
                    wchar_t* out) {
  out[0] = 0;
  int csidl = 0;
  const wchar_t* rest = NULL;
  size_t rest_length = 0;
  switch (ParseSymbolicPath(text, length, &csidl, &rest, &rest_length)) {
    case PATH_PLAIN:
      return CopyUnits(out, kPathCapacity, text, length);
    case PATH_MALFORMED:
      return false;
    case PATH_SYMBOLIC:
      break;
  }
  // A NUL in the number part would let the lookup see a different folder than the text.
  for (size_t i = 0; i < length; ++i) {
    if (text[i] == 0) return false;
  }
  if (!lookup(csidl, out)) {
    out[0] = 0;
    return false;
  }
  if (!AppendUnits(out, kPathCapacity, rest, rest_length)) {
    out[0] = 0;
    return false;
  }
  return true;
}

namespace {

// Which records one pass over the log applies.
enum ReplayPass {
  PASS_ALL,
  PASS_ALL_BUT_FOLDERS,
  PASS_FOLDERS,
};

void ReplayRecords(const wchar_t* text, size_t length, SpecialFolderLookup lookup,
                   LogRecordAction apply, ReplayPass pass) {
  size_t position = 0;
  LogRecord record;
  while (NextLogRecord(text, length, &position, &record) == LOG_WALK_RECORD) {
    bool folder = record.kind == LOG_RECORD_FOLDER;
    if ((pass == PASS_FOLDERS && !folder) || (pass == PASS_ALL_BUT_FOLDERS && folder)) continue;
    wchar_t path[kPathCapacity];
    if (!ResolveLogPath(record.text, record.text_length, lookup, path)) continue;
    // An empty text names nothing; for `R` it would even name HKEY_LOCAL_MACHINE itself.
    if (path[0] == 0) continue;
    apply(record.kind, path);
  }
}

}  // namespace

void ReplayLog(const wchar_t* text, size_t length, SpecialFolderLookup lookup,
               LogRecordAction apply) {
  ReplayRecords(text, length, lookup, apply, PASS_ALL);
}

void ReplayLogFoldersLast(const wchar_t* text, size_t length, SpecialFolderLookup lookup,
                          LogRecordAction apply) {
  ReplayRecords(text, length, lookup, apply, PASS_ALL_BUT_FOLDERS);
  ReplayRecords(text, length, lookup, apply, PASS_FOLDERS);
}
