// The packing tool's access to files on the host it runs on: Windows for pack.exe
// (host_files_windows.cpp), POSIX for the native pack (host_files_posix.cpp). Paths are
// UTF-8 and may use "/" or the host's own separator; messages carry the path as given and
// the system's own text for what went wrong.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "packer/manifest.h"

// An open file of the host (a HANDLE or a file descriptor).
using FileHandle = intptr_t;
constexpr FileHandle kNoFile = -1;

// Reads the whole file `path` (at most `max_bytes`) into `bytes`. `what` names it in
// messages ("the manifest"). Returns false with a message in `error`.
bool ReadWholeFile(const std::string& path, uint64_t max_bytes, const char* what,
                   std::vector<uint8_t>* bytes, std::string* error);

// What `path` is on the drive (following links).
SourceInfo LookUpSource(const std::string& path);

// Lists the names in the folder `path` without following links: each with its kind and,
// for files, size. Returns false with the system's text in `error`. A FolderLister.
bool ListFolder(const std::string& path, std::vector<FolderItem>* items, std::string* error);

// Creates a new file `stem` + ".partial-" + eight random hexadecimal digits for writing,
// exclusively (never a file or link already there), readable by its owner only, and
// returns its name in `path`. Returns kNoFile with a message.
FileHandle CreateTemporaryFile(const std::string& stem, std::string* path, std::string* error);

// Writes all `size` bytes at `bytes` to `file`. Returns false with a message in `error`.
bool WriteAll(FileHandle file, const void* bytes, size_t size, std::string* error);

// How many bytes have been written to `file` so far.
uint64_t OutputPosition(FileHandle file);

// Closes `file`, written as `path`. Returns false with a message when the last writes fail.
bool CloseOutputFile(FileHandle file, const std::string& path, std::string* error);

// Copies exactly `size` bytes of the file `path` to `output` at its position, through
// `buffer` (reused between calls). Returns false with a message in `error` when the file
// cannot be read, no longer has `size` bytes, or the write fails.
bool CopySourceTo(const std::string& path, uint32_t size, FileHandle output,
                  std::vector<uint8_t>* buffer, std::string* error);

// Gives the temporary file `from` the usual mode of a new file and renames it to `to`,
// replacing `to`. Returns false with a message.
bool PublishFile(const std::string& from, const std::string& to, std::string* error);

// Whether `a` and `b` both exist and are the same file (through links or other names too).
bool IsSameFile(const std::string& a, const std::string& b);

// Deletes `path` if it is there; the result is ignored (clean-up after a failure).
void RemoveFileQuietly(const std::string& path);

// A whole file mapped for reading; `bytes` is null for an empty file.
struct MappedFile {
  const uint8_t* bytes = nullptr;
  uint64_t size = 0;
  intptr_t file = -1, mapping = -1;  // the host's handles, for UnmapFile
};

// Maps `path` for reading. Returns false with a message in `error`.
bool MapWholeFile(const std::string& path, MappedFile* mapped, std::string* error);
void UnmapFile(MappedFile* mapped);

// The folder of the running program, ending in a separator.
std::string ProgramFolder();
