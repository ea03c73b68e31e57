// Reading the installation package from untrusted bytes: the header check and the bounded
// readers of folder names and entry records. Portable byte-level code (no platform calls,
// no process-wide state, no fatal errors): the installer's package view and the packing
// tool's listing, on Windows and on a Linux host, both stand on these. Names come back as
// the stored ANSI bytes; turning them into text is the caller's business.
#pragma once

#include <stdint.h>

#include "package/package_layout.h"

// Outcomes of reading one folder name or entry record from untrusted bytes.
enum PackageReadResult {
  PACKAGE_READ_ITEM,       // a folder name or an entry record was read; outputs are set
  PACKAGE_READ_END,        // the list's terminator or the end marker; outputs untouched
  PACKAGE_READ_MALFORMED,  // the item would run past `end` or overflow a name buffer
};

// Checks that `size` bytes at `resource` hold a package whose header can be trusted: at
// least the stored header's size, header_size inside the resource, every header string
// terminated within its field. Returns false otherwise.
bool IsPackageHeaderSound(const uint8_t* resource, uint32_t size);

// Checks that the header string `field` (UTF-16LE, terminated within its field, as
// IsPackageHeaderSound checked) can name a folder of its own and stand in a log header:
// none of kFileNameForbiddenCharacters or kLogSeparatorCharacters (\ / : * ? " < > | #), no
// control character, not "." or "..", and no trailing dot or space (which the file system
// would drop). Returns false otherwise.
bool IsHeaderStringSafe(const uint8_t* field);

// Checks that the window class `field` (terminated within its field) can stand in a log
// header: none of kLogSeparatorCharacters ("#", "|") and no control character. A class
// names no folder, so the other characters are allowed ("ATL:00A1B2C3"); an empty one is a
// product without a main window, for which no running check is made.
bool IsWindowClassSafe(const uint8_t* field);

// Reads the folder name at `p` (a length byte, then the name). On PACKAGE_READ_ITEM sets
// `name`/`length` to the name's bytes inside the package and `*next` to the next name; on
// PACKAGE_READ_END `*next` is the first entry record. Never reads at or beyond `end`.
PackageReadResult ParseFolderName(const uint8_t* p, const uint8_t* end, const char** name,
                                  unsigned* length, const uint8_t** next);

// One entry record as stored: the name's ANSI bytes (without the terminator) and the
// data, both inside the package.
struct EntryRecordView {
  uint16_t flags;
  const char* name;
  unsigned name_length;
  const uint8_t* data;
  uint32_t size;
};

// Reads the entry record at `p`. On PACKAGE_READ_ITEM fills `record` and sets `*next` to
// the next record; the name with its terminator has at most `name_capacity` bytes, so it
// fits a buffer of that many units once converted byte by byte. On PACKAGE_READ_END
// (flags 0xFFFF) nothing is written. Never reads at or beyond `end`.
PackageReadResult ParseEntryRecord(const uint8_t* p, const uint8_t* end, unsigned name_capacity,
                                   EntryRecordView* record, const uint8_t** next);
