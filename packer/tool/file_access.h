// The packing tool's use of files, the same on every host: what it refuses to read, how a
// temporary output is named and created, and the messages that name the path as given
// with the system's own text for what went wrong. Built over tool/host_files.h.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "packer/tool/host_files.h"

// Reads the whole regular file `path` (at most `max_bytes`) into `bytes`. `what` names it
// in messages ("the manifest"). Returns false with a message in `error`.
bool ReadWholeFile(const std::string& path, uint64_t max_bytes, const char* what,
                   std::vector<uint8_t>* bytes, std::string* error);

// What walks through a folder line's tree hold open between calls: the line's source
// folder, opened by its path once (and then checked against its first listing, unless that
// is the listing being made), and the last folder walked to below it. Whatever the tree's
// depth, no more than these two stay open.
struct HeldFolder {
  FileHandle root = kNoFile;
  std::string root_path;             // the walks' root that `root` was opened for
  FileIdentity root_identity;        // what `root` is
  FileHandle handle = kNoFile;       // the folder `walk` leads to (may be `root` itself)
  const FolderWalk* walk = nullptr;
};

// Closes what `held` holds.
void ReleaseHeldFolder(HeldFolder* held);

// Lists the folder `walk` leads to, walking to it from its root (held in `held`, or opened
// by its path and then held) one step at a time, each step opened without following a link
// and checked against its listing. With a FolderLister's arguments otherwise; returns
// false with a message: a step that is no longer the folder its parent listed is named as
// changed.
bool ListFolder(const FolderWalk& walk, HeldFolder* held, std::vector<FolderItem>* items,
                FileIdentity* root_identity, std::string* error);

// Creates a new file `stem` + ".partial-" + eight random hexadecimal digits for writing,
// exclusively, readable by its owner only, and returns its name in `path`. Returns kNoFile
// with a message.
FileHandle CreateTemporaryFile(const std::string& stem, std::string* path, std::string* error);

// Writes all `size` bytes at `bytes` to `file`. Returns false with a message in `error`.
bool WriteAll(FileHandle file, const void* bytes, size_t size, std::string* error);

// Closes `file`, written as `path`. Returns false with a message when the last writes fail.
bool CloseOutputFile(FileHandle file, const std::string& path, std::string* error);

// Copies exactly `size` bytes of the file `path` to `output` at its position, through
// `buffer` (reused between calls). Returns false with a message in `error` when the file
// cannot be read, no longer has `size` bytes, or the write fails.
bool CopySourceTo(const std::string& path, uint32_t size, FileHandle output,
                  std::vector<uint8_t>* buffer, std::string* error);

// Copies exactly `size` bytes of the file `file` that a folder line listed in the folder
// `walk` leads to, named `path` in messages, to `output` as CopySourceTo does. The folder
// is walked to again as ListFolder does (unless `held` holds it already; it holds it
// after), and the file opened inside it without following a link: a step or a file that is
// no longer what the listing found, or a root that is not, is refused as changed. Returns
// false with a message.
bool CopyFoundFileTo(const FolderWalk& walk, const FolderItem& file, const std::string& path,
                     uint32_t size, HeldFolder* held, FileHandle output,
                     std::vector<uint8_t>* buffer, std::string* error);

// Gives the temporary file `from` the usual permissions of a new file and renames it to
// `to`, replacing `to`. Returns false with a message.
bool PublishFile(const std::string& from, const std::string& to, std::string* error);

// Maps the regular file `path` for reading. Returns false with a message in `error`.
bool MapWholeFile(const std::string& path, MappedFile* mapped, std::string* error);
