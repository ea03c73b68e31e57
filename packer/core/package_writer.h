// Writing the installation package's bytes. Portable C++: no platform calls, explicit
// little-endian integers and UTF-16LE strings, so the same code builds for any host.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string>
#include <vector>

// One file of the product, in package order.
struct PackageEntry {
  uint16_t flags = 0;
  std::string name;  // ANSI bytes, relative to the installation folder
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

// The exact size of the package when entry i's content has `content_sizes[i]` bytes.
// `content_sizes` has one size per entry.
uint64_t PackageSize(const PackageContents& contents,
                     const std::vector<uint32_t>& content_sizes);

// Where a streamed package goes, in order: the package's own bytes (header, folder list,
// record heads, end marker) through Put, each entry's content through CopyContent.
struct PackageStreamSink {
  // Takes `count` of the package's own bytes. Returns false to stop the stream.
  virtual bool Put(const uint8_t* bytes, size_t count) = 0;
  // Delivers entry `index`'s `size` content bytes. Returns false to stop the stream.
  virtual bool CopyContent(size_t index, uint32_t size) = 0;

 protected:
  ~PackageStreamSink() = default;
};

// Streams the package of PackageSize(contents, content_sizes) bytes into `sink`, so no
// part of it needs to be held whole. The caller has checked every length (strings at most
// 31 units, folder names 1..255 bytes, names without NUL, contents below 4 GiB); the writer
// cuts nothing. Returns false as soon as the sink does.
bool StreamPackage(const PackageContents& contents, const std::vector<uint32_t>& content_sizes,
                   PackageStreamSink& sink);
