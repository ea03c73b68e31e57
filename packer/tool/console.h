// The packing tool's output: UTF-8 text to standard output and standard error. On Windows
// a console gets it through the wide console functions, a pipe or file as UTF-8 bytes, so
// names outside ASCII survive either way (packer/windows/, packer/posix/).
#pragma once

#include <string>

// Writes `utf8` to standard output.
void PrintOut(const std::string& utf8);

// Writes `utf8` to standard error.
void PrintError(const std::string& utf8);
