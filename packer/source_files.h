// The packing tool's access to the publisher's files on Windows: the manifest's text,
// what a source path is, and copying a source into the setup executable.
#pragma once

#include <windows.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "packer/manifest.h"

// Reads the whole file `path` into `text`. Returns false with a message in `error`.
bool ReadTextFile(const std::wstring& path, std::string* text, std::string* error);

// What `path` (UTF-8) is on the drive.
SourceInfo LookUpSource(const std::string& path);

// Copies exactly `size` bytes of the file `path` (UTF-8) to `output` at its position,
// through `buffer` (reused between calls). Returns false with a message in `error` when the
// file cannot be read, no longer has `size` bytes, or the write fails.
bool CopySourceTo(const std::string& path, uint32_t size, HANDLE output,
                  std::vector<uint8_t>* buffer, std::string* error);
