// What an installation package holds, as the manifest reader fills it and the package
// writer lays it out.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

// One file of the product, in package order.
struct PackageEntry {
  uint16_t flags = 0;
  std::string name;  // ANSI bytes, relative to the installation folder
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
