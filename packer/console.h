// The packing tool's output: UTF-8 text to a console (through the wide console API) or to
// a pipe or file (as UTF-8 bytes), so that names outside ASCII survive either way.
#pragma once

#include <string>

// Writes `utf8` to standard output.
void PrintOut(const std::string& utf8);

// Writes `utf8` to standard error.
void PrintError(const std::string& utf8);

// UTF-16 (Windows paths, arguments) to UTF-8 and back.
std::string Utf8(const std::wstring& text);
std::wstring Utf16(const std::string& utf8);
