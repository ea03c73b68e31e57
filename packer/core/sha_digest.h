// SHA-1 and SHA-256 (FIPS 180-4), written out here because pack.exe runs on Windows 2000,
// whose crypto providers lack SHA-256, and the native pack links no crypto library. The
// sign step uses them to check a signature's digests against the signed file; they are
// not used to make anything secret. Portable C++, no platform calls.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

enum DigestAlgorithm {
  DIGEST_SHA1,
  DIGEST_SHA256,
};

// The longest digest of the algorithms above (SHA-256's), in bytes.
constexpr size_t kMaxDigestBytes = 32;
constexpr size_t kDigestBlockBytes = 64;  // both hash 64-byte blocks

// The digest's length in bytes (20 or 32) and its name for messages ("SHA-256").
size_t DigestSize(DigestAlgorithm algorithm);
const char* DigestName(DigestAlgorithm algorithm);

// A digest being computed: StartDigest, AddToDigest as often as needed, FinishDigest.
struct Digester {
  DigestAlgorithm algorithm = DIGEST_SHA256;
  uint32_t state[8] = {};
  uint64_t total_bytes = 0;
  uint8_t block[kDigestBlockBytes] = {};
  size_t block_used = 0;
};

void StartDigest(DigestAlgorithm algorithm, Digester* digester);
void AddToDigest(Digester* digester, const uint8_t* bytes, size_t count);
// Writes the DigestSize(algorithm) bytes of the digest to `out` (room for kMaxDigestBytes
// is enough for either). The digester must be started again before further use.
void FinishDigest(Digester* digester, uint8_t* out);

// The digest of the `count` bytes at `bytes`, in one call.
std::vector<uint8_t> DigestOf(DigestAlgorithm algorithm, const uint8_t* bytes, size_t count);
