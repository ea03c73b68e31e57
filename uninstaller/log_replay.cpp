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

// Which records a pass takes, by kind letter.
typedef bool (*KindFilter)(wchar_t kind, const wchar_t* kinds);

bool KindIsIn(wchar_t kind, const wchar_t* kinds) {
  for (; *kinds != 0; ++kinds) {
    if (*kinds == kind) return true;
  }
  return false;
}
bool AnyKind(wchar_t, const wchar_t*) { return true; }
bool AnyKindButFolders(wchar_t kind, const wchar_t*) { return kind != LOG_RECORD_FOLDER; }

void Count(RecordOutcome outcome, ReplayTally* tally) {
  if (tally == NULL) return;
  if (outcome == RECORD_STAYS) ++tally->stays;
  if (outcome == RECORD_AT_RESTART) ++tally->at_restart;
}

void ReplayFiltered(const wchar_t* text, size_t length, SpecialFolderLookup lookup,
                    LogRecordAction apply, KindFilter take, const wchar_t* kinds,
                    ReplayTally* tally) {
  size_t position = 0;
  LogRecord record;
  while (NextLogRecord(text, length, &position, &record) == LOG_WALK_RECORD) {
    if (!take(record.kind, kinds)) continue;
    wchar_t path[kPathCapacity];
    if (!ResolveLogPath(record.text, record.text_length, lookup, path)) continue;
    // An empty text names nothing; for `R` it would even name HKEY_LOCAL_MACHINE itself.
    if (path[0] == 0) continue;
    Count(apply(record.kind, path), tally);
  }
}

}  // namespace

void ReplayLogKinds(const wchar_t* text, size_t length, SpecialFolderLookup lookup,
                    LogRecordAction apply, const wchar_t* kinds, ReplayTally* tally) {
  ReplayFiltered(text, length, lookup, apply, KindIsIn, kinds, tally);
}

void ReplayLog(const wchar_t* text, size_t length, SpecialFolderLookup lookup,
               LogRecordAction apply, ReplayTally* tally) {
  ReplayFiltered(text, length, lookup, apply, AnyKind, NULL, tally);
}

void ReplayLogFoldersLast(const wchar_t* text, size_t length, SpecialFolderLookup lookup,
                          LogRecordAction apply) {
  static const wchar_t kFolders[] = {LOG_RECORD_FOLDER, 0};
  ReplayFiltered(text, length, lookup, apply, AnyKindButFolders, NULL, NULL);
  ReplayFiltered(text, length, lookup, apply, KindIsIn, kFolders, NULL);
}
