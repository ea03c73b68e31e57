// Reading the installation package from untrusted bytes: the header check and the bounded
// readers of folder names and entry records. No process-wide state and no fatal errors:
// the installer's package view and the packing tool's listing both stand on these.
#pragma once

#include <windows.h>
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
bool IsPackageHeaderSound(const BYTE* resource, DWORD size);

// Checks that the header string `field` (UTF-16LE, terminated within its field, as
// IsPackageHeaderSound checked) can name a folder of its own and stand in a log header:
// none of \ / : * ? " < > | #, no control character, not "." or "..", and no trailing dot
// or space (which the file system would drop). Returns false otherwise.
bool IsHeaderStringSafe(const BYTE* field);

// Reads the folder name at `p` (a length byte, then the name). On PACKAGE_READ_ITEM sets
// `name`/`length` to the name's bytes inside the package and `*next` to the next name; on
// PACKAGE_READ_END `*next` is the first entry record. Never reads at or beyond `end`.
PackageReadResult ParseFolderName(const BYTE* p, const BYTE* end, const char** name,
                                  unsigned* length, const BYTE** next);

// Reads the entry record at `p`. On PACKAGE_READ_ITEM the name is converted byte by byte
// through the ANSI code page into `name_out` (capacity `name_capacity` units, terminated),
// `*data_out` points at the data inside the package, and `*next` at the next record. On
// PACKAGE_READ_END (flags 0xFFFF) nothing is written. Never reads at or beyond `end`.
PackageReadResult ParseEntry(const BYTE* p, const BYTE* end, wchar_t* name_out,
                             unsigned name_capacity, const BYTE** data_out, DWORD* size_out,
                             DWORD* flags_out, const BYTE** next);

// The little-endian integers of the layout, read unaligned.
DWORD ReadPackageUint32(const BYTE* p);
WORD ReadPackageUint16(const BYTE* p);
