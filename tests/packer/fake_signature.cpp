#include "fake_signature.h"

#include <initializer_list>

namespace {

// Object identifiers, as DER contents.
const Bytes kSignedData = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
const Bytes kIndirectData = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x04};
const Bytes kPeImageData = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x0F};
const Bytes kContentType = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x03};
const Bytes kMessageDigest = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x04};
const Bytes kNestedSignature = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x04, 0x01};
const Bytes kRsaEncryption = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01, 0x01};
const Bytes kSha1 = {0x2B, 0x0E, 0x03, 0x02, 0x1A};
const Bytes kSha256 = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
const Bytes kSha512 = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x03};

// One DER element: the tag, the definite length (short or long form), the contents.
Bytes Der(uint8_t tag, const Bytes& contents) {
  Bytes out = {tag};
  size_t length = contents.size();
  if (length < 0x80) {
    out.push_back((uint8_t)length);
  } else {
    Bytes digits;
    for (; length > 0; length >>= 8) digits.insert(digits.begin(), (uint8_t)length);
    out.push_back((uint8_t)(0x80 | digits.size()));
    out.insert(out.end(), digits.begin(), digits.end());
  }
  out.insert(out.end(), contents.begin(), contents.end());
  return out;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes Sequence(std::initializer_list<Bytes> parts) { return Der(0x30, Join(parts)); }
Bytes Set(std::initializer_list<Bytes> parts) { return Der(0x31, Join(parts)); }
Bytes Oid(const Bytes& id) { return Der(0x06, id); }
Bytes Octets(const Bytes& bytes) { return Der(0x04, bytes); }
Bytes Integer1() { return Der(0x02, {0x01}); }
Bytes AlgorithmOf(const Bytes& id) { return Sequence({Oid(id), Der(0x05, {})}); }

const Bytes& IdOf(FakeAlgorithm algorithm) {
  return algorithm == FAKE_SHA1 ? kSha1 : algorithm == FAKE_SHA256 ? kSha256 : kSha512;
}

}  // namespace

DigestAlgorithm DigesterFor(FakeAlgorithm algorithm) {
  return algorithm == FAKE_SHA1 ? DIGEST_SHA1 : DIGEST_SHA256;
}

Bytes FakeSignedData(FakeAlgorithm algorithm, Bytes file_digest, const FakeFaults& faults,
                     const Bytes& nested) {
  const Bytes& id = IdOf(algorithm);
  if (faults.file_digest) file_digest[0] ^= 0xFF;
  // SpcIndirectDataContent: the data's type (a PE image, no value) and the DigestInfo.
  Bytes indirect_contents =
      Join({Sequence({Oid(kPeImageData)}), Sequence({AlgorithmOf(id), Octets(file_digest)})});
  Bytes message_digest =
      DigestOf(DigesterFor(algorithm), indirect_contents.data(), indirect_contents.size());
  if (faults.message_digest) message_digest[0] ^= 0xFF;
  Bytes signed_attributes =
      Der(0xA0, Join({Sequence({Oid(kContentType), Set({Oid(kIndirectData)})}),
                      Sequence({Oid(kMessageDigest), Set({Octets(message_digest)})})}));
  Bytes unsigned_attributes;
  if (!nested.empty()) {
    unsigned_attributes = Der(0xA1, Sequence({Oid(kNestedSignature), Set({nested})}));
  }
  // Version 1, issuer (an empty name) and serial number 1, the digest algorithm, the signed
  // attributes, a signature algorithm and a value that is no signature.
  Bytes signer = Sequence({Integer1(), Sequence({Sequence({}), Integer1()}), AlgorithmOf(id),
                           signed_attributes, AlgorithmOf(kRsaEncryption),
                           Octets({'n', 'o', 'n', 'e'}), unsigned_attributes});
  Bytes content_info = Sequence({Oid(kIndirectData), Der(0xA0, Der(0x30, indirect_contents))});
  Bytes signed_data = Sequence({Integer1(), Set({AlgorithmOf(id)}), content_info, Set({signer})});
  return Sequence({Oid(kSignedData), Der(0xA0, signed_data)});
}
