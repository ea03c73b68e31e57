// Reading the uninstall log: the header split, the record walk and the symbolic paths.
// Pure text work over data already read into memory; nothing here reads past `length`.
#pragma once

#include <stddef.h>

// Capacity of each header field copy (message texts take 1024 units in all).
constexpr unsigned kLogFieldCapacity = 256;

// The three leading header fields, each cut to kLogFieldCapacity - 1 characters.
struct LogHeader {
  wchar_t product_name[kLogFieldCapacity];
  wchar_t product_version[kLogFieldCapacity];
  wchar_t window_class[kLogFieldCapacity];
};

// Splits the header at the first three "#" of `text` (`length` units). Returns false when
// there are fewer than three; `*after_header` is then untouched. On success it is the
// index just after the third "#".
bool SplitLogHeader(const wchar_t* text, size_t length, LogHeader* header,
                    size_t* after_header);

// One record as the walk finds it: its kind letter and its text inside the log data.
struct LogRecord {
  wchar_t kind;
  const wchar_t* text;
  size_t text_length;
};

// Outcomes of looking for the next record.
enum LogWalkResult {
  LOG_WALK_RECORD,      // `*record` is set; `*position` moved past its closing "|"
  LOG_WALK_END_MARKER,  // the "||" end marker
  LOG_WALK_DATA_ENDS,   // no further opener, or a record without closing "|"
};

// From `*position`, finds the next "|" opener and reads the record there. Start with
// `*position` = 0: the header holds no "|". Only "|" characters are looked for, so what
// stands between records is passed over.
LogWalkResult NextLogRecord(const wchar_t* text, size_t length, size_t* position,
                            LogRecord* record);

// What a record's text is, as ParseSymbolicPath sees it.
enum SymbolicPathKind {
  PATH_PLAIN,       // does not begin with "<": a full path, used as it is
  PATH_SYMBOLIC,    // "<number>rest": `*csidl` and `*rest` are set
  PATH_MALFORMED,   // begins with "<" but has no ">": cannot be applied
};

// Splits a symbolic path "<csidl>rest"; one backslash right after ">" is skipped. The
// number is read like StrToIntW (optional sign, then decimal digits up to the first other
// character), saturating instead of overflowing.
SymbolicPathKind ParseSymbolicPath(const wchar_t* text, size_t length, int* csidl,
                                   const wchar_t** rest, size_t* rest_length);
