// "pack.exe --list": the package inside a built installer, read through the installer's
// own bounded readers and printed for the publisher.
#pragma once

#include <stdint.h>
#include <string>

// The flags word by name: "uninstaller", "-" for none, else the role names
// ("desktop startup programs license launch") and any other bits in hex.
std::string FlagNames(uint16_t flags);

// Prints the header fields, the folder list and every entry (name, size, flags) of the
// package in the executable `setup`. Returns 0, or 1 after a message on standard error
// when the file has no package or the package is malformed (what was read before the
// damage is printed first).
int ListPackage(const std::wstring& setup);
