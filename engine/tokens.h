// Product tokens in generic texts: "#N" (product name), "#V" (product version).
#pragma once

// Rewrites the NUL-terminated `buffer` in place, replacing "#N" and "#V" by the package
// header's name and version, "##" by "#", and dropping "#" with the character after it
// (a trailing "#" ends the text). `capacity` is the buffer's size in units, terminator
// included; the result is cut to capacity - 1 characters. Single pass: a "#" inside a
// replacement stays literal. Capacity 0 does nothing. Needs a located package.
void ExpandTokens(wchar_t* buffer, unsigned capacity);

// The same expansion with explicit replacement values, for callers and tests that have
// no package view.
void ExpandTokensWith(wchar_t* buffer, unsigned capacity, const wchar_t* product_name,
                      const wchar_t* product_version);
