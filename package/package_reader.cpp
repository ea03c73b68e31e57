#include "package/package_reader.h"

#include "package/little_endian.h"

namespace {

bool IsStringFieldTerminated(const uint8_t* field) {
  for (uint32_t unit = 0; unit < kHeaderStringUnits; ++unit) {
    if (ReadLe16(field + 2 * unit) == 0) return true;
  }
  return false;
}

}  // namespace

bool IsHeaderStringSafe(const uint8_t* field) {
  unsigned length = 0;
  uint16_t last = 0;
  for (uint16_t unit; (unit = ReadLe16(field + 2 * length)) != 0; ++length) {
    if (unit < 0x20 || unit == 0x7F || IsListedCharacter(unit, kLogSeparatorCharacters) ||
        IsListedCharacter(unit, kFileNameForbiddenCharacters)) {
      return false;
    }
    last = unit;
  }
  // A name made of dots alone ends with a dot, so "." and ".." fall under the last rule.
  return last != '.' && last != ' ';
}

bool IsWindowClassSafe(const uint8_t* field) {
  // An empty class is a product without a main window to look for.
  for (unsigned length = 0;; ++length) {
    uint16_t unit = ReadLe16(field + 2 * length);
    if (unit == 0) return true;
    if (unit < 0x20 || unit == 0x7F || IsListedCharacter(unit, kLogSeparatorCharacters)) {
      return false;
    }
  }
}

bool IsPackageHeaderSound(const uint8_t* resource, uint32_t size) {
  if (resource == nullptr || size < kStoredHeaderSize) return false;
  if (ReadLe32(resource + kHeaderSizeOffset) > size) return false;
  return IsStringFieldTerminated(resource + kProductNameOffset) &&
         IsStringFieldTerminated(resource + kProductVersionOffset) &&
         IsStringFieldTerminated(resource + kWindowClassOffset);
}

PackageReadResult ParseFolderName(const uint8_t* p, const uint8_t* end, const char** name,
                                  unsigned* length, const uint8_t** next) {
  if (p >= end) return PACKAGE_READ_MALFORMED;
  unsigned count = *p;
  if (count == 0) {
    *next = p + 1;
    return PACKAGE_READ_END;
  }
  if ((uint32_t)(end - (p + 1)) < count) return PACKAGE_READ_MALFORMED;
  *name = (const char*)(p + 1);
  *length = count;
  *next = p + 1 + count;
  return PACKAGE_READ_ITEM;
}

PackageReadResult ParseEntryRecord(const uint8_t* p, const uint8_t* end, unsigned name_capacity,
                                   EntryRecordView* record, const uint8_t** next) {
  if (p >= end || end - p < 2) return PACKAGE_READ_MALFORMED;
  uint16_t flags = ReadLe16(p);
  if (flags == ENTRY_END) return PACKAGE_READ_END;
  const uint8_t* name = p + 2;
  // The terminator must lie inside the package and the name must fit the buffer.
  const uint8_t* terminator = name;
  while (terminator < end && *terminator != 0) {
    if ((unsigned)(terminator - name) + 1 >= name_capacity) return PACKAGE_READ_MALFORMED;
    ++terminator;
  }
  if (terminator >= end) return PACKAGE_READ_MALFORMED;
  const uint8_t* size_field = terminator + 1;
  if (end - size_field < 4) return PACKAGE_READ_MALFORMED;
  uint32_t size = ReadLe32(size_field);
  const uint8_t* data = size_field + 4;
  if ((uint32_t)(end - data) < size) return PACKAGE_READ_MALFORMED;

  record->flags = flags;
  record->name = (const char*)name;
  record->name_length = (unsigned)(terminator - name);
  record->data = data;
  record->size = size;
  *next = data + size;
  return PACKAGE_READ_ITEM;
}
