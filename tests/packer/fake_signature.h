// Signatures made up for the packer's tests: a PKCS #7 SignedData in DER whose digests are
// real (the file digest it is given, the signer's messageDigest of the signed content) but
// whose signature value and certificates are none, since the packer checks the digests
// only. Optional faults and a nested signature. Used by fake_signer and the unit tests.
#pragma once

#include <stdint.h>

#include <vector>

#include "packer/core/sha_digest.h"

using Bytes = std::vector<uint8_t>;

// A digest algorithm as a signature names it: SHA-1, SHA-256, or SHA-512 (which the packer
// does not check, for the refusal of an algorithm it does not know).
enum FakeAlgorithm { FAKE_SHA1, FAKE_SHA256, FAKE_SHA512 };

// What may be wrong in a made-up signature.
struct FakeFaults {
  bool file_digest = false;     // its first byte flipped after the file was digested
  bool message_digest = false;  // the same for the signer's messageDigest
};

// The DigestSize of FAKE_SHA1 and FAKE_SHA256 (SHA-512 is counted as SHA-256 by the
// digester; its 64-byte file digest is never compared).
DigestAlgorithm DigesterFor(FakeAlgorithm algorithm);

// A ContentInfo with SignedData that names `file_digest` with `algorithm`, its one signer's
// messageDigest, and `nested` (another such ContentInfo, or nothing) as nested signature.
Bytes FakeSignedData(FakeAlgorithm algorithm, Bytes file_digest, const FakeFaults& faults,
                     const Bytes& nested);
