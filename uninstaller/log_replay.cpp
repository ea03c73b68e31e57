#include "uninstaller/log_replay.h"

#include <windows.h>

#include "common/bounded_text.h"
#include "uninstall_log/log_format.h"
#include "uninstall_log/log_reader.h"

// The pause before each folder removal gives the shell time to let go of a folder whose
// last file was just deleted.
constexpr DWORD kFolderRemovalPauseMs = 100;

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

void ApplyLogRecord(wchar_t letter, const wchar_t* path) {
  // Removal is best effort: a missing file or key, a file in use or a folder that is not
  // empty stays as it is, and the walk goes on.
  switch (letter) {
    case LOG_RECORD_FILE:
      DeleteFileW(path);
      break;
    case LOG_RECORD_REGISTRY:
      RegDeleteKeyW(HKEY_LOCAL_MACHINE, path);
      break;
    case LOG_RECORD_FOLDER:
      Sleep(kFolderRemovalPauseMs);
      RemoveDirectoryW(path);
      break;
    default:
      break;  // `E` records belong to the first phase
  }
}

void ReplayLog(const wchar_t* text, size_t length, SpecialFolderLookup lookup,
               LogRecordAction apply) {
  // The order of the file is the order of removal: the installer writes files and the
  // key first and folders last, children before parents.
  size_t position = 0;
  LogRecord record;
  while (NextLogRecord(text, length, &position, &record) == LOG_WALK_RECORD) {
    wchar_t path[kPathCapacity];
    if (!ResolveLogPath(record.text, record.text_length, lookup, path)) continue;
    // An empty text names nothing; for `R` it would even name HKEY_LOCAL_MACHINE itself.
    if (path[0] == 0) continue;
    apply(record.kind, path);
  }
}
