// The icon reader: any bytes as the manifest's `icon`, and the group resource made of what
// it accepts.
#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "packer/core/icon_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> file(data, data + size);
  std::vector<IconImage> images;
  if (ReadIconFile(file, &images).empty()) {
    std::vector<uint8_t> group = IconGroupResource(images, 1);
    IconGroupMembers(group.data(), group.size());
  }
  IconGroupMembers(data, size);
  return 0;
}
