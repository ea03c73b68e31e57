#include "packer/core/authenticode.h"

#include <string.h>

#include "packer/core/der_reader.h"

namespace {

// Object identifiers, as their DER contents.
constexpr uint8_t kSignedDataId[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x07, 0x02};
constexpr uint8_t kIndirectDataId[] = {0x2B, 0x06, 0x01, 0x04, 0x01, 0x82, 0x37, 0x02, 0x01, 0x04};
constexpr uint8_t kMessageDigestId[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x04};
constexpr uint8_t kNestedSignatureId[] = {0x2B, 0x06, 0x01, 0x04, 0x01,
                                          0x82, 0x37, 0x02, 0x04, 0x01};
constexpr uint8_t kSha1Id[] = {0x2B, 0x0E, 0x03, 0x02, 0x1A};
constexpr uint8_t kSha256Id[] = {0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02, 0x01};

// Signing tools nest one level (a second signature beside the first); a deeper chain is
// read up to this depth, so that a hostile one cannot recurse without end.
constexpr int kMaxNesting = 4;

// Whether `element` is the object identifier `id`.
template <size_t N>
bool Is(const DerElement& element, const uint8_t (&id)[N]) {
  return DerIsObjectIdentifier(element, id, N);
}

std::string At(const DerReader& reader, const DerElement& element) {
  return " at byte " + std::to_string(DerOffset(reader, element));
}

// Reads an AlgorithmIdentifier (its OID and optional parameters) naming SHA-1 or SHA-256.
AuthenticodeResult ReadDigestAlgorithm(DerReader* reader, const char* what,
                                       DigestAlgorithm* algorithm, std::string* problem) {
  DerElement sequence, id;
  if (!ExpectDerElement(reader, kDerSequence, what, &sequence, problem)) {
    return AUTHENTICODE_UNREADABLE;
  }
  DerReader inside = DerInside(*reader, sequence);
  std::string id_what = std::string(what) + "'s identifier";
  if (!ExpectDerElement(&inside, kDerObjectIdentifier, id_what.c_str(), &id, problem)) {
    return AUTHENTICODE_UNREADABLE;
  }
  if (Is(id, kSha1Id)) {
    *algorithm = DIGEST_SHA1;
  } else if (Is(id, kSha256Id)) {
    *algorithm = DIGEST_SHA256;
  } else {
    *problem = std::string(what) + At(*reader, sequence) + " is " + DerObjectIdentifierText(id) +
               ", which the sign step does not check; it checks SHA-1 (1.3.14.3.2.26) and "
               "SHA-256 (2.16.840.1.101.3.4.2.1)";
    return AUTHENTICODE_UNSUPPORTED;
  }
  return AUTHENTICODE_OK;
}

// Reads a digest (an OCTET STRING) of `algorithm`'s size into `digest`.
bool ReadDigest(DerReader* reader, const char* what, DigestAlgorithm algorithm,
                std::vector<uint8_t>* digest, std::string* problem) {
  DerElement octets;
  if (!ExpectDerElement(reader, kDerOctetString, what, &octets, problem)) return false;
  if (octets.length != DigestSize(algorithm)) {
    *problem = std::string(what) + At(*reader, octets) + " has " + std::to_string(octets.length) +
               " bytes; a " + DigestName(algorithm) + " digest has " +
               std::to_string(DigestSize(algorithm));
    return false;
  }
  digest->assign(octets.contents, octets.contents + octets.length);
  return true;
}

// SignedData's contentInfo: the type SpcIndirectDataContent and, inside [0], the content:
// SEQUENCE { data SpcAttributeTypeAndOptionalValue, messageDigest DigestInfo }.
AuthenticodeResult ReadIndirectData(DerReader* reader, AuthenticodeSignature* signature,
                                    std::string* problem) {
  DerElement info, type, explicit_content, content, data, digest_info;
  if (!ExpectDerElement(reader, kDerSequence, "the signed content", &info, problem)) {
    return AUTHENTICODE_UNREADABLE;
  }
  DerReader in_info = DerInside(*reader, info);
  if (!ExpectDerElement(&in_info, kDerObjectIdentifier, "the signed content's type", &type,
                        problem)) {
    return AUTHENTICODE_UNREADABLE;
  }
  if (!Is(type, kIndirectDataId)) {
    *problem = "the signed content" + At(in_info, type) + " is of type " +
               DerObjectIdentifierText(type) +
               ", not Authenticode's SpcIndirectDataContent (1.3.6.1.4.1.311.2.1.4)";
    return AUTHENTICODE_UNREADABLE;
  }
  if (!ExpectDerElement(&in_info, kDerContext0, "the signed content's [0]", &explicit_content,
                        problem)) {
    return AUTHENTICODE_UNREADABLE;
  }
  DerReader in_explicit = DerInside(in_info, explicit_content);
  if (!ExpectDerElement(&in_explicit, kDerSequence, "the SpcIndirectDataContent", &content,
                        problem)) {
    return AUTHENTICODE_UNREADABLE;
  }
  // The signer's messageDigest covers the content octets alone, without tag and length.
  signature->signed_content = content.contents;
  signature->signed_content_size = content.length;
  DerReader in_content = DerInside(in_explicit, content);
  if (!ExpectDerElement(&in_content, kDerSequence, "the SpcIndirectDataContent's data", &data,
                        problem) ||
      !ExpectDerElement(&in_content, kDerSequence, "the file digest's DigestInfo", &digest_info,
                        problem)) {
    return AUTHENTICODE_UNREADABLE;
  }
  DerReader in_digest = DerInside(in_content, digest_info);
  AuthenticodeResult result = ReadDigestAlgorithm(&in_digest, "the file digest's algorithm",
                                                  &signature->file_algorithm, problem);
  if (result != AUTHENTICODE_OK) return result;
  if (!ReadDigest(&in_digest, "the file digest", signature->file_algorithm, &signature->file_digest,
                  problem)) {
    return AUTHENTICODE_UNREADABLE;
  }
  return AUTHENTICODE_OK;
}

// The signed attributes (a [0] SET OF Attribute): the one messageDigest, whose value is
// one OCTET STRING.
bool ReadMessageDigest(DerReader* reader, const DerElement& attributes,
                       AuthenticodeSignature* signature, std::string* problem) {
  DerReader in_attributes = DerInside(*reader, attributes);
  bool found = false;
  while (!DerAtEnd(in_attributes)) {
    DerElement attribute, type, values;
    if (!ExpectDerElement(&in_attributes, kDerSequence, "a signed attribute", &attribute,
                          problem)) {
      return false;
    }
    DerReader in_attribute = DerInside(in_attributes, attribute);
    if (!ExpectDerElement(&in_attribute, kDerObjectIdentifier, "a signed attribute's type", &type,
                          problem) ||
        !ExpectDerElement(&in_attribute, kDerSet, "a signed attribute's values", &values,
                          problem)) {
      return false;
    }
    if (!Is(type, kMessageDigestId)) continue;
    if (found) {
      *problem = "the signer has a second messageDigest attribute" + At(in_attributes, attribute);
      return false;
    }
    found = true;
    DerReader in_values = DerInside(in_attribute, values);
    if (!ReadDigest(&in_values, "the signer's messageDigest", signature->signer_algorithm,
                    &signature->message_digest, problem)) {
      return false;
    }
    if (!DerAtEnd(in_values)) {
      *problem = "the signer's messageDigest attribute" + At(in_attributes, attribute) +
                 " has more than one value";
      return false;
    }
  }
  if (!found) {
    *problem = "the signer's signed attributes" + At(*reader, attributes) +
               " have no messageDigest (1.2.840.113549.1.9.4)";
  }
  return found;
}

AuthenticodeResult ReadContentInfo(DerReader* reader, int depth, AuthenticodeSignature* signature,
                                   std::string* problem);

// The unsigned attributes (a [1] SET OF Attribute): every value of a nested-signature
// attribute is a ContentInfo of its own. Other attributes (time stamps) are not read.
AuthenticodeResult ReadNestedSignatures(DerReader* reader, const DerElement& attributes, int depth,
                                        AuthenticodeSignature* signature, std::string* problem) {
  DerReader in_attributes = DerInside(*reader, attributes);
  while (!DerAtEnd(in_attributes)) {
    DerElement attribute, type, values;
    if (!ExpectDerElement(&in_attributes, kDerSequence, "an unsigned attribute", &attribute,
                          problem)) {
      return AUTHENTICODE_UNREADABLE;
    }
    DerReader in_attribute = DerInside(in_attributes, attribute);
    if (!ExpectDerElement(&in_attribute, kDerObjectIdentifier, "an unsigned attribute's type",
                          &type, problem) ||
        !ExpectDerElement(&in_attribute, kDerSet, "an unsigned attribute's values", &values,
                          problem)) {
      return AUTHENTICODE_UNREADABLE;
    }
    if (!Is(type, kNestedSignatureId)) continue;
    if (depth + 1 > kMaxNesting) {
      *problem = "the signatures are nested more than " + std::to_string(kMaxNesting) + " deep" +
                 At(in_attributes, attribute);
      return AUTHENTICODE_UNREADABLE;
    }
    DerReader in_values = DerInside(in_attribute, values);
    while (!DerAtEnd(in_values)) {
      signature->nested.emplace_back();
      AuthenticodeResult result =
          ReadContentInfo(&in_values, depth + 1, &signature->nested.back(), problem);
      if (result != AUTHENTICODE_OK) return result;
    }
  }
  return AUTHENTICODE_OK;
}

// SignerInfo: version, the signer's certificate (issuer and serial number, or a key
// identifier), digestAlgorithm, [0] signed attributes, the signature's algorithm and
// value, [1] unsigned attributes.
AuthenticodeResult ReadSignerInfo(DerReader* reader, int depth, AuthenticodeSignature* signature,
                                  std::string* problem) {
  DerElement signer, version, identifier, attributes, signature_algorithm, value;
  if (!ExpectDerElement(reader, kDerSequence, "the first signer", &signer, problem)) {
    return AUTHENTICODE_UNREADABLE;
  }
  DerReader in_signer = DerInside(*reader, signer);
  if (!ExpectDerElement(&in_signer, kDerInteger, "the signer's version", &version, problem) ||
      !ReadDerElement(&in_signer, "the signer's certificate", &identifier, problem)) {
    return AUTHENTICODE_UNREADABLE;
  }
  AuthenticodeResult result = ReadDigestAlgorithm(&in_signer, "the signer's digest algorithm",
                                                  &signature->signer_algorithm, problem);
  if (result != AUTHENTICODE_OK) return result;
  if (!DerNextIs(in_signer, kDerContext0)) {
    *problem = "the signer" + At(*reader, signer) +
               " has no signed attributes, so no messageDigest ties it to the signed content";
    return AUTHENTICODE_UNREADABLE;
  }
  if (!ExpectDerElement(&in_signer, kDerContext0, "the signer's signed attributes", &attributes,
                        problem) ||
      !ReadMessageDigest(&in_signer, attributes, signature, problem) ||
      !ExpectDerElement(&in_signer, kDerSequence, "the signer's signature algorithm",
                        &signature_algorithm, problem) ||
      !ExpectDerElement(&in_signer, kDerOctetString, "the signer's signature value", &value,
                        problem)) {
    return AUTHENTICODE_UNREADABLE;
  }
  if (!DerNextIs(in_signer, kDerContext1)) return AUTHENTICODE_OK;
  if (!ExpectDerElement(&in_signer, kDerContext1, "the signer's unsigned attributes", &attributes,
                        problem)) {
    return AUTHENTICODE_UNREADABLE;
  }
  return ReadNestedSignatures(&in_signer, attributes, depth, signature, problem);
}

// ContentInfo { contentType signedData, [0] SignedData { version, digestAlgorithms,
// contentInfo, [0] certificates, [1] CRLs, signerInfos } }.
AuthenticodeResult ReadContentInfo(DerReader* reader, int depth, AuthenticodeSignature* signature,
                                   std::string* problem) {
  DerElement info, type, explicit_data, signed_data, version, algorithms, optional, signers;
  if (!ExpectDerElement(reader, kDerSequence, "the signature's ContentInfo", &info, problem)) {
    return AUTHENTICODE_UNREADABLE;
  }
  signature->offset = DerOffset(*reader, info);
  DerReader in_info = DerInside(*reader, info);
  if (!ExpectDerElement(&in_info, kDerObjectIdentifier, "the signature's content type", &type,
                        problem)) {
    return AUTHENTICODE_UNREADABLE;
  }
  if (!Is(type, kSignedDataId)) {
    *problem = "the signature" + At(*reader, info) + " is of type " +
               DerObjectIdentifierText(type) + ", not PKCS #7 signed data (1.2.840.113549.1.7.2)";
    return AUTHENTICODE_UNREADABLE;
  }
  if (!ExpectDerElement(&in_info, kDerContext0, "the signature's [0]", &explicit_data, problem)) {
    return AUTHENTICODE_UNREADABLE;
  }
  DerReader in_explicit = DerInside(in_info, explicit_data);
  if (!ExpectDerElement(&in_explicit, kDerSequence, "the SignedData", &signed_data, problem)) {
    return AUTHENTICODE_UNREADABLE;
  }
  DerReader in_data = DerInside(in_explicit, signed_data);
  if (!ExpectDerElement(&in_data, kDerInteger, "the SignedData's version", &version, problem) ||
      !ExpectDerElement(&in_data, kDerSet, "the SignedData's digest algorithms", &algorithms,
                        problem)) {
    return AUTHENTICODE_UNREADABLE;
  }
  AuthenticodeResult result = ReadIndirectData(&in_data, signature, problem);
  if (result != AUTHENTICODE_OK) return result;
  if (DerNextIs(in_data, kDerContext0) &&
      !ExpectDerElement(&in_data, kDerContext0, "the SignedData's certificates", &optional,
                        problem)) {
    return AUTHENTICODE_UNREADABLE;
  }
  if (DerNextIs(in_data, kDerContext1) &&
      !ExpectDerElement(&in_data, kDerContext1, "the SignedData's revocation lists", &optional,
                        problem)) {
    return AUTHENTICODE_UNREADABLE;
  }
  if (!ExpectDerElement(&in_data, kDerSet, "the SignedData's signers", &signers, problem)) {
    return AUTHENTICODE_UNREADABLE;
  }
  DerReader in_signers = DerInside(in_data, signers);
  return ReadSignerInfo(&in_signers, depth, signature, problem);
}

std::string Hex(const uint8_t* bytes, size_t count) {
  const char* digits = "0123456789abcdef";
  std::string text;
  for (size_t k = 0; k < count; ++k) {
    text += digits[bytes[k] >> 4];
    text += digits[bytes[k] & 15];
  }
  return text;
}

// The file's Authenticode digests, each computed once when a signature first names its
// algorithm (a nested signature usually names the other one): a setup can be a gigabyte.
struct FileDigests {
  const PeImage& image;
  bool computed[2] = {false, false};
  uint8_t digest[2][kMaxDigestBytes] = {};

  const uint8_t* Of(DigestAlgorithm algorithm) {
    int k = algorithm == DIGEST_SHA1 ? 0 : 1;
    if (!computed[k] && !AuthenticodeImageDigest(image, algorithm, digest[k])) return nullptr;
    computed[k] = true;
    return digest[k];
  }
};

// Checks one signature and those nested in it; `name` says which in messages ("the
// signature", "the nested signature at byte 1478").
AuthenticodeResult CheckSignature(FileDigests* file, const AuthenticodeSignature& signature,
                                  const std::string& name, std::string* problem) {
  const uint8_t* digest = file->Of(signature.file_algorithm);
  if (digest == nullptr) {
    *problem = "the certificate table lies among the program's headers";
    return AUTHENTICODE_UNREADABLE;
  }
  size_t size = DigestSize(signature.file_algorithm);
  if (memcmp(digest, signature.file_digest.data(), size) != 0) {
    *problem = std::string("its ") + DigestName(signature.file_algorithm) +
               " Authenticode digest is " + Hex(digest, size) + ", but " + name + " names " +
               Hex(signature.file_digest.data(), size);
    return AUTHENTICODE_MISMATCH;
  }
  std::vector<uint8_t> content = DigestOf(signature.signer_algorithm, signature.signed_content,
                                          signature.signed_content_size);
  if (content != signature.message_digest) {
    *problem = "the signer's messageDigest in " + name + " is " +
               Hex(signature.message_digest.data(), signature.message_digest.size()) +
               ", but the " + DigestName(signature.signer_algorithm) +
               " digest of its signed content is " + Hex(content.data(), content.size());
    return AUTHENTICODE_MISMATCH;
  }
  for (const AuthenticodeSignature& nested : signature.nested) {
    std::string nested_name = "the nested signature at byte " + std::to_string(nested.offset);
    AuthenticodeResult result = CheckSignature(file, nested, nested_name, problem);
    if (result != AUTHENTICODE_OK) return result;
  }
  return AUTHENTICODE_OK;
}

}  // namespace

AuthenticodeResult ReadAuthenticodeSignature(const uint8_t* der, size_t size,
                                             AuthenticodeSignature* signature,
                                             std::string* problem) {
  DerReader reader = DerOver(der, size);
  return ReadContentInfo(&reader, 0, signature, problem);
}

bool AuthenticodeImageDigest(const PeImage& image, DigestAlgorithm algorithm, uint8_t* out) {
  uint64_t checksum = (uint64_t)image.optional + kOptCheckSum;
  uint64_t entry = DirectoryField(image, kCertificateDirectory);
  uint64_t table = DirectoryAddress(image, kCertificateDirectory);
  if (checksum + 4 > entry || entry + kDirectoryEntryBytes > table || table > image.size) {
    return false;
  }
  Digester digester;
  StartDigest(algorithm, &digester);
  AddToDigest(&digester, image.bytes, (size_t)checksum);
  AddToDigest(&digester, image.bytes + checksum + 4, (size_t)(entry - checksum - 4));
  AddToDigest(&digester, image.bytes + entry + kDirectoryEntryBytes,
              (size_t)(table - entry - kDirectoryEntryBytes));
  FinishDigest(&digester, out);
  return true;
}

AuthenticodeResult CheckAuthenticodeDigests(const PeImage& image, std::string* problem) {
  uint64_t table = DirectoryAddress(image, kCertificateDirectory);
  uint64_t table_size = DirectorySize(image, kCertificateDirectory);
  if (table_size < kCertificateHeaderBytes || table + table_size > image.size) {
    *problem = "the certificate table runs past the end of the file";
    return AUTHENTICODE_UNREADABLE;
  }
  uint32_t length = PeUint32(image, table);
  if (length < kCertificateHeaderBytes || length > table_size) {
    *problem = "the certificate entry's length " + std::to_string(length) +
               " does not fit the certificate table (" + std::to_string(table_size) + " bytes)";
    return AUTHENTICODE_UNREADABLE;
  }
  AuthenticodeSignature signature;
  AuthenticodeResult result =
      ReadAuthenticodeSignature(image.bytes + table + kCertificateHeaderBytes,
                                length - kCertificateHeaderBytes, &signature, problem);
  if (result != AUTHENTICODE_OK) return result;
  FileDigests file{image};
  result = CheckSignature(&file, signature, "the signature", problem);
  if (result != AUTHENTICODE_OK) return result;
  uint64_t after = image.size - table - table_size;
  if (after > 0) {
    *problem = std::to_string(after) + " bytes follow the certificate table, where no " +
               "signature covers them";
    return AUTHENTICODE_MISMATCH;
  }
  return AUTHENTICODE_OK;
}
