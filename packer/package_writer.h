// Writing the installation package's bytes. Portable C++: no platform calls, explicit
// little-endian integers and UTF-16LE strings, so the same code builds for any host.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <functional>
#include <string>
#include <vector>

// One file of the product, in package order.
struct PackageEntry {
  uint16_t flags = 0;
  std::string name;               // ANSI bytes, relative to the installation folder
  std::vector<uint8_t> data;      // the content, when it is held in memory
};

// Everything a package holds. Strings are UTF-16 code units.
struct PackageContents {
  std::u16string product_name;
  std::u16string product_version;
  std::u16string window_class;
  uint8_t allow_run_once = 0;
  uint8_t log_executables = 0;
  uint8_t default_desktop = 0;
  uint8_t default_startup = 0;
  uint8_t default_programs = 0;
  uint8_t default_launch = 0;
  std::vector<std::string> folders;  // ANSI bytes, parents before children
  std::vector<PackageEntry> entries;
};

// Appends the package's bytes to `out`: header (header_size 204), folder list, entry
// records, end marker. The caller has checked every length (strings at most 31 units,
// folder names 1..255 bytes, names without NUL, contents below 4 GiB); the writer cuts
// nothing.
void WritePackage(const PackageContents& contents, std::vector<uint8_t>& out);

// The exact size WritePackage will produce, for refusing oversized products up front.
uint64_t PackageSize(const PackageContents& contents);

// Puts the `size` content bytes of entry `index` at `out`. Returns false when they cannot
// be had (the writer then stops and returns false too).
using ContentSource = std::function<bool(size_t index, uint8_t* out, uint32_t size)>;

// The exact size of the package when entry i's content has `content_sizes[i]` bytes
// (the entries' `data` are ignored). `content_sizes` has one size per entry.
uint64_t PackageSize(const PackageContents& contents,
                     const std::vector<uint32_t>& content_sizes);

// Receives the package's own bytes (header, folder list, record heads, end marker) in order.
using BytesSink = std::function<bool(const uint8_t* bytes, size_t size)>;

// Delivers entry `index`'s `size` content bytes to the same destination as the sink, in
// order with the sink's bytes. Returns false when they cannot be had.
using ContentCopier = std::function<bool(size_t index, uint32_t size)>;

// Streams the package of PackageSize(contents, content_sizes) bytes: the layout through
// `put`, each entry's content through `copy`, so no part of it needs to be held whole.
// Returns false as soon as either fails.
bool StreamPackage(const PackageContents& contents, const std::vector<uint32_t>& content_sizes,
                   const BytesSink& put, const ContentCopier& copy);

// Writes the package into `out`, which holds exactly PackageSize(contents, content_sizes)
// bytes; each entry's content is put in place by `source`, so large products are held in
// memory once. Returns false as soon as `source` fails.
bool WritePackageInto(const PackageContents& contents,
                      const std::vector<uint32_t>& content_sizes, const ContentSource& source,
                      uint8_t* out);
