#include "uninstall_log/log_reader.h"

#include "uninstall_log/log_format.h"

namespace {

// Copies `count` units into `out` (kLogFieldCapacity), cutting what does not fit.
void CopyField(const wchar_t* from, size_t count, wchar_t* out) {
  if (count > kLogFieldCapacity - 1) count = kLogFieldCapacity - 1;
  for (size_t i = 0; i < count; ++i) out[i] = from[i];
  out[count] = 0;
}

// Index of the first `wanted` at or after `from`, or `length` when there is none.
size_t Find(const wchar_t* text, size_t length, size_t from, wchar_t wanted) {
  while (from < length && text[from] != wanted) ++from;
  return from;
}

}  // namespace

bool SplitLogHeader(const wchar_t* text, size_t length, LogHeader* header,
                    size_t* after_header) {
  size_t first = Find(text, length, 0, kLogFieldSeparator);
  size_t second = first < length ? Find(text, length, first + 1, kLogFieldSeparator) : length;
  size_t third = second < length ? Find(text, length, second + 1, kLogFieldSeparator) : length;
  if (third >= length) return false;
  CopyField(text, first, header->product_name);
  CopyField(text + first + 1, second - first - 1, header->product_version);
  CopyField(text + second + 1, third - second - 1, header->window_class);
  *after_header = third + 1;
  return true;
}

LogWalkResult NextLogRecord(const wchar_t* text, size_t length, size_t* position,
                            LogRecord* record) {
  size_t opener = Find(text, length, *position, kLogRecordDelimiter);
  if (opener + 1 >= length) return LOG_WALK_DATA_ENDS;
  wchar_t kind = text[opener + 1];
  if (kind == kLogRecordDelimiter) return LOG_WALK_END_MARKER;
  // The letter must be followed by "|" for the text to start three units after the opener.
  size_t text_start = opener + 3;
  if (text_start > length) return LOG_WALK_DATA_ENDS;
  size_t closer = Find(text, length, text_start, kLogRecordDelimiter);
  if (closer >= length) return LOG_WALK_DATA_ENDS;
  record->kind = kind;
  record->text = text + text_start;
  record->text_length = closer - text_start;
  *position = closer + 1;
  return LOG_WALK_RECORD;
}

SymbolicPathKind ParseSymbolicPath(const wchar_t* text, size_t length, int* csidl,
                                   const wchar_t** rest, size_t* rest_length) {
  if (length == 0 || text[0] != L'<') return PATH_PLAIN;
  size_t close = Find(text, length, 1, L'>');
  if (close >= length) return PATH_MALFORMED;

  size_t i = 1;
  bool negative = false;
  if (i < close && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
  long long number = 0;
  for (; i < close && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    if (number < 0x7FFFFFFF) number = number * 10 + (text[i] - L'0');
  }
  if (number > 0x7FFFFFFF) number = 0x7FFFFFFF;
  *csidl = (int)(negative ? -number : number);

  size_t start = close + 1;
  if (start < length && text[start] == L'\\') ++start;
  *rest = text + start;
  *rest_length = length - start;
  return PATH_SYMBOLIC;
}
