// The stub reader behind the layout of a setup: any bytes as `--stub`, planned once
// without and once with the product's icon and version information.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "packer/core/setup_image.h"
#include "packer/tool/setup_writer.h"

namespace {

// A 16x16 icon image of 1 bit per pixel: bitmap header, two colours, colour and mask rows.
IconImage SmallIconImage() {
  IconImage image;
  image.width = image.height = 16;
  image.planes = 1;
  image.bit_count = 1;
  image.bytes.assign(40 + 8 + 64 + 64, 0);
  image.bytes[0] = 40;
  image.bytes[4] = 16;
  image.bytes[8] = 32;
  image.bytes[12] = 1;
  image.bytes[14] = 1;
  return image;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> stub(data, data + size);
  SetupImagePlan plan;
  std::string error;
  PlanSetupImage(stub, SetupBranding(), 4096, kMaxSetupImageBytes, &plan, &error);
  SetupBranding branding;
  branding.icon.push_back(SmallIconImage());
  branding.version.assign(92, 0);
  PlanSetupImage(stub, branding, 1234567, kMaxSetupImageBytes, &plan, &error);
  return 0;
}
