// Building paths and path-naming messages in fixed buffers. Every join is checked: a text
// that would not fit is refused, never written past the buffer's capacity.
#pragma once

// Room for a fatal message that names a path: the longest fixed text plus a full path.
constexpr unsigned kMessageCapacity = 320;

// Appends `text` to the NUL-terminated `buffer` of `capacity` units. Returns false and
// leaves `buffer` unchanged when the result (terminator included) would not fit.
bool AppendText(wchar_t* buffer, unsigned capacity, const wchar_t* text);

// Copies `text` into `buffer` of `capacity` units. Returns false and leaves `buffer`
// empty when it does not fit.
bool CopyText(wchar_t* buffer, unsigned capacity, const wchar_t* text);

// Adds a backslash to `path` unless it is empty or already ends with one. Returns false
// and leaves `path` unchanged when the backslash does not fit `capacity` units.
bool EndWithBackslash(wchar_t* path, unsigned capacity);

// Ends the process through FatalError with `message` followed by `path` and `rest`, cut to
// what the message buffer holds. Never returns.
[[noreturn]] void FatalErrorWithPath(const wchar_t* message, const wchar_t* path,
                                     const wchar_t* rest = L"");
