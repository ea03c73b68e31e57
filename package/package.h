// The installation package as the installer reads it: the process-wide package view over
// the mapped resource and the bounded record readers every pass goes through.
#pragma once

#include <windows.h>

#include "common/bounded_text.h"
#include "package/package_layout.h"
#include "package/package_reader.h"

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

// Finds resource 9999 (RT_RCDATA) of `module` (a module loaded as an image), maps it and
// fills g_package. A missing or unsound package is fatal ("Could not extract installation
// data!"): one that runs past the mapped image, or whose header strings fail
// IsHeaderStringSafe.
void LocatePackage(HMODULE module);

// Reads the folder name at `p`: sets `name`/`length` to its bytes inside the package and
// returns the address after it. At the list's terminating zero byte `*length` is 0 and the
// result is the first entry record. A name that runs past the package is fatal.
const BYTE* ReadFolderName(const BYTE* p, const char** name, unsigned* length);

// Returns the address after the folder list's terminating zero byte. A list that runs
// past the package is fatal.
const BYTE* SkipFolderList(const BYTE* p);

// Reads the entry record at `p` (through ParseEntryRecord, up to g_package.end) into
// `name_out` (kPathCapacity units), its name converted byte by byte through the ANSI code
// page: every byte, the terminator included, becomes exactly one UTF-16 unit. Returns the
// next record, or NULL at the end marker (outputs then keep their previous values). A
// record that runs past the package or overflows the name buffer is fatal.
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
