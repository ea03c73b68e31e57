// Text at the Windows side of the packing tool: UTF-8 (the portable code's paths and
// messages) to UTF-16 (the wide API) and back, and the system's text for an error code.
#pragma once

#include <windows.h>

#include <string>

// UTF-16 text (arguments, paths from the system) as UTF-8, and UTF-8 as UTF-16.
std::string Utf8(const std::wstring& text);
std::wstring Utf16(const std::string& utf8);

// The system's message for `code` ("The system cannot find the file specified."), without
// its line end; "error N" when the system has none.
std::string SystemErrorText(DWORD code);
