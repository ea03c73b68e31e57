// Joining text into fixed buffers without ever overrunning them, and the one capacity
// every path buffer has. Every join is checked: a text that would not fit is refused,
// never written past the buffer's capacity.
#pragma once

#include <stddef.h>

// Capacity of every path buffer, terminator included (the platform's path limit).
constexpr unsigned kPathCapacity = 260;

// Appends `count` units of `text` to the NUL-terminated `buffer` (`capacity` units,
// terminator included). Refuses, leaving `buffer` unchanged, when they do not fit or when
// `text` holds a NUL among those units (a path cut at a NUL would name something else).
bool AppendUnits(wchar_t* buffer, unsigned capacity, const wchar_t* text, size_t count);

// AppendUnits for a NUL-terminated `text`.
bool AppendText(wchar_t* buffer, unsigned capacity, const wchar_t* text);

// Puts `count` units of `text` into `buffer` as a NUL-terminated string; refuses as
// AppendUnits does, leaving `buffer` empty.
bool CopyUnits(wchar_t* buffer, unsigned capacity, const wchar_t* text, size_t count);

// CopyUnits for a NUL-terminated `text`.
bool CopyText(wchar_t* buffer, unsigned capacity, const wchar_t* text);

// Adds a backslash to `path` unless it is empty or already ends with one. Returns false
// and leaves `path` unchanged when the backslash does not fit `capacity` units.
bool EndWithBackslash(wchar_t* path, unsigned capacity);
