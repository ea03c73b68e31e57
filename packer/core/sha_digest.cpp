#include "packer/core/sha_digest.h"

namespace {

constexpr uint32_t kSha1Start[5] = {0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u,
                                    0xC3D2E1F0u};
constexpr uint32_t kSha256Start[8] = {0x6A09E667u, 0xBB67AE85u, 0x3C6EF372u, 0xA54FF53Au,
                                      0x510E527Fu, 0x9B05688Cu, 0x1F83D9ABu, 0x5BE0CD19u};
// SHA-256's round constants: the first 32 bits of the fractional parts of the cube roots
// of the first 64 primes.
constexpr uint32_t kSha256Rounds[64] = {
    0x428A2F98u, 0x71374491u, 0xB5C0FBCFu, 0xE9B5DBA5u, 0x3956C25Bu, 0x59F111F1u, 0x923F82A4u,
    0xAB1C5ED5u, 0xD807AA98u, 0x12835B01u, 0x243185BEu, 0x550C7DC3u, 0x72BE5D74u, 0x80DEB1FEu,
    0x9BDC06A7u, 0xC19BF174u, 0xE49B69C1u, 0xEFBE4786u, 0x0FC19DC6u, 0x240CA1CCu, 0x2DE92C6Fu,
    0x4A7484AAu, 0x5CB0A9DCu, 0x76F988DAu, 0x983E5152u, 0xA831C66Du, 0xB00327C8u, 0xBF597FC7u,
    0xC6E00BF3u, 0xD5A79147u, 0x06CA6351u, 0x14292967u, 0x27B70A85u, 0x2E1B2138u, 0x4D2C6DFCu,
    0x53380D13u, 0x650A7354u, 0x766A0ABBu, 0x81C2C92Eu, 0x92722C85u, 0xA2BFE8A1u, 0xA81A664Bu,
    0xC24B8B70u, 0xC76C51A3u, 0xD192E819u, 0xD6990624u, 0xF40E3585u, 0x106AA070u, 0x19A4C116u,
    0x1E376C08u, 0x2748774Cu, 0x34B0BCB5u, 0x391C0CB3u, 0x4ED8AA4Au, 0x5B9CCA4Fu, 0x682E6FF3u,
    0x748F82EEu, 0x78A5636Fu, 0x84C87814u, 0x8CC70208u, 0x90BEFFFAu, 0xA4506CEBu, 0xBEF9A3F7u,
    0xC67178F2u};

uint32_t RotateLeft(uint32_t value, int bits) { return value << bits | value >> (32 - bits); }
uint32_t RotateRight(uint32_t value, int bits) { return value >> bits | value << (32 - bits); }

uint32_t ReadBe32(const uint8_t* p) {
  return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | (uint32_t)p[3];
}

void WriteBe32(uint8_t* out, uint32_t value) {
  for (int k = 0; k < 4; ++k) out[k] = (uint8_t)(value >> (24 - 8 * k));
}

void Sha1Block(uint32_t state[5], const uint8_t* block) {
  uint32_t w[80];
  for (int t = 0; t < 16; ++t) w[t] = ReadBe32(block + 4 * t);
  for (int t = 16; t < 80; ++t) w[t] = RotateLeft(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3], e = state[4];
  for (int t = 0; t < 80; ++t) {
    uint32_t f, k;
    if (t < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999u;
    } else if (t < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1u;
    } else if (t < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDCu;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6u;
    }
    uint32_t next = RotateLeft(a, 5) + f + e + k + w[t];
    e = d;
    d = c;
    c = RotateLeft(b, 30);
    b = a;
    a = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
}

void Sha256Block(uint32_t state[8], const uint8_t* block) {
  uint32_t w[64];
  for (int t = 0; t < 16; ++t) w[t] = ReadBe32(block + 4 * t);
  for (int t = 16; t < 64; ++t) {
    uint32_t s0 = RotateRight(w[t - 15], 7) ^ RotateRight(w[t - 15], 18) ^ (w[t - 15] >> 3);
    uint32_t s1 = RotateRight(w[t - 2], 17) ^ RotateRight(w[t - 2], 19) ^ (w[t - 2] >> 10);
    w[t] = w[t - 16] + s0 + w[t - 7] + s1;
  }
  uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
  for (int t = 0; t < 64; ++t) {
    uint32_t sum1 = RotateRight(e, 6) ^ RotateRight(e, 11) ^ RotateRight(e, 25);
    uint32_t first = h + sum1 + ((e & f) ^ (~e & g)) + kSha256Rounds[t] + w[t];
    uint32_t sum0 = RotateRight(a, 2) ^ RotateRight(a, 13) ^ RotateRight(a, 22);
    uint32_t second = sum0 + ((a & b) ^ (a & c) ^ (b & c));
    h = g;
    g = f;
    f = e;
    e = d + first;
    d = c;
    c = b;
    b = a;
    a = first + second;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
  state[5] += f;
  state[6] += g;
  state[7] += h;
}

void DigestBlock(Digester* digester, const uint8_t* block) {
  if (digester->algorithm == DIGEST_SHA1) {
    Sha1Block(digester->state, block);
  } else {
    Sha256Block(digester->state, block);
  }
}

}  // namespace

size_t DigestSize(DigestAlgorithm algorithm) { return algorithm == DIGEST_SHA1 ? 20 : 32; }

const char* DigestName(DigestAlgorithm algorithm) {
  return algorithm == DIGEST_SHA1 ? "SHA-1" : "SHA-256";
}

void StartDigest(DigestAlgorithm algorithm, Digester* digester) {
  *digester = Digester();
  digester->algorithm = algorithm;
  if (algorithm == DIGEST_SHA1) {
    for (int k = 0; k < 5; ++k) digester->state[k] = kSha1Start[k];
  } else {
    for (int k = 0; k < 8; ++k) digester->state[k] = kSha256Start[k];
  }
}

void AddToDigest(Digester* digester, const uint8_t* bytes, size_t count) {
  digester->total_bytes += count;
  if (digester->block_used > 0) {
    size_t take = kDigestBlockBytes - digester->block_used;
    if (take > count) take = count;
    for (size_t k = 0; k < take; ++k) digester->block[digester->block_used + k] = bytes[k];
    digester->block_used += take;
    bytes += take;
    count -= take;
    if (digester->block_used < kDigestBlockBytes) return;
    DigestBlock(digester, digester->block);
    digester->block_used = 0;
  }
  for (; count >= kDigestBlockBytes; bytes += kDigestBlockBytes, count -= kDigestBlockBytes) {
    DigestBlock(digester, bytes);
  }
  for (size_t k = 0; k < count; ++k) digester->block[k] = bytes[k];
  digester->block_used = count;
}

void FinishDigest(Digester* digester, uint8_t* out) {
  // The padding: one 1 bit, zeros up to 8 bytes short of a block's end, then the message
  // length in bits, big-endian, in those 8 bytes (both algorithms alike).
  uint64_t bits = digester->total_bytes * 8;
  uint8_t* block = digester->block;
  size_t used = digester->block_used;
  block[used++] = 0x80;
  if (used > kDigestBlockBytes - 8) {
    while (used < kDigestBlockBytes) block[used++] = 0;
    DigestBlock(digester, block);
    used = 0;
  }
  while (used < kDigestBlockBytes - 8) block[used++] = 0;
  WriteBe32(block + kDigestBlockBytes - 8, (uint32_t)(bits >> 32));
  WriteBe32(block + kDigestBlockBytes - 4, (uint32_t)bits);
  DigestBlock(digester, block);
  size_t words = DigestSize(digester->algorithm) / 4;
  for (size_t k = 0; k < words; ++k) WriteBe32(out + 4 * k, digester->state[k]);
}

std::vector<uint8_t> DigestOf(DigestAlgorithm algorithm, const uint8_t* bytes, size_t count) {
  Digester digester;
  StartDigest(algorithm, &digester);
  AddToDigest(&digester, bytes, count);
  std::vector<uint8_t> digest(DigestSize(algorithm));
  FinishDigest(&digester, digest.data());
  return digest;
}
