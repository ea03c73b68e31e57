#include "package/package_reader.h"

DWORD ReadPackageUint32(const BYTE* p) {
  return (DWORD)p[0] | ((DWORD)p[1] << 8) | ((DWORD)p[2] << 16) | ((DWORD)p[3] << 24);
}

WORD ReadPackageUint16(const BYTE* p) { return (WORD)(p[0] | (p[1] << 8)); }

namespace {

bool IsStringFieldTerminated(const BYTE* field) {
  for (DWORD unit = 0; unit < kHeaderStringUnits; ++unit) {
    if (ReadPackageUint16(field + 2 * unit) == 0) return true;
  }
  return false;
}

}  // namespace

bool IsHeaderStringSafe(const BYTE* field) {
  unsigned length = 0;
  WORD last = 0;
  for (WORD unit; (unit = ReadPackageUint16(field + 2 * length)) != 0; ++length) {
    if (unit < 0x20 || unit == 0x7F) return false;
    for (const char* reserved = "\\/:*?\"<>|#"; *reserved != 0; ++reserved) {
      if (unit == (WORD)*reserved) return false;
    }
    last = unit;
  }
  // A name made of dots alone ends with a dot, so "." and ".." fall under the last rule.
  return last != '.' && last != ' ';
}

bool IsPackageHeaderSound(const BYTE* resource, DWORD size) {
  if (resource == NULL || size < kStoredHeaderSize) return false;
  if (ReadPackageUint32(resource + kHeaderSizeOffset) > size) return false;
  return IsStringFieldTerminated(resource + kProductNameOffset) &&
         IsStringFieldTerminated(resource + kProductVersionOffset) &&
         IsStringFieldTerminated(resource + kWindowClassOffset);
}

PackageReadResult ParseFolderName(const BYTE* p, const BYTE* end, const char** name,
                                  unsigned* length, const BYTE** next) {
  if (p >= end) return PACKAGE_READ_MALFORMED;
  unsigned count = *p;
  if (count == 0) {
    *next = p + 1;
    return PACKAGE_READ_END;
  }
  if ((DWORD)(end - (p + 1)) < count) return PACKAGE_READ_MALFORMED;
  *name = (const char*)(p + 1);
  *length = count;
  *next = p + 1 + count;
  return PACKAGE_READ_ITEM;
}

PackageReadResult ParseEntry(const BYTE* p, const BYTE* end, wchar_t* name_out,
                             unsigned name_capacity, const BYTE** data_out, DWORD* size_out,
                             DWORD* flags_out, const BYTE** next) {
  if (p >= end || end - p < 2) return PACKAGE_READ_MALFORMED;
  WORD flags = ReadPackageUint16(p);
  if (flags == ENTRY_END) return PACKAGE_READ_END;
  const BYTE* name = p + 2;
  // The terminator must lie inside the package and the name must fit the buffer.
  const BYTE* terminator = name;
  while (terminator < end && *terminator != 0) {
    if ((unsigned)(terminator - name) + 1 >= name_capacity) return PACKAGE_READ_MALFORMED;
    ++terminator;
  }
  if (terminator >= end) return PACKAGE_READ_MALFORMED;
  const BYTE* size_field = terminator + 1;
  if (end - size_field < 4) return PACKAGE_READ_MALFORMED;
  DWORD size = ReadPackageUint32(size_field);
  const BYTE* data = size_field + 4;
  if ((DWORD)(end - data) < size) return PACKAGE_READ_MALFORMED;

  // Every byte, the terminator included, becomes exactly one UTF-16 unit.
  for (const BYTE* byte = name; byte <= terminator; ++byte) {
    if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, (LPCSTR)byte, 1, name_out, 1) != 1) {
      *name_out = (wchar_t)*byte;
    }
    ++name_out;
  }
  *flags_out = flags;
  *data_out = data;
  *size_out = size;
  *next = data + size;
  return PACKAGE_READ_ITEM;
}
