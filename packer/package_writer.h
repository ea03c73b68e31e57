// Writing the installation package's bytes. Portable C++: no platform calls, explicit
// little-endian integers and UTF-16LE strings, so the same code builds for any host.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

// One file of the product, in package order.
struct PackageEntry {
  uint16_t flags = 0;
  std::string name;               // ANSI bytes, relative to the installation folder
  std::vector<uint8_t> data;
};

// Everything a package holds. Strings are UTF-16 code units.
struct PackageContents {
  std::u16string product_name;
  std::u16string product_version;
  std::u16string window_class;
  uint8_t allow_run_once = 0;
  uint8_t log_executables = 0;
  uint8_t default_desktop = 0;
  uint8_t default_startup = 0;
  uint8_t default_programs = 0;
  uint8_t default_launch = 0;
  std::vector<std::string> folders;  // ANSI bytes, parents before children
  std::vector<PackageEntry> entries;
};

// Appends the package's bytes to `out`: header (header_size 204), folder list, entry
// records, end marker. The caller has checked every length (strings at most 31 units,
// folder names 1..255 bytes, names without NUL); the writer cuts nothing.
void WritePackage(const PackageContents& contents, std::vector<uint8_t>& out);

// The exact size WritePackage will produce, for refusing oversized products up front.
uint64_t PackageSize(const PackageContents& contents);
