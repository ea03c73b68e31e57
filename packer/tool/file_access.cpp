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

// Checks that the open `file`, named `path`, is a regular file, whose size goes to `*size`.
// Returns `file`, or kNoFile (having closed it) with "`what` "path": why" in `error`.
FileHandle CheckRegularFile(FileHandle file, const std::string& path, const std::string& what,
                            uint64_t* size, std::string* error) {
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

// Opens `path` and checks that it is a regular file, whose size goes to `*size`. Returns
// kNoFile with "`what` "path": why" in `error`.
FileHandle OpenRegularFile(const std::string& path, const std::string& what, uint64_t* size,
                           std::string* error) {
  FileHandle file = OpenForReading(path);
  if (file == kNoFile) {
    *error = FailureText("cannot open" + what, path);
    return kNoFile;
  }
  return CheckRegularFile(file, path, what, size, error);
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

// Why a file or folder below a folder line is refused when it is no longer what its
// listing found: another one put in its place, a link made in its place, or itself moved.
std::string ChangedText(const std::string& path, bool folder) {
  return Quote(path) + " changed while it was packed: it is no longer the " +
         (folder ? "folder" : "file") + " that was listed (it was replaced, moved or turned " +
         "into a link)";
}

// Opens `name` in the open `folder` as a folder or a file, never through a link, and checks
// that it is still what the listing found (`listed`). `path` names it in messages, where
// a failure the system explains starts with `failing`. Returns kNoFile with a message.
FileHandle OpenListed(FileHandle folder, const FolderItem& listed, bool as_folder,
                      const std::string& path, const std::string& failing, std::string* error) {
  bool other_kind = false;
  FileIdentity identity;
  FileHandle opened = OpenInFolder(folder, listed.name, as_folder, &identity, &other_kind);
  if (opened == kNoFile) {
    *error = other_kind ? ChangedText(path, as_folder) : FailureText(failing, path);
    return kNoFile;
  }
  if (identity == listed.identity) return opened;
  *error = ChangedText(path, as_folder);
  CloseFile(opened);
  return kNoFile;
}

// Closes the folder `held` walked to last, unless it is the root.
void ReleaseWalkedFolder(HeldFolder* held) {
  if (held->handle != kNoFile && held->handle != held->root) CloseFile(held->handle);
  held->handle = kNoFile;
  held->walk = nullptr;
}

// Makes `held` hold the root of `walk`: the one it holds, or else the folder its path names
// now, which must be the walk's when `check_root` (its first listing takes it as it is).
// Returns false with a message, where a failure the system explains starts with `failing`.
bool HoldRoot(const FolderWalk& walk, bool check_root, const std::string& failing,
              HeldFolder* held, std::string* error) {
  if (held->root != kNoFile && held->root_path == walk.root) return true;
  ReleaseHeldFolder(held);
  FileHandle root = OpenFolder(walk.root);
  FileIdentity identity;
  if (root == kNoFile || !IdentifyOpenFile(root, &identity)) {
    *error = FailureText(failing, walk.root);
    if (root != kNoFile) CloseFile(root);
    return false;
  }
  if (check_root && identity != walk.root_identity) {
    *error = ChangedText(walk.root, true);
    CloseFile(root);
    return false;
  }
  held->root = root;
  held->root_path = walk.root;
  held->root_identity = identity;
  return true;
}

// Makes `held` hold the folder `walk` leads to: from its root (HoldRoot) each step inside
// the one before, checked against its listing, each folder closed as soon as the next one
// is open. Returns false with a message, where a failure the system explains starts with
// `failing`.
bool WalkTo(const FolderWalk& walk, bool check_root, const std::string& failing,
            HeldFolder* held, std::string* error) {
  if (held->walk == &walk) return true;
  ReleaseWalkedFolder(held);
  if (!HoldRoot(walk, check_root, failing, held, error)) return false;
  FileHandle folder = held->root;
  std::string path = walk.root;
  for (const FolderItem& step : walk.steps) {
    path += step.name + "/";
    FileHandle next = OpenListed(folder, step, true, path, failing, error);
    if (folder != held->root) CloseFile(folder);
    if (next == kNoFile) return false;
    folder = next;
  }
  held->handle = folder;
  held->walk = &walk;
  return true;
}

// Copies exactly `size` bytes of the open regular `file`, named `path`, which has `now`
// bytes, to `output`, then closes it. Returns false with a message in `error`.
bool CopyOpenSource(FileHandle file, const std::string& path, uint64_t now, uint32_t size,
                    FileHandle output, std::vector<uint8_t>* buffer, std::string* error) {
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

void ReleaseHeldFolder(HeldFolder* held) {
  ReleaseWalkedFolder(held);
  if (held->root != kNoFile) CloseFile(held->root);
  *held = HeldFolder();
}

bool ListFolder(const FolderWalk& walk, HeldFolder* held, std::vector<FolderItem>* items,
                FileIdentity* root_identity, std::string* error) {
  // A root's first listing finds it by its path; a walk that opens it again checks it.
  if (!WalkTo(walk, !walk.steps.empty(), "cannot list the folder", held, error)) return false;
  *root_identity = held->root_identity;
  bool ok = ReadOpenFolder(held->handle, items);
  if (!ok) *error = FailureText("cannot list the folder", WalkedPath(walk));
  // Listings go depth first: the folder listed is not walked to again soon.
  ReleaseWalkedFolder(held);
  return ok;
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
  return CopyOpenSource(file, path, now, size, output, buffer, error);
}

bool CopyFoundFileTo(const FolderWalk& walk, const FolderItem& file, const std::string& path,
                     uint32_t size, HeldFolder* held, FileHandle output,
                     std::vector<uint8_t>* buffer, std::string* error) {
  if (!WalkTo(walk, true, "cannot open the folder", held, error)) return false;
  FileHandle opened = OpenListed(held->handle, file, false, path, "cannot open", error);
  uint64_t now = 0;
  if (opened != kNoFile) opened = CheckRegularFile(opened, path, "", &now, error);
  if (opened == kNoFile) return false;
  return CopyOpenSource(opened, path, now, size, output, buffer, error);
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
