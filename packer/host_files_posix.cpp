#include "packer/host_files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>

#include "packer/message_text.h"

namespace {

// Sources are copied in slices: large enough for few calls, small enough to stay cached.
constexpr size_t kCopySliceBytes = 1024 * 1024;
// A finished setup gets the usual permissions of a new file, less the user's umask.
constexpr mode_t kNewFileMode = 0666;
// Until then only its owner may read or write it: no one else may change what is published.
constexpr mode_t kTemporaryFileMode = 0600;
// Names tried before giving up: each clash is a file someone else put there.
constexpr int kTemporaryNameAttempts = 16;

// "cannot open "x": No such file or directory"
std::string ErrorText(const std::string& what, const std::string& path) {
  return what + " " + Quote(path) + ": " + strerror(errno);
}

// Manifests and Windows tools write "\" between folders; here it is "/".
std::string HostPath(const std::string& path) {
  std::string host = path;
  for (char& c : host) {
    if (c == '\\') c = '/';
  }
  return host;
}

// Opens without waiting: a pipe opened for reading would otherwise block until a writer
// comes. Regular files ignore O_NONBLOCK.
int OpenForReading(const std::string& path) {
  int fd;
  do {
    fd = open(HostPath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

// "partial-1f0c9a3e": a suffix no other run predicts.
std::string RandomSuffix() {
  std::random_device random;
  char suffix[32];
  snprintf(suffix, sizeof(suffix), "partial-%08x", (unsigned)random());
  return suffix;
}

// The mode a new file gets here: kNewFileMode less the umask.
mode_t UsualMode() {
  mode_t mask = umask(0);
  umask(mask);
  return kNewFileMode & ~mask;
}

// Reads up to `count` bytes; returns the number read, 0 at the end, -1 on failure.
ssize_t ReadSome(int fd, void* buffer, size_t count) {
  ssize_t got;
  do got = read(fd, buffer, count); while (got < 0 && errno == EINTR);
  return got;
}

}  // namespace

bool ReadWholeFile(const std::string& path, uint64_t max_bytes, const char* what,
                   std::vector<uint8_t>* bytes, std::string* error) {
  int fd = OpenForReading(path);
  if (fd < 0) {
    *error = ErrorText(std::string("cannot open ") + what, path);
    return false;
  }
  struct stat info;
  bool ok = fstat(fd, &info) == 0;
  if (!ok) *error = ErrorText(std::string("cannot read ") + what, path);
  if (ok && S_ISDIR(info.st_mode)) {
    errno = EISDIR;
    *error = ErrorText(std::string("cannot read ") + what, path);
    ok = false;
  }
  if (ok && !S_ISREG(info.st_mode)) {
    *error = std::string("cannot read ") + what + " " + Quote(path) +
             ": it is not a regular file (a device, a pipe or a socket)";
    ok = false;
  }
  if (ok && (uint64_t)info.st_size > max_bytes) {
    *error = std::string("cannot read ") + what + " " + Quote(path) + ": it has more than " +
             std::to_string(max_bytes) + " bytes";
    ok = false;
  }
  if (ok) {
    bytes->resize((size_t)info.st_size);
    size_t done = 0;
    while (ok && done < bytes->size()) {
      ssize_t got = ReadSome(fd, bytes->data() + done, bytes->size() - done);
      if (got <= 0) {
        if (got == 0) errno = EIO;
        *error = ErrorText(std::string("cannot read ") + what, path);
        ok = false;
      } else {
        done += (size_t)got;
      }
    }
  }
  close(fd);
  return ok;
}

SourceInfo LookUpSource(const std::string& path) {
  SourceInfo info;
  struct stat data;
  if (stat(HostPath(path).c_str(), &data) != 0) return info;
  if (S_ISDIR(data.st_mode)) {
    info.kind = SOURCE_FOLDER;
  } else if (S_ISREG(data.st_mode)) {
    info.kind = SOURCE_FILE;
    info.size = (uint64_t)data.st_size;
  } else {
    info.kind = SOURCE_OTHER;
  }
  return info;
}

bool ListFolder(const std::string& path, std::vector<FolderItem>* items, std::string* error) {
  items->clear();
  DIR* folder = opendir(HostPath(path).c_str());
  if (folder == nullptr) {
    *error = ErrorText("cannot list the folder", path);
    return false;
  }
  bool ok = true;
  for (;;) {
    errno = 0;
    struct dirent* found = readdir(folder);
    if (found == nullptr) {
      if (errno != 0) {
        *error = ErrorText("cannot list the folder", path);
        ok = false;
      }
      break;
    }
    std::string name = found->d_name;
    if (name == "." || name == "..") continue;
    struct stat data;
    if (fstatat(dirfd(folder), found->d_name, &data, AT_SYMLINK_NOFOLLOW) != 0) {
      *error = ErrorText("cannot read", HostPath(path) + name);
      ok = false;
      break;
    }
    FolderItem item;
    item.name = name;
    item.kind = S_ISLNK(data.st_mode)   ? ITEM_LINK
                : S_ISDIR(data.st_mode) ? ITEM_FOLDER
                : S_ISREG(data.st_mode) ? ITEM_FILE
                                        : ITEM_OTHER;
    if (item.kind == ITEM_FILE) item.size = (uint64_t)data.st_size;
    items->push_back(item);
  }
  closedir(folder);
  return ok;
}

FileHandle CreateTemporaryFile(const std::string& stem, std::string* path, std::string* error) {
  std::string candidate;
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    candidate = stem + "." + RandomSuffix();
    int fd;
    do {
      fd = open(HostPath(candidate).c_str(),
                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kTemporaryFileMode);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0) {
      *path = candidate;
      return fd;
    }
    if (errno != EEXIST) break;
  }
  *error = ErrorText("cannot create", candidate);
  return kNoFile;
}

bool WriteAll(FileHandle file, const void* bytes, size_t size, std::string* error) {
  const uint8_t* at = (const uint8_t*)bytes;
  while (size > 0) {
    ssize_t written = write((int)file, at, size);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      if (written == 0) errno = ENOSPC;
      *error = std::string("cannot write the setup executable: ") + strerror(errno);
      return false;
    }
    at += written;
    size -= (size_t)written;
  }
  return true;
}

uint64_t OutputPosition(FileHandle file) {
  off_t position = lseek((int)file, 0, SEEK_CUR);
  return position < 0 ? 0 : (uint64_t)position;
}

bool CloseOutputFile(FileHandle file, const std::string& path, std::string* error) {
  if (close((int)file) == 0) return true;
  *error = ErrorText("cannot write", path);
  return false;
}

bool CopySourceTo(const std::string& path, uint32_t size, FileHandle output,
                  std::vector<uint8_t>* buffer, std::string* error) {
  int fd = OpenForReading(path);
  if (fd < 0) {
    *error = ErrorText("cannot open", path);
    return false;
  }
  struct stat info;
  bool ok = fstat(fd, &info) == 0 && (uint64_t)info.st_size == size;
  if (!ok) *error = Quote(path) + " changed while it was packed";
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  uint32_t done = 0;
#ifdef __linux__
  // The kernel copies between the files itself, without a pass through this process. Where
  // it cannot (another file system on an old kernel, a special file), the slices below take
  // over from where it stopped.
  while (ok && done < size) {
    ssize_t copied = copy_file_range(fd, nullptr, (int)output, nullptr, size - done, 0);
    if (copied < 0 && errno == EINTR) continue;
    if (copied <= 0) break;
    done += (uint32_t)copied;
  }
#endif
  if (buffer->size() < kCopySliceBytes) buffer->resize(kCopySliceBytes);
  while (ok && done < size) {
    size_t want = size - done < kCopySliceBytes ? size - done : kCopySliceBytes;
    ssize_t got = ReadSome(fd, buffer->data(), want);
    if (got <= 0) {
      if (got == 0) errno = EIO;
      *error = ErrorText("cannot read", path);
      ok = false;
      break;
    }
    ok = WriteAll(output, buffer->data(), (size_t)got, error);
    done += (uint32_t)got;
  }
  close(fd);
  return ok;
}

bool PublishFile(const std::string& from, const std::string& to, std::string* error) {
  // The sign command may have put a new file in place of ours: set the mode on what is
  // there now, as long as it is a regular file and not a link.
  int fd;
  do fd = open(HostPath(from).c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
  while (fd < 0 && errno == EINTR);
  struct stat info;
  bool ok = fd >= 0 && fstat(fd, &info) == 0;
  if (ok && !S_ISREG(info.st_mode)) {
    errno = EINVAL;
    ok = false;
  }
  ok = ok && fchmod(fd, UsualMode()) == 0;
  if (fd >= 0) close(fd);
  ok = ok && rename(HostPath(from).c_str(), HostPath(to).c_str()) == 0;
  if (!ok) *error = ErrorText("cannot write", to);
  return ok;
}

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  return stat(HostPath(a).c_str(), &first) == 0 && stat(HostPath(b).c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

void RemoveFileQuietly(const std::string& path) { unlink(HostPath(path).c_str()); }

bool MapWholeFile(const std::string& path, MappedFile* mapped, std::string* error) {
  *mapped = MappedFile();
  int fd = OpenForReading(path);
  if (fd < 0) {
    *error = ErrorText("cannot open", path);
    return false;
  }
  struct stat info;
  bool regular = fstat(fd, &info) == 0;
  if (regular && !S_ISREG(info.st_mode)) {
    errno = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
    regular = false;
  }
  if (!regular) {
    *error = ErrorText("cannot read", path);
    close(fd);
    return false;
  }
  mapped->file = fd;
  mapped->size = (uint64_t)info.st_size;
  if (mapped->size == 0) return true;  // nothing to map; every reader sees no bytes
  void* view = mmap(nullptr, (size_t)mapped->size, PROT_READ, MAP_PRIVATE, fd, 0);
  if (view == MAP_FAILED) {
    *error = ErrorText("cannot read", path);
    close(fd);
    *mapped = MappedFile();
    return false;
  }
  mapped->bytes = (const uint8_t*)view;
  return true;
}

void UnmapFile(MappedFile* mapped) {
  if (mapped->bytes) munmap((void*)mapped->bytes, (size_t)mapped->size);
  if (mapped->file != -1) close((int)mapped->file);
  *mapped = MappedFile();
}

std::string ProgramFolder() {
  char path[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", path, sizeof(path) - 1);
  if (length <= 0) return "";
  std::string program(path, (size_t)length);
  return program.substr(0, program.rfind('/') + 1);
}
