// The setup reader behind `pack --list`: any bytes as a setup executable.
#include <stddef.h>
#include <stdint.h>

#include <string>

#include "packer/tool/package_listing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string out, problems;
  ListSetupFile(data, size, "fuzz.exe", &out, &problems);
  return 0;
}
