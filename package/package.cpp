#include "package/package.h"

#include "common/fatal_error.h"
#include "package/little_endian.h"

PackageView g_package;

namespace {

// Whether `size` bytes at `resource` lie inside the mapped image of `module`. The size
// comes from the resource tree, which a damaged or hand-made setup can make larger than
// the image: every read of the package stays below its end, so the end must be mapped.
bool LiesInsideImage(HMODULE module, const BYTE* resource, DWORD size) {
  const BYTE* image = (const BYTE*)module;
  const IMAGE_NT_HEADERS* headers =
      (const IMAGE_NT_HEADERS*)(image + ((const IMAGE_DOS_HEADER*)image)->e_lfanew);
  DWORD image_size = headers->OptionalHeader.SizeOfImage;
  return resource >= image && (DWORD)(resource - image) <= image_size &&
         size <= image_size - (DWORD)(resource - image);
}

}  // namespace

void LocatePackage(HMODULE module) {
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(kPackageResourceId), (LPCWSTR)RT_RCDATA);
  if (info == NULL) FatalError(PACKAGE_CORRUPT_MESSAGE);
  DWORD size = SizeofResource(module, info);
  HGLOBAL loaded = LoadResource(module, info);
  const BYTE* resource = loaded ? (const BYTE*)LockResource(loaded) : NULL;
  // Besides a sound header: the package lies inside the image, and the header's strings,
  // which name folders (the default and Run Once folders, the Programs group) and fill the
  // uninstall log's header, hold no path syntax or log delimiter that would lead outside
  // those folders or forge log records.
  if (resource == NULL || !LiesInsideImage(module, resource, size) ||
      !IsPackageHeaderSound(resource, size) ||
      !IsHeaderStringSafe(resource + kProductNameOffset) ||
      !IsHeaderStringSafe(resource + kProductVersionOffset) ||
      !IsWindowClassSafe(resource + kWindowClassOffset)) {
    FatalError(PACKAGE_CORRUPT_MESSAGE);
  }
  DWORD header_size = ReadLe32(resource + kHeaderSizeOffset);
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

namespace {

// Every byte of the name, the terminator included, becomes exactly one UTF-16 unit.
void ConvertEntryName(const EntryRecordView& record, wchar_t* name_out) {
  for (unsigned k = 0; k <= record.name_length; ++k) {
    if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, record.name + k, 1, name_out + k, 1) != 1) {
      name_out[k] = (wchar_t)(BYTE)record.name[k];
    }
  }
}

}  // namespace

const BYTE* ReadEntry(const BYTE* p, wchar_t* name_out, const BYTE** data_out,
                      DWORD* size_out, DWORD* flags_out) {
  EntryRecordView record;
  const BYTE* next = NULL;
  PackageReadResult result = ParseEntryRecord(p, g_package.end, kPathCapacity, &record, &next);
  if (result == PACKAGE_READ_MALFORMED) FatalError(PACKAGE_CORRUPT_MESSAGE);
  if (result == PACKAGE_READ_END) return NULL;
  ConvertEntryName(record, name_out);
  *flags_out = record.flags;
  *data_out = record.data;
  *size_out = record.size;
  return next;
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

const BYTE* PackagePayload() { return g_package.header + ReadLe32(g_package.header); }
