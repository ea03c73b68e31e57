// A bounded reader of DER (the ASN.1 encoding that signatures are written in): one
// element after another inside a span of bytes, every length checked against the bytes the
// span holds, so a damaged or hostile signature is refused with a message, never read past.
// Only what the sign step's check needs: single-byte tags and definite lengths of up to
// four bytes. Portable C++, no platform calls.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

// Tags of the universal types and context-specific constructed tags that signatures use.
constexpr uint8_t kDerInteger = 0x02;
constexpr uint8_t kDerOctetString = 0x04;
constexpr uint8_t kDerNull = 0x05;
constexpr uint8_t kDerObjectIdentifier = 0x06;
constexpr uint8_t kDerSequence = 0x30;
constexpr uint8_t kDerSet = 0x31;
constexpr uint8_t kDerContext0 = 0xA0;  // [0], constructed
constexpr uint8_t kDerContext1 = 0xA1;  // [1], constructed

// One element: its tag, where it starts (the tag byte) and where its contents are.
struct DerElement {
  uint8_t tag = 0;
  const uint8_t* start = nullptr;
  const uint8_t* contents = nullptr;
  size_t length = 0;  // of the contents
};

// The elements still to read in a span. `origin` is where the whole structure starts, so
// that messages can say at which byte a problem is.
struct DerReader {
  const uint8_t* origin = nullptr;
  const uint8_t* at = nullptr;
  size_t left = 0;
};

// A reader over the `size` bytes at `bytes`, the whole structure.
DerReader DerOver(const uint8_t* bytes, size_t size);
// A reader over the contents of `element`, which `outer` read.
DerReader DerInside(const DerReader& outer, const DerElement& element);

// Whether every element of the reader's span has been read.
bool DerAtEnd(const DerReader& reader);

// Reads the next element of any tag. Returns false with a message naming `what` (such as
// "the signer's digest algorithm") when none is left or it is malformed: a tag of several
// bytes, an indefinite length, a length of more than four bytes, or one that runs past the
// span.
bool ReadDerElement(DerReader* reader, const char* what, DerElement* element, std::string* problem);

// Reads the next element, which must have `tag`. Returns false with a message otherwise.
bool ExpectDerElement(DerReader* reader, uint8_t tag, const char* what, DerElement* element,
                      std::string* problem);

// Whether the next element has `tag` (false at the end); reads nothing.
bool DerNextIs(const DerReader& reader, uint8_t tag);

// Where `element` starts, as a byte offset from the reader's origin.
size_t DerOffset(const DerReader& reader, const DerElement& element);

// Whether the object identifier `element` holds exactly the `size` encoded bytes `encoded`
// (its contents, without tag and length).
bool DerIsObjectIdentifier(const DerElement& element, const uint8_t* encoded, size_t size);

// The object identifier `element` holds in dotted form ("1.2.840.113549.1.7.2"), for
// messages; "(malformed)" when its contents are no valid identifier.
std::string DerObjectIdentifierText(const DerElement& element);
