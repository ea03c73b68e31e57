// The names a manifest and a listing give the package's entry flags and option bytes. One
// table of each, shared by the manifest reader and the listing, so that a new flag or
// option is one line here.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string>

#include "packer/core/package_contents.h"

// The role flags a manifest names and a listing shows, in the listing's order.
struct EntryFlagName {
  const char* name;
  uint16_t value;
};
extern const EntryFlagName kEntryFlagNames[];
extern const size_t kEntryFlagNameCount;

// An option of [options]: its key, where the header stores its byte, and the field of
// PackageContents that holds it.
struct OptionName {
  const char* key;
  uint32_t header_offset;
  uint8_t PackageContents::*field;
};
// Every option, in the header's order.
extern const OptionName kOptionNames[];
extern const size_t kOptionNameCount;

// The flags word by name: "uninstaller", "-" for none, else the role names
// ("desktop startup programs license launch") and any other bits in hex.
std::string FlagNames(uint16_t flags);
