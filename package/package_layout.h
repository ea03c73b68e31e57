// The byte layout of the installation package embedded in the setup executable.
// Plain constants and one character test, no platform calls: the packing tool's portable
// writer and the installer's reader share them, so what one writes the other accepts.
#pragma once

#include <stdint.h>

#include "common/bounded_text.h"

// Resource that carries the package: type RT_RCDATA, this identifier, language neutral.
constexpr int kPackageResourceId = 9999;

// PackageHeader, at offset 0. Every multi-byte integer is little-endian, read unaligned.
constexpr uint32_t kHeaderSizeOffset = 0;          // uint32: offset of the folder list
constexpr uint32_t kProductNameOffset = 4;         // UTF-16LE, 32 units, NUL inside
constexpr uint32_t kProductVersionOffset = 68;     // UTF-16LE, 32 units, NUL inside
constexpr uint32_t kWindowClassOffset = 132;       // UTF-16LE, 32 units, NUL inside
constexpr uint32_t kAllowRunOnceOffset = 196;
constexpr uint32_t kLogExecutablesOffset = 197;
constexpr uint32_t kDefaultDesktopOffset = 198;
constexpr uint32_t kDefaultStartupOffset = 199;
constexpr uint32_t kDefaultProgramsOffset = 200;
constexpr uint32_t kDefaultLaunchOffset = 201;
constexpr uint32_t kReservedOffset = 202;          // 2 bytes, written as zero, never read
constexpr uint32_t kStoredHeaderSize = 204;        // what writers store in header_size

// Each header string holds at most 31 characters so that its terminator fits the field.
constexpr uint32_t kHeaderStringUnits = 32;
constexpr uint32_t kHeaderStringMaxChars = kHeaderStringUnits - 1;

// Characters no header string may hold: the installer's log separates its fields with them.
constexpr char kLogSeparatorCharacters[] = "#|";
// Characters Windows forbids in file and folder names. The product name and version may
// not hold them, since the installer makes folders of them; the window class names no
// folder and may.
constexpr char kFileNameForbiddenCharacters[] = "\\/:*?\"<>";

// Whether the character `c` is one of the NUL-terminated `listed` characters (NUL never is).
constexpr bool IsListedCharacter(uint32_t c, const char* listed) {
  for (; *listed != 0; ++listed) {
    if (c == (uint32_t)(unsigned char)*listed) return true;
  }
  return false;
}

// FolderList: length byte (1..255) + that many ANSI bytes, no terminator; 0 ends it.
constexpr uint32_t kFolderNameMaxBytes = 255;

// Entry records: uint16 flags, ANSI name + NUL, uint32 size, data.
constexpr uint16_t ENTRY_DESKTOP_SHORTCUT = 0x0001;
constexpr uint16_t ENTRY_STARTUP_SHORTCUT = 0x0002;
constexpr uint16_t ENTRY_PROGRAMS_SHORTCUT = 0x0004;
constexpr uint16_t ENTRY_LICENSE_DOCUMENT = 0x0008;
constexpr uint16_t ENTRY_LAUNCH = 0x0010;
constexpr uint16_t ENTRY_SPECIAL = 0x8000;
constexpr uint16_t ENTRY_UNINSTALLER = 0xFFFE;
constexpr uint16_t ENTRY_END = 0xFFFF;

// Masks under which a record counts as the licence document or as launchable: bit 15
// must be clear, so the two special values never count.
constexpr uint16_t kLicenseDocumentMask = ENTRY_SPECIAL | ENTRY_LICENSE_DOCUMENT;
constexpr uint16_t kLaunchMask = ENTRY_SPECIAL | ENTRY_LAUNCH;

// The uninstaller entry's fixed name at the root of the installation folder, as the
// package stores it and as the installer writes it.
#define UNINSTALLER_FILE_NAME "uninstall.exe"

// Entry and folder names end up in path buffers of kPathCapacity units: a name fills one
// with its terminator.
constexpr uint32_t kEntryNameMaxBytes = kPathCapacity - 1;
