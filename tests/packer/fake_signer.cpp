// A stand-in for a signing tool in the packer's tests: signs the Windows program named on
// its command line in place, as signing tools do, by appending a certificate table with one
// signed-data entry and pointing the program's certificate directory at it. The entry is a
// PKCS #7 SignedData whose digests are real (the file's Authenticode digest, the signer's
// messageDigest of the signed content) but whose signature value and certificates are
// none (fake_signature.h): the packer checks the digests, not the signature. Other modes
// make the faults that the packer must refuse.
//   fake_signer [MODE] FILE
//   MODE: sha256 (the default), sha1, dual (SHA-1 with a nested SHA-256 signature),
//         bogus (a 16-byte entry that only looks like signed data), wrong-file-digest,
//         wrong-message-digest, wrong-nested-digest, sha512 (an algorithm not checked)
// Exits 0 when done, 1 otherwise. Plain C++ over stdio and the packer's digests, so the same
// source runs under Wine and on the build machine. The file's digest is worked out here
// from the layout on its own, not by the packer's code.
//
// With FAKE_SIGNER_PAUSE=NAME in its environment it first creates the file NAME.waiting and
// waits (60 s at most) until a file NAME exists: the packer signs the uninstaller between
// listing the product's folders and reading its files, and a test changes the tree
// meanwhile, as someone racing the packer would.
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "fake_signature.h"
#include "packer/core/sha_digest.h"

namespace {

// The old fake signature: a DER SEQUENCE of 14 zero bytes, which starts as signed data does
// and is nothing more.
constexpr uint8_t kBogusSignature[16] = {0x30, 0x0E};
constexpr uint32_t kCertificateHeaderBytes = 8;
constexpr uint32_t kCertificateDirectory = 4;
constexpr uint32_t kOptionalCheckSum = 64;

uint32_t Read32(const Bytes& bytes, size_t at) {
  return (uint32_t)bytes[at] | (uint32_t)bytes[at + 1] << 8 | (uint32_t)bytes[at + 2] << 16 |
         (uint32_t)bytes[at + 3] << 24;
}

void Write32(Bytes* bytes, size_t at, uint32_t value) {
  for (int k = 0; k < 4; ++k) (*bytes)[at + k] = (uint8_t)(value >> (8 * k));
}

bool ReadFileBytes(const char* path, Bytes* bytes) {
  FILE* file = fopen(path, "rb");
  if (file == nullptr) return false;
  uint8_t slice[65536];
  size_t got;
  while ((got = fread(slice, 1, sizeof(slice), file)) > 0) {
    bytes->insert(bytes->end(), slice, slice + got);
  }
  bool ok = ferror(file) == 0;
  fclose(file);
  return ok;
}

bool WriteFileBytes(const char* path, const Bytes& bytes) {
  FILE* file = fopen(path, "wb");
  if (file == nullptr) return false;
  bool ok = fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  return fclose(file) == 0 && ok;
}

// The file offsets of the optional header and of the certificate directory entry, or false
// when `bytes` is no PE program.
bool FindHeaders(const Bytes& bytes, size_t* optional, size_t* entry) {
  if (bytes.size() < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') return false;
  size_t header = Read32(bytes, 0x3C);
  *optional = header + 24;
  if (*optional + 2 > bytes.size() || Read32(bytes, header) != 0x4550) return false;
  uint16_t magic = (uint16_t)(bytes[*optional] | bytes[*optional + 1] << 8);
  size_t directories = *optional + (magic == 0x20B ? 112 : 96);
  *entry = directories + 8 * kCertificateDirectory;
  return *entry + 8 <= bytes.size();
}

// The Authenticode digest of the unsigned program: everything but the CheckSum field and
// the certificate directory entry (the certificate table comes after all of it).
Bytes FileDigest(const Bytes& bytes, size_t optional, size_t entry, DigestAlgorithm algorithm) {
  Bytes hashed(bytes.begin(), bytes.begin() + optional + kOptionalCheckSum);
  hashed.insert(hashed.end(), bytes.begin() + optional + kOptionalCheckSum + 4,
                bytes.begin() + entry);
  hashed.insert(hashed.end(), bytes.begin() + entry + 8, bytes.end());
  return DigestOf(algorithm, hashed.data(), hashed.size());
}

// The signature that `mode` asks for over the padded, unsigned program `bytes`; empty for
// an unknown mode.
Bytes SignatureFor(const std::string& mode, const Bytes& bytes, size_t optional, size_t entry) {
  Bytes digest1 = FileDigest(bytes, optional, entry, DIGEST_SHA1);
  Bytes digest256 = FileDigest(bytes, optional, entry, DIGEST_SHA256);
  FakeFaults none, wrong_file, wrong_message;
  wrong_file.file_digest = true;
  wrong_message.message_digest = true;
  if (mode == "bogus") return Bytes(kBogusSignature, kBogusSignature + sizeof(kBogusSignature));
  if (mode == "sha256") return FakeSignedData(FAKE_SHA256, digest256, none, {});
  if (mode == "sha1") return FakeSignedData(FAKE_SHA1, digest1, none, {});
  if (mode == "wrong-file-digest") return FakeSignedData(FAKE_SHA256, digest256, wrong_file, {});
  if (mode == "wrong-message-digest") {
    return FakeSignedData(FAKE_SHA256, digest256, wrong_message, {});
  }
  if (mode == "sha512") return FakeSignedData(FAKE_SHA512, Bytes(64, 0x51), none, {});
  if (mode == "dual" || mode == "wrong-nested-digest") {
    const FakeFaults& nested_faults = mode == "dual" ? none : wrong_file;
    return FakeSignedData(FAKE_SHA1, digest1, none,
                          FakeSignedData(FAKE_SHA256, digest256, nested_faults, {}));
  }
  return {};
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
  if (argc != 2 && argc != 3) return 1;
  std::string mode = argc == 3 ? argv[1] : "sha256";
  const char* path = argv[argc - 1];
  Bytes bytes;
  size_t optional = 0, entry = 0;
  if (!ReadFileBytes(path, &bytes) || !FindHeaders(bytes, &optional, &entry)) return 1;
  bytes.resize((bytes.size() + 7) / 8 * 8, 0);  // certificate entries start 8-byte aligned
  Bytes signature = SignatureFor(mode, bytes, optional, entry);
  if (signature.empty()) {
    fprintf(stderr, "fake_signer: unknown mode %s\n", mode.c_str());
    return 1;
  }
  signature.resize((signature.size() + 7) / 8 * 8, 0);  // the table's entries are too
  uint32_t at = (uint32_t)bytes.size();
  uint32_t length = kCertificateHeaderBytes + (uint32_t)signature.size();
  bytes.resize(bytes.size() + length, 0);
  Write32(&bytes, at, length);
  bytes[at + 5] = 0x02;  // revision 2.0
  bytes[at + 6] = 0x02;  // PKCS #7 signed data
  memcpy(bytes.data() + at + kCertificateHeaderBytes, signature.data(), signature.size());
  Write32(&bytes, entry, at);
  Write32(&bytes, entry + 4, length);
  return WriteFileBytes(path, bytes) ? 0 : 1;
}
