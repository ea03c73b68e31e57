#include "package/package.h"

#include "engine/fatal_error.h"

PackageView g_package;

namespace {

DWORD ReadUint32(const BYTE* p) {
  return (DWORD)p[0] | ((DWORD)p[1] << 8) | ((DWORD)p[2] << 16) | ((DWORD)p[3] << 24);
}

WORD ReadUint16(const BYTE* p) { return (WORD)(p[0] | (p[1] << 8)); }

bool IsStringFieldTerminated(const BYTE* field) {
  for (DWORD unit = 0; unit < kHeaderStringUnits; ++unit) {
    if (ReadUint16(field + 2 * unit) == 0) return true;
  }
  return false;
}

}  // namespace

bool IsPackageHeaderSound(const BYTE* resource, DWORD size) {
  if (resource == NULL || size < kStoredHeaderSize) return false;
  if (ReadUint32(resource + kHeaderSizeOffset) > size) return false;
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
  WORD flags = ReadUint16(p);
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
  DWORD size = ReadUint32(size_field);
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

void LocatePackage(HMODULE module) {
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(kPackageResourceId), (LPCWSTR)RT_RCDATA);
  if (info == NULL) FatalError(PACKAGE_CORRUPT_MESSAGE);
  DWORD size = SizeofResource(module, info);
  HGLOBAL loaded = LoadResource(module, info);
  const BYTE* resource = loaded ? (const BYTE*)LockResource(loaded) : NULL;
  if (!IsPackageHeaderSound(resource, size)) FatalError(PACKAGE_CORRUPT_MESSAGE);
  DWORD header_size = ReadUint32(resource + kHeaderSizeOffset);
  g_package.header = resource;
  g_package.cursor = resource + header_size;
  g_package.payload_length = size - header_size;
  g_package.end = resource + size;
}

const BYTE* ReadFolderName(const BYTE* p, const char** name, unsigned* length) {
  const BYTE* next = NULL;
  PackageReadResult result = ParseFolderName(p, g_package.end, name, length, &next);
  if (result == PACKAGE_READ_MALFORMED) FatalError(PACKAGE_CORRUPT_MESSAGE);
  if (result == PACKAGE_READ_END) *length = 0;
  return next;
}

const BYTE* SkipFolderList(const BYTE* p) {
  const char* name;
  unsigned length;
  do p = ReadFolderName(p, &name, &length); while (length != 0);
  return p;
}

const BYTE* ReadEntry(const BYTE* p, wchar_t* name_out, const BYTE** data_out,
                      DWORD* size_out, DWORD* flags_out) {
  const BYTE* next = NULL;
  PackageReadResult result =
      ParseEntry(p, g_package.end, name_out, kNameCapacity, data_out, size_out, flags_out, &next);
  if (result == PACKAGE_READ_MALFORMED) FatalError(PACKAGE_CORRUPT_MESSAGE);
  return result == PACKAGE_READ_END ? NULL : next;
}

const wchar_t* PackageProductName() {
  return (const wchar_t*)(g_package.header + kProductNameOffset);
}

const wchar_t* PackageProductVersion() {
  return (const wchar_t*)(g_package.header + kProductVersionOffset);
}

const wchar_t* PackageWindowClass() {
  return (const wchar_t*)(g_package.header + kWindowClassOffset);
}

BYTE PackageOptionByte(DWORD offset) { return g_package.header[offset]; }

const BYTE* PackagePayload() { return g_package.header + ReadUint32(g_package.header); }
