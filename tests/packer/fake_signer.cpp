// A stand-in for a signing tool in the packer's tests: signs the Windows program named on
// its command line in place, as signing tools do, by appending a certificate table with one
// signed-data entry (whose content is no real signature) and pointing the program's
// certificate directory at it. Exits 0 when done, 1 otherwise. Plain C++ over stdio, so the
// same source runs under Wine and on the build machine.
//
// With FAKE_SIGNER_PAUSE=NAME in its environment it first creates the file NAME.waiting and
// waits (60 s at most) until a file NAME exists: the packer signs the uninstaller between
// listing the product's folders and reading its files, and a test changes the tree
// meanwhile, as someone racing the packer would.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

// The fake signature: a DER SEQUENCE of 14 zero bytes, as signed data starts.
constexpr uint8_t kFakeSignature[16] = {0x30, 0x0E};
constexpr uint32_t kCertificateHeaderBytes = 8;
constexpr uint32_t kCertificateDirectory = 4;

uint32_t Read32(const std::vector<uint8_t>& bytes, size_t at) {
  return (uint32_t)bytes[at] | (uint32_t)bytes[at + 1] << 8 | (uint32_t)bytes[at + 2] << 16 |
         (uint32_t)bytes[at + 3] << 24;
}

void Write32(std::vector<uint8_t>* bytes, size_t at, uint32_t value) {
  for (int k = 0; k < 4; ++k) (*bytes)[at + k] = (uint8_t)(value >> (8 * k));
}

bool ReadFileBytes(const char* path, std::vector<uint8_t>* bytes) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return false;
  uint8_t slice[65536];
  size_t got;
  while ((got = fread(slice, 1, sizeof(slice), file)) > 0) bytes->insert(bytes->end(), slice, slice + got);
  bool ok = ferror(file) == 0;
  fclose(file);
  return ok;
}

bool WriteFileBytes(const char* path, const std::vector<uint8_t>& bytes) {
  FILE* file = fopen(path, "wb");
  if (file == nullptr) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && ok;
}

// The file offset of the certificate directory entry, or 0 when `bytes` is no PE program.
size_t CertificateEntryOffset(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') return 0;
  size_t header = Read32(bytes, 0x3C);
  size_t optional = header + 24;
  if (optional + 2 > bytes.size() || Read32(bytes, header) != 0x4550) return 0;
  uint16_t magic = (uint16_t)(bytes[optional] | bytes[optional + 1] << 8);
  size_t directories = optional + (magic == 0x20B ? 112 : 96);
  size_t entry = directories + 8 * kCertificateDirectory;
  return entry + 8 <= bytes.size() ? entry : 0;
}

bool FileExists(const std::string& path) {
  FILE* file = fopen(path.c_str(), "rb");
  if (file != nullptr) fclose(file);
  return file != nullptr;
}

// Announces itself in `name`.waiting and waits for the file `name`. Returns false when it
// does not come within a minute.
bool PauseUntil(const std::string& name) {
  FILE* waiting = fopen((name + ".waiting").c_str(), "wb");
  if (waiting == nullptr || fclose(waiting) != 0) return false;
  for (int tick = 0; tick < 600; ++tick) {
    if (FileExists(name)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  const char* pause = getenv("FAKE_SIGNER_PAUSE");
  if (pause != nullptr && !PauseUntil(pause)) return 1;
  std::vector<uint8_t> bytes;
  if (argc != 2 || !ReadFileBytes(argv[1], &bytes)) return 1;
  size_t entry = CertificateEntryOffset(bytes);
  if (entry == 0) return 1;
  bytes.resize((bytes.size() + 7) / 8 * 8, 0);  // certificate entries start 8-byte aligned
  uint32_t at = (uint32_t)bytes.size();
  uint32_t length = kCertificateHeaderBytes + sizeof(kFakeSignature);
  bytes.resize(bytes.size() + length, 0);
  Write32(&bytes, at, length);
  bytes[at + 5] = 0x02;  // revision 2.0
  bytes[at + 6] = 0x02;  // PKCS #7 signed data
  for (size_t k = 0; k < sizeof(kFakeSignature); ++k) bytes[at + 8 + k] = kFakeSignature[k];
  Write32(&bytes, entry, at);
  Write32(&bytes, entry + 4, length);
  return WriteFileBytes(argv[1], bytes) ? 0 : 1;
}
