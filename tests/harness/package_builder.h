// Building test installers from C++: describe a package in code, turn it into bytes with
// the packing tool's own writer, and store those bytes as resource RT_RCDATA 9999 in a
// copy of a program from build/bin (a probe, the setup stub). Typical use:
//
//   ScratchFolder scratch;
//   TestPackageContents contents = TestPackage();
//   AddUninstallerEntry(contents, L"uninstall.exe");
//   AddEntry(contents, ENTRY_LAUNCH, "bin\\app.exe", "content");
//   contents.folders.push_back("bin");
//   ASSERT_TRUE(BuildInstaller(L"setup-stub.exe", scratch / L"setup.exe", contents));
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

#include "package/package_layout.h"
#include "packer/core/package_writer.h"

// A package a test describes: what the packing tool writes, and beside it each entry's
// content held in memory, one per entry in entry order (as the packer keeps each entry's
// source beside it). AddEntry and AddUninstallerEntry keep the two in step.
struct TestPackageContents : PackageContents {
  std::vector<std::vector<uint8_t>> data;
};

// A package named "Test Product", version "1.0", window class "TestProductWindow", every
// option byte 0, no folders and no entries.
TestPackageContents TestPackage();

// UTF-16 text for the header fields (wchar_t is 16 bits on Windows).
std::u16string U16(const std::wstring& text);

// Appends an entry with `flags`, `name` (ANSI bytes, backslashes) and `content`.
void AddEntry(TestPackageContents& contents, uint16_t flags, const std::string& name,
              const std::string& content);

// Puts the uninstaller entry first: flags 0xFFFE, name "uninstall.exe", content the bytes
// of `program` (a file name in BinDir() or a full path). Adds a test failure when the
// program cannot be read.
void AddUninstallerEntry(TestPackageContents& contents, const std::wstring& program);

// The package's bytes as the packing tool writes them, with every entry's content from
// `data`.
std::vector<uint8_t> PackageBytes(const TestPackageContents& contents);

// Appends PackageBytes(contents) to `out`.
void WritePackage(const TestPackageContents& contents, std::vector<uint8_t>& out);

// The size of PackageBytes(contents).
uint64_t PackageSize(const TestPackageContents& contents);

// Package bytes damaged as a hand edit damages them: `bytes` with `value` stored
// little-endian at `offset`, or with every unit of the 32-unit header string at
// `field_offset` set to "x", leaving it no terminator.
std::vector<uint8_t> WithUint32At(std::vector<uint8_t> bytes, size_t offset, uint32_t value);
std::vector<uint8_t> WithUnterminatedString(std::vector<uint8_t> bytes, size_t field_offset);

// Copies `program` (a file name in BinDir() or a full path) to `output` and stores
// `package` (any bytes, malformed ones too) as resource RT_RCDATA 9999, language neutral.
// Adds a test failure and returns false when it cannot.
bool EmbedPackageBytes(const std::wstring& program, const std::wstring& output,
                       const std::vector<uint8_t>& package);

// PackageBytes followed by EmbedPackageBytes.
bool BuildInstaller(const std::wstring& program, const std::wstring& output,
                    const TestPackageContents& contents);

// The resource RT_RCDATA 9999 of the executable `path`, read back through the loader
// (LoadLibraryExW as a data file). `found` is false when there is none.
struct EmbeddedPackage {
  bool found = false;
  std::vector<uint8_t> bytes;
};
EmbeddedPackage ReadEmbeddedPackage(const std::wstring& path);
