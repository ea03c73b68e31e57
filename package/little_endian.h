// Little-endian integers at unaligned addresses: the package layout, the executable format,
// icon files and version resources all store their numbers this way. One home for the
// package reader and the packing tool, so the writer and the reader cannot disagree on the
// byte order. Header-only and free of the standard library, so the setup stub pays only for
// what it calls.
#pragma once

#include <stdint.h>

// The 16-bit value stored at `p` (2 bytes, low byte first).
inline uint16_t ReadLe16(const uint8_t* p) { return (uint16_t)(p[0] | (p[1] << 8)); }

// The 32-bit value stored at `p` (4 bytes, low byte first).
inline uint32_t ReadLe32(const uint8_t* p) {
  return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

// Stores the low 16 bits of `value` at `out` (2 bytes, low byte first). Returns the byte
// after them.
inline uint8_t* WriteLe16(uint8_t* out, uint32_t value) {
  out[0] = (uint8_t)value;
  out[1] = (uint8_t)(value >> 8);
  return out + 2;
}

// Stores `value` at `out` (4 bytes, low byte first). Returns the byte after them.
inline uint8_t* WriteLe32(uint8_t* out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) *out++ = (uint8_t)(value >> shift);
  return out;
}

// Appends the low 16 bits of `value` to the byte container `out` (a std::vector<uint8_t>),
// low byte first.
template <typename Bytes>
void AppendLe16(Bytes& out, uint32_t value) {
  out.push_back((uint8_t)value);
  out.push_back((uint8_t)(value >> 8));
}

// Appends `value` to the byte container `out`, low byte first.
template <typename Bytes>
void AppendLe32(Bytes& out, uint32_t value) {
  AppendLe16(out, value & 0xFFFF);
  AppendLe16(out, value >> 16);
}
