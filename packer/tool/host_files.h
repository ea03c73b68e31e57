// What the packing tool asks of the host's files: the few calls that differ between Windows
// (packer/windows/host_files.cpp, for pack.exe) and POSIX (packer/posix/host_files.cpp, for
// the native pack). They report failure only; the messages, limits and checks are the same
// on both hosts and live in tool/file_access.h. Paths are UTF-8 and may use "/" or the
// host's own separator.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "packer/core/host_file_info.h"

// An open file of the host (a HANDLE or a file descriptor).
using FileHandle = intptr_t;
constexpr FileHandle kNoFile = -1;

// The system's text for why the last call below failed ("No such file or directory").
std::string LastErrorText();

// Opens the existing file `path` for reading (without waiting, should it be a pipe).
// Returns kNoFile on failure.
FileHandle OpenForReading(const std::string& path);

// What the open `file` is, and its size when it is a file; SOURCE_MISSING on failure.
SourceInfo InspectOpenFile(FileHandle file);

// Reads up to `count` bytes from `file` at its position. Returns how many, 0 at the end, or
// -1 on failure.
int64_t ReadSome(FileHandle file, void* buffer, size_t count);

// Writes up to `count` bytes to `file` at its position. Returns how many (at least one), or
// -1 on failure.
int64_t WriteSome(FileHandle file, const void* bytes, size_t count);

// Copies up to `count` bytes from `from` to `to`, both at their positions, inside the
// system without a pass through this process. Returns how many; 0 where the system does
// not do that, or not for these files: the caller copies the rest itself.
uint64_t CopyInsideSystem(FileHandle from, FileHandle to, uint64_t count);

// How many bytes have been written to `file` so far.
uint64_t OutputPosition(FileHandle file);

// Closes `file`. Returns false when the last writes to it failed.
bool CloseFile(FileHandle file);

// Creates the new file `path` for writing, exclusively (never a file or link already
// there), readable by its owner only. Returns kNoFile on failure, with `*exists` telling
// whether something was there already.
FileHandle CreateNewFile(const std::string& path, bool* exists);

// Gives the file `from` the usual permissions of a new file (unless it is not a regular
// file, which fails) and renames it to `to`, replacing `to`. Returns false on failure.
bool RenameOver(const std::string& from, const std::string& to);

// Gives the file `from` the usual permissions of a new file (unless it is not a regular
// file, which fails) and renames it to `to`, which must not exist: nothing there, a link
// included, is replaced. Returns false on failure, with `*exists` telling whether
// something was there.
bool RenameToNewName(const std::string& from, const std::string& to, bool* exists);

// The current folder, absolute ("" when the system cannot say).
std::string CurrentFolder();

// What `path` is on the drive (following links).
SourceInfo LookUpSource(const std::string& path);

// Opens the folder `path` to list it and to open names inside it. Links on the way are
// followed: the publisher named the path. Returns kNoFile on failure.
FileHandle OpenFolder(const std::string& path);

// Opens `name` inside the open folder `folder` without following a link: as a folder to
// list and open names inside when `as_folder`, else as a file to read (without waiting,
// should it be a pipe). Puts the identity of what it opened in `*identity`, in the form
// ReadOpenFolder gives the folder's names. Returns kNoFile on failure, with `*other_kind`
// telling that the name is there but as a link or, asked for a folder, as something else
// (rather than a failure the system's text explains). A host that follows some links all
// the same (Wine follows a Unix one) opens what the link leads to: the identity tells.
FileHandle OpenInFolder(FileHandle folder, const std::string& name, bool as_folder,
                        FileIdentity* identity, bool* other_kind);

// The identity of the open file or folder `file`, volume included. Returns false on
// failure.
bool IdentifyOpenFile(FileHandle file, FileIdentity* identity);

// Lists the names in the open folder `folder` (which stays open) without following links:
// each with its kind and, for files and folders, identity, for files size. A host may leave
// the volume out of these identities where a name opened inside a folder without following
// a link cannot lie on another volume (Windows: only a reparse point leads elsewhere).
// Returns false on failure.
bool ReadOpenFolder(FileHandle folder, std::vector<FolderItem>* items);

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

// Maps the `size` bytes of the open `file` (more than zero) into `mapped`, which takes the
// file over. Returns false on failure; the file is the caller's again then.
bool MapOpenFile(FileHandle file, uint64_t size, MappedFile* mapped);

// Unmaps and closes what `mapped` holds.
void UnmapFile(MappedFile* mapped);

// The folder of the running program, ending in a separator.
std::string ProgramFolder();
