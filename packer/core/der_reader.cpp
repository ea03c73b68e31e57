#include "packer/core/der_reader.h"

#include <string.h>

namespace {

constexpr uint8_t kTagNumberMask = 0x1F;  // all ones: the tag number follows in more bytes
constexpr uint8_t kLongLength = 0x80;     // the low bits count the length's bytes; 0: indefinite
constexpr size_t kMaxLengthBytes = 4;
// Longer identifiers are no algorithm or content type that signatures name.
constexpr size_t kMaxIdentifierBytes = 64;

std::string Hex2(uint8_t value) {
  const char* digits = "0123456789ABCDEF";
  return std::string("0x") + digits[value >> 4] + digits[value & 15];
}

std::string At(const DerReader& reader, const uint8_t* where) {
  return " at byte " + std::to_string((size_t)(where - reader.origin));
}

}  // namespace

DerReader DerOver(const uint8_t* bytes, size_t size) {
  DerReader reader;
  reader.origin = bytes;
  reader.at = bytes;
  reader.left = size;
  return reader;
}

DerReader DerInside(const DerReader& outer, const DerElement& element) {
  DerReader reader;
  reader.origin = outer.origin;
  reader.at = element.contents;
  reader.left = element.length;
  return reader;
}

bool DerAtEnd(const DerReader& reader) { return reader.left == 0; }

bool ReadDerElement(DerReader* reader, const char* what, DerElement* element,
                    std::string* problem) {
  const uint8_t* start = reader->at;
  size_t left = reader->left;
  if (left < 2) {
    *problem = std::string(what) + " is missing: the element that holds it ends" +
               At(*reader, start + left);
    return false;
  }
  uint8_t tag = start[0];
  if ((tag & kTagNumberMask) == kTagNumberMask) {
    *problem = std::string(what) + At(*reader, start) + " has a tag of several bytes, which " +
               "signatures do not use";
    return false;
  }
  size_t header = 2;
  size_t length = start[1];
  if (length == kLongLength) {
    *problem = std::string(what) + At(*reader, start) +
               " has an indefinite length, which DER does not allow";
    return false;
  }
  if (length > kLongLength) {
    size_t count = length & ~(size_t)kLongLength;
    if (count > kMaxLengthBytes) {
      *problem = std::string(what) + At(*reader, start) + " has a length of " +
                 std::to_string(count) + " bytes; lengths of more than 4 bytes are not read";
      return false;
    }
    if (left - header < count) {
      *problem = std::string(what) + At(*reader, start) + " is cut off inside its length";
      return false;
    }
    length = 0;
    for (size_t k = 0; k < count; ++k) length = length << 8 | start[header + k];
    header += count;
  }
  if (length > left - header) {
    *problem = std::string(what) + At(*reader, start) + " says it has " + std::to_string(length) +
               " bytes, but only " + std::to_string(left - header) + " are left for it";
    return false;
  }
  element->tag = tag;
  element->start = start;
  element->contents = start + header;
  element->length = length;
  reader->at = start + header + length;
  reader->left = left - header - length;
  return true;
}

bool ExpectDerElement(DerReader* reader, uint8_t tag, const char* what, DerElement* element,
                      std::string* problem) {
  const uint8_t* start = reader->at;
  if (!ReadDerElement(reader, what, element, problem)) return false;
  if (element->tag == tag) return true;
  *problem = std::string(what) + At(*reader, start) + " has tag " + Hex2(element->tag) +
             " where tag " + Hex2(tag) + " belongs";
  return false;
}

bool DerNextIs(const DerReader& reader, uint8_t tag) {
  return reader.left > 0 && reader.at[0] == tag;
}

size_t DerOffset(const DerReader& reader, const DerElement& element) {
  return (size_t)(element.start - reader.origin);
}

bool DerIsObjectIdentifier(const DerElement& element, const uint8_t* encoded, size_t size) {
  return element.tag == kDerObjectIdentifier && element.length == size &&
         memcmp(element.contents, encoded, size) == 0;
}

std::string DerObjectIdentifierText(const DerElement& element) {
  if (element.length == 0 || element.length > kMaxIdentifierBytes) return "(malformed)";
  std::string text;
  uint64_t arc = 0;
  bool first = true;
  for (size_t k = 0; k < element.length; ++k) {
    uint8_t byte = element.contents[k];
    if (arc == 0 && byte == 0x80) return "(malformed)";  // a padded arc
    if (arc >> 56 != 0) return "(malformed)";            // too large for the text
    arc = arc << 7 | (byte & 0x7F);
    if (byte & 0x80) continue;
    if (first) {
      // The first encoded arc holds the first two: 40 * first + second.
      uint64_t top = arc < 40 ? 0 : arc < 80 ? 1 : 2;
      text = std::to_string(top) + "." + std::to_string(arc - 40 * top);
      first = false;
    } else {
      text += "." + std::to_string(arc);
    }
    arc = 0;
  }
  if (element.contents[element.length - 1] & 0x80) return "(malformed)";  // cut inside an arc
  return text;
}
