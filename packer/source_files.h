// The packing tool's access to the publisher's files on Windows: the manifest's text,
// what a source path is, and reading a source straight into the package buffer.
#pragma once

#include <stdint.h>
#include <string>

#include "packer/manifest.h"

// Reads the whole file `path` into `text`. Returns false with a message in `error`.
bool ReadTextFile(const std::wstring& path, std::string* text, std::string* error);

// What `path` (UTF-8) is on the drive.
SourceInfo LookUpSource(const std::string& path);

// Reads exactly `size` bytes of the file `path` (UTF-8) into `out`. Returns false with a
// message in `error` when the file cannot be read or no longer has `size` bytes.
bool ReadSourceInto(const std::string& path, uint8_t* out, uint32_t size, std::string* error);
