// Writing the installation package's bytes. Portable C++: no platform calls, explicit
// little-endian integers and UTF-16LE strings, so the same code builds for any host.
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string>
#include <vector>

#include "packer/core/package_contents.h"

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
