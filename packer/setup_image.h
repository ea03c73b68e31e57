// Laying out the setup executable: the setup stub with one more section that carries the
// stub's resource tree plus the package as resource RT_RCDATA 9999 (language neutral).
// Portable C++ over the PE format, no platform calls: the package bytes themselves are not
// held here, so a caller can stream them straight from the product's files.
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

// The output file is `prefix`, then the package's `package_size` bytes, then
// `suffix_zeros` zero bytes.
struct SetupImagePlan {
  std::vector<uint8_t> prefix;
  uint32_t suffix_zeros = 0;
};

// Plans the setup executable for the 32-bit Windows `stub` and a package of `package_size`
// bytes. The new section starts on a 4096-byte boundary of the file, so the package can be
// mapped from the file page by page instead of being read whole at start-up. Returns false
// with a message in `error` when the stub is not a 32-bit Windows program, already carries
// a package, is signed, has no room for one more section header, or the image would pass
// `max_image_size`.
bool PlanSetupImage(const std::vector<uint8_t>& stub, uint64_t package_size,
                    uint64_t max_image_size, SetupImagePlan* plan, std::string* error);
