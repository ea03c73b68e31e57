// Text conversions the packing tool needs, written out by hand so that they behave the
// same on every host: UTF-8 decoding, UTF-16 encoding, and the Windows-1252 code page
// that package names are stored in.
#pragma once

#include <stdint.h>
#include <string>

// Decodes UTF-8 into code points. Returns false on malformed input (overlong forms,
// surrogates, values above U+10FFFF, cut sequences).
bool DecodeUtf8(const std::string& text, std::u32string* code_points);

// Encodes code points as UTF-8 (for messages).
std::string EncodeUtf8(const std::u32string& code_points);

// Encodes code points as UTF-16 units (surrogate pairs above U+FFFF).
std::u16string EncodeUtf16(const std::u32string& code_points);

// The Windows-1252 byte of `code_point`. Returns false when the code page has none
// (characters above U+00FF other than the 27 in 0x80..0x9F, and its 5 unassigned bytes).
bool Windows1252Byte(char32_t code_point, uint8_t* byte);

// The code point of a Windows-1252 byte (unassigned bytes map to themselves).
char32_t Windows1252CodePoint(uint8_t byte);

// UTF-16 code units (as written into package headers) back to UTF-8, for listings.
std::string Utf16ToUtf8(const std::u16string& units);

// `utf8` with every character that could move the terminal's cursor, start an escape
// sequence or reorder a line (C0 and C1 controls, DEL, line and paragraph separators, bidi
// overrides and isolates) written as "<U+001B>", so a listing shows what a name holds.
std::string EscapeControls(const std::string& utf8);
