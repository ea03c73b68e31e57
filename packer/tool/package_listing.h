// "pack --list": the package inside a built setup executable, found through the program's
// own headers and resource tree, read through the installer's bounded readers, and
// printed for the publisher. Every read is checked against the file, so a damaged or
// cut-short setup is reported, never read past.
#pragma once

#include <stdint.h>
#include <string>

#include "packer/core/package_names.h"
#include "packer/core/pe_image.h"

// Where a setup executable's package is: its resource, and how many of its bytes the file
// holds at `offset` (fewer than `leaf.size` when the file is cut short or the resource runs
// past its section).
struct PackagePlace {
  ResourceLeaf leaf;
  uint64_t offset = 0;
  uint64_t held = 0;
};

// Finds resource RT_RCDATA 9999 in the program `image`. Returns "" or what is wrong
// ("no package (resource RT_RCDATA 9999) in it").
std::string FindPackage(const PeImage& image, PackagePlace* place);

// Lists the package of the setup executable whose `size` bytes are at `file`; `name` names
// it in messages. Appends the listing to `out` and the problems to `problems`; returns 0,
// or 1 when the file has no package or the package is damaged (what was read before the
// damage is listed first, and the problem gives the offset where reading stopped).
int ListSetupFile(const uint8_t* file, uint64_t size, const std::string& name,
                  std::string* out, std::string* problems);

// Maps the file `setup`, lists its package on standard output and the problems on
// standard error. Returns the exit code: 0, or 1.
int ListPackage(const std::string& setup);
