// Joining text into fixed buffers without ever overrunning them.
#pragma once

#include <stddef.h>

// Appends `count` units of `text` to the NUL-terminated `buffer` (`capacity` units,
// terminator included). Refuses, leaving `buffer` unchanged, when they do not fit or when
// `text` holds a NUL among those units (a path cut at a NUL would name something else).
bool AppendUnits(wchar_t* buffer, unsigned capacity, const wchar_t* text, size_t count);

// AppendUnits for a NUL-terminated `text`.
bool AppendText(wchar_t* buffer, unsigned capacity, const wchar_t* text);

// Puts `count` units of `text` into `buffer` as a NUL-terminated string; refuses as
// AppendUnits does, leaving `buffer` empty.
bool CopyUnits(wchar_t* buffer, unsigned capacity, const wchar_t* text, size_t count);
