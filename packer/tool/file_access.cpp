#include "packer/tool/file_access.h"

#include <stdio.h>

#include <random>

#include "packer/core/message_text.h"

namespace {

// Sources are copied in slices: large enough for few calls, small enough to stay cached.
constexpr size_t kCopySliceBytes = 1024 * 1024;
// Names tried before giving up: each clash is a file someone else put there.
constexpr int kTemporaryNameAttempts = 16;

// "cannot open "x": No such file or directory", right after the call that failed.
std::string FailureText(const std::string& what, const std::string& path) {
  return what + " " + Quote(path) + ": " + LastErrorText();
}

// Why a file that opened cannot be read as a whole: "" when it is a regular file.
std::string NotRegularFileText(SourceKind kind) {
  if (kind == SOURCE_FOLDER) return "it is a folder";
  if (kind == SOURCE_OTHER) return "it is not a regular file (a device, a pipe or a socket)";
  return "";
}

// Opens `path` and checks that it is a regular file, whose size goes to `*size`. Returns
// kNoFile with "`what` "path": why" in `error`.
FileHandle OpenRegularFile(const std::string& path, const std::string& what, uint64_t* size,
                           std::string* error) {
  FileHandle file = OpenForReading(path);
  if (file == kNoFile) {
    *error = FailureText("cannot open" + what, path);
    return kNoFile;
  }
  SourceInfo info = InspectOpenFile(file);
  std::string why = info.kind == SOURCE_MISSING ? LastErrorText() : NotRegularFileText(info.kind);
  if (!why.empty()) {
    *error = "cannot read" + what + " " + Quote(path) + ": " + why;
    CloseFile(file);
    return kNoFile;
  }
  *size = info.size;
  return file;
}

// Reads exactly `count` bytes of `file` into `buffer`. Returns false with `*ended` telling
// whether the file ended first (rather than a read failing).
bool ReadExactly(FileHandle file, uint8_t* buffer, size_t count, bool* ended) {
  *ended = false;
  while (count > 0) {
    int64_t got = ReadSome(file, buffer, count);
    if (got <= 0) {
      *ended = got == 0;
      return false;
    }
    buffer += got;
    count -= (size_t)got;
  }
  return true;
}

// "partial-1f0c9a3e": a suffix no other run predicts.
std::string RandomSuffix() {
  std::random_device random;
  char suffix[32];
  snprintf(suffix, sizeof(suffix), "partial-%08x", (unsigned)random());
  return suffix;
}

}  // namespace

bool ReadWholeFile(const std::string& path, uint64_t max_bytes, const char* what,
                   std::vector<uint8_t>* bytes, std::string* error) {
  std::string named = std::string(" ") + what;
  uint64_t size = 0;
  FileHandle file = OpenRegularFile(path, named, &size, error);
  if (file == kNoFile) return false;
  bool ok = size <= max_bytes;
  if (!ok) {
    *error = "cannot read" + named + " " + Quote(path) + ": it has more than " +
             std::to_string(max_bytes) + " bytes";
  } else {
    bytes->resize((size_t)size);
    bool ended;
    ok = ReadExactly(file, bytes->data(), bytes->size(), &ended);
    if (!ok && ended) *error = Quote(path) + " changed while it was read";
    if (!ok && !ended) *error = FailureText("cannot read" + named, path);
  }
  CloseFile(file);
  return ok;
}

bool ListFolder(const std::string& path, std::vector<FolderItem>* items, std::string* error) {
  if (ReadFolder(path, items)) return true;
  *error = FailureText("cannot list the folder", path);
  return false;
}

FileHandle CreateTemporaryFile(const std::string& stem, std::string* path, std::string* error) {
  std::string candidate;
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    candidate = stem + "." + RandomSuffix();
    bool exists = false;
    FileHandle file = CreateNewFile(candidate, &exists);
    if (file != kNoFile) {
      *path = candidate;
      return file;
    }
    if (!exists) break;
  }
  *error = FailureText("cannot create", candidate);
  return kNoFile;
}

bool WriteAll(FileHandle file, const void* bytes, size_t size, std::string* error) {
  const uint8_t* at = (const uint8_t*)bytes;
  while (size > 0) {
    int64_t written = WriteSome(file, at, size);
    if (written <= 0) {
      *error = "cannot write the setup executable: " + LastErrorText();
      return false;
    }
    at += written;
    size -= (size_t)written;
  }
  return true;
}

bool CloseOutputFile(FileHandle file, const std::string& path, std::string* error) {
  if (CloseFile(file)) return true;
  *error = FailureText("cannot write", path);
  return false;
}

bool CopySourceTo(const std::string& path, uint32_t size, FileHandle output,
                  std::vector<uint8_t>* buffer, std::string* error) {
  uint64_t now = 0;
  FileHandle file = OpenRegularFile(path, "", &now, error);
  if (file == kNoFile) return false;
  bool ok = now == size;
  uint64_t done = ok ? CopyInsideSystem(file, output, size) : 0;
  if (buffer->size() < kCopySliceBytes) buffer->resize(kCopySliceBytes);
  bool ended = !ok;
  while (ok && done < size) {
    size_t slice = size - done < kCopySliceBytes ? (size_t)(size - done) : kCopySliceBytes;
    ok = ReadExactly(file, buffer->data(), slice, &ended);
    if (!ok && !ended) *error = FailureText("cannot read", path);
    ok = ok && WriteAll(output, buffer->data(), slice, error);
    done += slice;
  }
  if (ended) *error = Quote(path) + " changed while it was packed";
  CloseFile(file);
  return ok;
}

bool PublishFile(const std::string& from, const std::string& to, std::string* error) {
  if (RenameOver(from, to)) return true;
  *error = FailureText("cannot write", to);
  return false;
}

bool MapWholeFile(const std::string& path, MappedFile* mapped, std::string* error) {
  *mapped = MappedFile();
  uint64_t size = 0;
  FileHandle file = OpenRegularFile(path, "", &size, error);
  if (file == kNoFile) return false;
  if (size == 0) {  // nothing to map; every reader sees no bytes
    mapped->file = file;
    return true;
  }
  if (MapOpenFile(file, size, mapped)) return true;
  *error = FailureText("cannot read", path);
  CloseFile(file);
  return false;
}
