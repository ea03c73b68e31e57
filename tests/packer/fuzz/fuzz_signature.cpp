// The signature reader behind --sign: any bytes as a certificate entry's signature, and any
// bytes as a signed program whose signature's digests are checked.
#include <stddef.h>
#include <stdint.h>

#include <string>

#include "packer/core/authenticode.h"
#include "packer/core/pe_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  AuthenticodeSignature signature;
  std::string problem;
  ReadAuthenticodeSignature(data, size, &signature, &problem);
  PeImage image;
  if (ReadPeImage(data, size, &image) == PE_OK) CheckAuthenticodeDigests(image, &problem);
  return 0;
}
