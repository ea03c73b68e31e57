// The sign step's digests in process: SHA-1 and SHA-256 against the examples of FIPS 180,
// the DER reader's bounds, and signatures read back (made up by fake_signature.h) whole,
// cut short at every byte and with every byte changed. Portable: the same source runs in
// packer_tests.exe under Wine and, with sanitizers, as the build machine's pack_core_tests.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "fake_signature.h"
#include "packer/core/authenticode.h"
#include "packer/core/der_reader.h"
#include "packer/core/sha_digest.h"

namespace {

std::string Hex(const std::vector<uint8_t>& bytes) {
  const char* digits = "0123456789abcdef";
  std::string text;
  for (uint8_t b : bytes) {
    text += digits[b >> 4];
    text += digits[b & 15];
  }
  return text;
}

std::string HexDigest(DigestAlgorithm algorithm, const std::string& message) {
  return Hex(DigestOf(algorithm, (const uint8_t*)message.data(), message.size()));
}

// The examples of FIPS 180 (one block, two blocks, a million "a") and the empty message.
const std::string kTwoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";

TEST(Sha1, MatchesTheStandardsExamples) {
  EXPECT_EQ(HexDigest(DIGEST_SHA1, ""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
  EXPECT_EQ(HexDigest(DIGEST_SHA1, "abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
  EXPECT_EQ(HexDigest(DIGEST_SHA1, kTwoBlocks), "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
  EXPECT_EQ(HexDigest(DIGEST_SHA1, std::string(1000000, 'a')),
            "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
}

TEST(Sha256, MatchesTheStandardsExamples) {
  EXPECT_EQ(HexDigest(DIGEST_SHA256, ""),
            "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(HexDigest(DIGEST_SHA256, "abc"),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(HexDigest(DIGEST_SHA256, kTwoBlocks),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(HexDigest(DIGEST_SHA256, std::string(1000000, 'a')),
            "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

// A message fed in pieces of every size from 1 to 130 bytes digests as it does whole: the
// pieces end before, at and after the block and padding boundaries (55, 56, 64 bytes).
TEST(Digests, PiecesDigestAsTheWhole) {
  std::vector<uint8_t> message(300);
  for (size_t k = 0; k < message.size(); ++k) message[k] = (uint8_t)(k * 7 + 3);
  for (DigestAlgorithm algorithm : {DIGEST_SHA1, DIGEST_SHA256}) {
    for (size_t length : {0, 55, 56, 63, 64, 65, 119, 120, 128, 300}) {
      std::vector<uint8_t> whole = DigestOf(algorithm, message.data(), length);
      for (size_t piece = 1; piece <= 130; ++piece) {
        SCOPED_TRACE(std::string(DigestName(algorithm)) + ", " + std::to_string(length) +
                     " bytes in pieces of " + std::to_string(piece));
        Digester digester;
        StartDigest(algorithm, &digester);
        for (size_t at = 0; at < length; at += piece) {
          AddToDigest(&digester, message.data() + at, piece < length - at ? piece : length - at);
        }
        std::vector<uint8_t> digest(DigestSize(algorithm));
        FinishDigest(&digester, digest.data());
        ASSERT_EQ(digest, whole);
      }
    }
  }
}

// Reads the first element of `bytes`; "" or the reader's message.
std::string DerProblem(const std::vector<uint8_t>& bytes) {
  DerReader reader = DerOver(bytes.data(), bytes.size());
  DerElement element;
  std::string problem;
  bool read = ReadDerElement(&reader, "the element", &element, &problem);
  EXPECT_EQ(read, problem.empty());
  return problem;
}

TEST(DerReader, ReadsShortAndLongLengthsInsideTheirSpan) {
  std::vector<uint8_t> bytes = {0x30, 0x81, 0x03, 0x02, 0x01, 0x07, 0xFF};
  DerReader reader = DerOver(bytes.data(), bytes.size());
  DerElement sequence, integer;
  std::string problem;
  ASSERT_TRUE(ExpectDerElement(&reader, kDerSequence, "the sequence", &sequence, &problem))
      << problem;
  EXPECT_EQ(sequence.length, 3u);
  EXPECT_EQ(reader.left, 1u);  // the byte after the sequence is the next element's
  DerReader inside = DerInside(reader, sequence);
  ASSERT_TRUE(ExpectDerElement(&inside, kDerInteger, "the integer", &integer, &problem));
  EXPECT_EQ(integer.contents[0], 7);
  EXPECT_EQ(DerOffset(inside, integer), 3u);
  EXPECT_TRUE(DerAtEnd(inside));
  EXPECT_FALSE(ReadDerElement(&inside, "the next element", &integer, &problem));
  EXPECT_EQ(problem, "the next element is missing: the element that holds it ends at byte 6");
}

TEST(DerReader, RefusesLengthsItCannotHold) {
  EXPECT_EQ(DerProblem({0x30}), "the element is missing: the element that holds it ends at byte 1");
  EXPECT_EQ(DerProblem({0x30, 0x05, 0x00}),
            "the element at byte 0 says it has 5 bytes, but only 1 are left for it");
  EXPECT_EQ(DerProblem({0x30, 0x82, 0x01}), "the element at byte 0 is cut off inside its length");
  EXPECT_EQ(DerProblem({0x30, 0x82, 0xFF, 0xFF, 0x00}),
            "the element at byte 0 says it has 65535 bytes, but only 1 are left for it");
  EXPECT_EQ(DerProblem({0x30, 0x85, 0x01, 0x00, 0x00, 0x00, 0x00}),
            "the element at byte 0 has a length of 5 bytes; lengths of more than 4 bytes are "
            "not read");
  EXPECT_EQ(DerProblem({0x30, 0x80, 0x00, 0x00}),
            "the element at byte 0 has an indefinite length, which DER does not allow");
  EXPECT_EQ(DerProblem({0x1F, 0x81, 0x00}),
            "the element at byte 0 has a tag of several bytes, which signatures do not use");
  // The largest four-byte length is compared with the room left, not added to a pointer.
  EXPECT_EQ(DerProblem({0x04, 0x84, 0xFF, 0xFF, 0xFF, 0xFF, 0x00}),
            "the element at byte 0 says it has 4294967295 bytes, but only 1 are left for it");
}

TEST(DerReader, NamesTheTagThatDoesNotBelong) {
  std::vector<uint8_t> bytes = {0x04, 0x00};
  DerReader reader = DerOver(bytes.data(), bytes.size());
  DerElement element;
  std::string problem;
  EXPECT_FALSE(ExpectDerElement(&reader, kDerSequence, "the list", &element, &problem));
  EXPECT_EQ(problem, "the list at byte 0 has tag 0x04 where tag 0x30 belongs");
}

TEST(DerReader, WritesObjectIdentifiersDotted) {
  auto text = [](std::vector<uint8_t> contents) {
    DerElement element;
    element.tag = kDerObjectIdentifier;
    element.contents = contents.data();
    element.length = contents.size();
    return DerObjectIdentifierText(element);
  };
  EXPECT_EQ(text({0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02}), "1.2.840.113549.1.7.2");
  EXPECT_EQ(text({0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01}), "2.16.840.1.101.3.4.2.1");
  EXPECT_EQ(text({0x2B, 0x0E, 0x03, 0x02, 0x1A}), "1.3.14.3.2.26");
  EXPECT_EQ(text({0x2B, 0x86}), "(malformed)");        // cut inside an arc
  EXPECT_EQ(text({0x2B, 0x80, 0x01}), "(malformed)");  // a padded arc
  EXPECT_EQ(text({}), "(malformed)");
}

std::vector<uint8_t> Digest(DigestAlgorithm algorithm, const char* text) {
  return DigestOf(algorithm, (const uint8_t*)text, strlen(text));
}

TEST(AuthenticodeSignature, ReadsTheDigestsAndTheNestedSignature) {
  std::vector<uint8_t> sha1 = Digest(DIGEST_SHA1, "the file");
  std::vector<uint8_t> sha256 = Digest(DIGEST_SHA256, "the file");
  Bytes der = FakeSignedData(FAKE_SHA1, sha1, FakeFaults(),
                             FakeSignedData(FAKE_SHA256, sha256, FakeFaults(), {}));
  AuthenticodeSignature signature;
  std::string problem;
  ASSERT_EQ(ReadAuthenticodeSignature(der.data(), der.size(), &signature, &problem),
            AUTHENTICODE_OK)
      << problem;
  EXPECT_EQ(signature.file_algorithm, DIGEST_SHA1);
  EXPECT_EQ(signature.file_digest, sha1);
  EXPECT_EQ(signature.signer_algorithm, DIGEST_SHA1);
  // The messageDigest is the digest of the SpcIndirectDataContent's contents.
  EXPECT_EQ(signature.message_digest,
            DigestOf(DIGEST_SHA1, signature.signed_content, signature.signed_content_size));
  ASSERT_EQ(signature.nested.size(), 1u);
  const AuthenticodeSignature& nested = signature.nested[0];
  EXPECT_EQ(nested.file_algorithm, DIGEST_SHA256);
  EXPECT_EQ(nested.file_digest, sha256);
  EXPECT_EQ(nested.message_digest,
            DigestOf(DIGEST_SHA256, nested.signed_content, nested.signed_content_size));
  EXPECT_GT(nested.offset, 0u);
  EXPECT_EQ(der[nested.offset], kDerSequence);
}

TEST(AuthenticodeSignature, RefusesAnAlgorithmItDoesNotCheck) {
  Bytes der = FakeSignedData(FAKE_SHA512, Bytes(64, 1), FakeFaults(), {});
  AuthenticodeSignature signature;
  std::string problem;
  EXPECT_EQ(ReadAuthenticodeSignature(der.data(), der.size(), &signature, &problem),
            AUTHENTICODE_UNSUPPORTED);
  EXPECT_NE(problem.find("is 2.16.840.1.101.3.4.2.3, which the sign step does not check"),
            std::string::npos)
      << problem;
}

TEST(AuthenticodeSignature, RefusesEveryCutWithAMessage) {
  Bytes der = FakeSignedData(FAKE_SHA256, Digest(DIGEST_SHA256, "x"), FakeFaults(),
                             FakeSignedData(FAKE_SHA1, Digest(DIGEST_SHA1, "x"), FakeFaults(), {}));
  for (size_t size = 0; size < der.size(); ++size) {
    // A copy of exactly `size` bytes, so that a read past them is one past the allocation.
    std::vector<uint8_t> cut(der.begin(), der.begin() + size);
    AuthenticodeSignature signature;
    std::string problem;
    ASSERT_EQ(ReadAuthenticodeSignature(cut.data(), cut.size(), &signature, &problem),
              AUTHENTICODE_UNREADABLE)
        << size;
    ASSERT_FALSE(problem.empty()) << size;
  }
}

// Every byte changed in turn, to each of a few values: the reader either reads a signature
// or refuses it with a message; it never reads outside the bytes (which the build
// machine's sanitizers would report).
TEST(AuthenticodeSignature, ChangedBytesAreReadOrRefused) {
  const Bytes der =
      FakeSignedData(FAKE_SHA256, Digest(DIGEST_SHA256, "x"), FakeFaults(),
                     FakeSignedData(FAKE_SHA1, Digest(DIGEST_SHA1, "x"), FakeFaults(), {}));
  for (size_t at = 0; at < der.size(); ++at) {
    for (uint8_t value : {0x00, 0x01, 0x7F, 0x80, 0x81, 0x84, 0xFF}) {
      std::vector<uint8_t> changed = der;
      changed[at] = value;
      AuthenticodeSignature signature;
      std::string problem;
      AuthenticodeResult result =
          ReadAuthenticodeSignature(changed.data(), changed.size(), &signature, &problem);
      ASSERT_EQ(result == AUTHENTICODE_OK, problem.empty()) << at << ": " << problem;
    }
  }
}

}  // namespace
