// The installation package as the installer reads it: the process-wide package view over
// the mapped resource and the bounded record readers every pass goes through.
#pragma once

#include <windows.h>
#include "package/package_layout.h"

// Capacity of the buffers that receive entry names (the platform's path limit).
constexpr unsigned kNameCapacity = 260;

// The package view. Set once by LocatePackage when the setup dialog initialises and never
// freed (the resource stays mapped for the life of the process). The install run moves
// `cursor` from the folder list to the first entry record once the folders exist.
struct PackageView {
  const BYTE* header;      // start of the resource: the PackageHeader
  const BYTE* cursor;      // where the install run's passes begin
  DWORD payload_length;    // resource size minus header_size
  const BYTE* end;         // one past the resource's last byte; every read stays below it
};
extern PackageView g_package;

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

// Finds resource 9999 (RT_RCDATA) of `module`, maps it and fills g_package. A missing or
// unsound package is fatal ("Could not extract installation data!").
void LocatePackage(HMODULE module);

// Reads the folder name at `p`: sets `name`/`length` to its bytes inside the package and
// returns the address after it. At the list's terminating zero byte `*length` is 0 and the
// result is the first entry record. A name that runs past the package is fatal.
const BYTE* ReadFolderName(const BYTE* p, const char** name, unsigned* length);

// Returns the address after the folder list's terminating zero byte. A list that runs
// past the package is fatal.
const BYTE* SkipFolderList(const BYTE* p);

// Reads the entry record at `p` into `name_out` (kNameCapacity units). Returns the next
// record, or NULL at the end marker (outputs then keep their previous values). A record
// that runs past the package or overflows the name buffer is fatal.
const BYTE* ReadEntry(const BYTE* p, wchar_t* name_out, const BYTE** data_out,
                      DWORD* size_out, DWORD* flags_out);

// The header fields of the located package. The strings are terminated inside the
// header (LocatePackage checked it) and stay valid for the life of the process.
const wchar_t* PackageProductName();
const wchar_t* PackageProductVersion();
const wchar_t* PackageWindowClass();
BYTE PackageOptionByte(DWORD offset);

// The first byte of the folder list: header + header_size.
const BYTE* PackagePayload();

// The package's fatal message, shared by every reader.
#define PACKAGE_CORRUPT_MESSAGE L"Could not extract installation data!"
