// The digests of an Authenticode signature, checked against the Windows program that
// carries it: the file's own digest, which the signed content names, and the signer's
// messageDigest, which names the signed content. This shows that the signature was made
// for this file as it is now and that its parts hold together; it does not check the
// signature value, the certificates or a time stamp (a full verification does that).
// Portable C++, no platform calls; every read is bounded by the bytes there are.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "packer/core/pe_image.h"
#include "packer/core/sha_digest.h"

// A WIN_CERTIFICATE entry: its length, revision 2.0, type PKCS #7 signed data, then the
// signature.
constexpr uint32_t kCertificateHeaderBytes = 8;
constexpr uint16_t kCertificateRevision = 0x0200;
constexpr uint16_t kCertificateSignedData = 0x0002;

// Outcomes of reading and checking a signature.
enum AuthenticodeResult {
  AUTHENTICODE_OK,           // read, or checked: every digest matches
  AUTHENTICODE_UNREADABLE,   // not the structure a signature has, or cut short
  AUTHENTICODE_UNSUPPORTED,  // a digest algorithm other than SHA-1 and SHA-256
  AUTHENTICODE_MISMATCH,     // a digest differs from the one computed
};

// What one signature (a PKCS #7 SignedData whose content is Authenticode's
// SpcIndirectDataContent) states. The pointers point into the bytes it was read from.
struct AuthenticodeSignature {
  DigestAlgorithm file_algorithm = DIGEST_SHA256;
  std::vector<uint8_t> file_digest;  // the DigestInfo's digest of the signed file
  DigestAlgorithm signer_algorithm = DIGEST_SHA256;
  std::vector<uint8_t> message_digest;        // the first signer's messageDigest attribute
  const uint8_t* signed_content = nullptr;    // the SpcIndirectDataContent's contents octets,
  size_t signed_content_size = 0;             // which messageDigest is the digest of
  size_t offset = 0;                          // where the ContentInfo starts in the entry
  std::vector<AuthenticodeSignature> nested;  // from the signer's unsigned attributes
};

// Reads the DER ContentInfo at the start of the `size` bytes at `der` (a certificate
// entry's contents; bytes after the ContentInfo are padding). Returns AUTHENTICODE_OK, or
// AUTHENTICODE_UNREADABLE or AUTHENTICODE_UNSUPPORTED with a message that says what and at
// which byte.
AuthenticodeResult ReadAuthenticodeSignature(const uint8_t* der, size_t size,
                                             AuthenticodeSignature* signature,
                                             std::string* problem);

// Writes the Authenticode digest of `image` with `algorithm` to `out` (DigestSize bytes):
// every byte of the file before its certificate table except the CheckSum field and the
// certificate table's directory entry. Returns false when the certificate table does not
// lie after the directory entry and inside the file.
bool AuthenticodeImageDigest(const PeImage& image, DigestAlgorithm algorithm, uint8_t* out);

// Checks the signature in the first entry of `image`'s certificate table, and every
// signature nested in it: its file digest against the file's Authenticode digest, and the
// first signer's messageDigest against the digest of the signed content. Bytes after the
// certificate table, which no digest covers, count as a mismatch. Returns AUTHENTICODE_OK
// or another outcome with a message.
AuthenticodeResult CheckAuthenticodeDigests(const PeImage& image, std::string* problem);
