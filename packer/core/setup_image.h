// Laying out the setup executable: the setup stub with one more section that carries the
// stub's resource tree, the product's icon and version resource, and the package as
// resource RT_RCDATA 9999 (language neutral). Portable C++ over the PE format, no platform
// calls: the package bytes themselves are not held here, so a caller can stream them
// straight from the product's files.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

#include "packer/core/icon_file.h"

// What the setup executable carries besides the stub's own resources and the package.
struct SetupBranding {
  std::vector<IconImage> icon;    // replaces the stub's icon group 102; empty: keep it
  std::vector<uint8_t> version;   // the RT_VERSION resource; empty: none is added
};

// The output file is `prefix`, then the package's `package_size` bytes, then
// `suffix_zeros` zero bytes. The package's resource lies at `package_rva`.
struct SetupImagePlan {
  std::vector<uint8_t> prefix;
  uint32_t suffix_zeros = 0;
  uint32_t package_rva = 0;
};

// Plans the setup executable for the 32-bit or 64-bit Windows `stub`, `branding` and a package of
// `package_size` bytes. The new section starts on a 4096-byte boundary of the file, so the
// package can be mapped from the file page by page instead of being read whole at start-up.
// Returns false with a message in `error` when the stub is not such a program,
// already carries a package, is signed, has no room for one more section header, or the
// image would pass `max_image_size`.
bool PlanSetupImage(const std::vector<uint8_t>& stub, const SetupBranding& branding,
                    uint64_t package_size, uint64_t max_image_size, SetupImagePlan* plan,
                    std::string* error);
