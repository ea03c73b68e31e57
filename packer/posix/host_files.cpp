#include "packer/tool/host_files.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A finished setup gets the usual permissions of a new file, less the user's umask.
constexpr mode_t kNewFileMode = 0666;
// Until then only its owner may read or write it: no one else may change what is published.
constexpr mode_t kTemporaryFileMode = 0600;

// Manifests and Windows tools write "\" between folders; here it is "/".
std::string HostPath(const std::string& path) {
  std::string host = path;
  for (char& c : host) {
    if (c == '\\') c = '/';
  }
  return host;
}

// open(), again when a signal interrupted it.
int OpenPath(const std::string& path, int flags, mode_t mode = 0) {
  int fd;
  do fd = open(HostPath(path).c_str(), flags | O_CLOEXEC, mode);
  while (fd < 0 && errno == EINTR);
  return fd;
}

// The mode a new file gets here: kNewFileMode less the umask.
mode_t UsualMode() {
  mode_t mask = umask(0);
  umask(mask);
  return kNewFileMode & ~mask;
}

SourceInfo SourceInfoOf(const struct stat& data) {
  SourceInfo info;
  info.kind = S_ISDIR(data.st_mode) ? SOURCE_FOLDER
              : S_ISREG(data.st_mode) ? SOURCE_FILE
                                      : SOURCE_OTHER;
  if (info.kind == SOURCE_FILE) info.size = (uint64_t)data.st_size;
  return info;
}

FolderItemKind ItemKindOf(mode_t mode) {
  return S_ISLNK(mode) ? ITEM_LINK : S_ISDIR(mode) ? ITEM_FOLDER : S_ISREG(mode) ? ITEM_FILE
                                                                                 : ITEM_OTHER;
}

FileIdentity IdentityOf(const struct stat& data) {
  FileIdentity identity;
  identity.volume = (uint64_t)data.st_dev;
  identity.index = (uint64_t)data.st_ino;
  return identity;
}

}  // namespace

std::string LastErrorText() { return strerror(errno); }

// Without waiting: a pipe opened for reading would otherwise block until a writer comes.
// Regular files ignore O_NONBLOCK.
FileHandle OpenForReading(const std::string& path) {
  int fd = OpenPath(path, O_RDONLY | O_NONBLOCK);
  if (fd >= 0) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return fd < 0 ? kNoFile : fd;
}

SourceInfo InspectOpenFile(FileHandle file) {
  struct stat data;
  if (fstat((int)file, &data) != 0) return SourceInfo();
  return SourceInfoOf(data);
}

int64_t ReadSome(FileHandle file, void* buffer, size_t count) {
  ssize_t got;
  do got = read((int)file, buffer, count);
  while (got < 0 && errno == EINTR);
  return got;
}

int64_t WriteSome(FileHandle file, const void* bytes, size_t count) {
  ssize_t written;
  do written = write((int)file, bytes, count);
  while (written < 0 && errno == EINTR);
  if (written == 0) errno = ENOSPC;
  return written > 0 ? written : -1;
}

uint64_t CopyInsideSystem(FileHandle from, FileHandle to, uint64_t count) {
  uint64_t done = 0;
#ifdef __linux__
  // The kernel copies between the files itself. Where it cannot (another file system on an
  // old kernel, a special file), the caller's slices take over from where it stopped.
  while (done < count) {
    ssize_t copied = copy_file_range((int)from, nullptr, (int)to, nullptr, count - done, 0);
    if (copied < 0 && errno == EINTR) continue;
    if (copied <= 0) break;
    done += (uint64_t)copied;
  }
#else
  (void)from, (void)to, (void)count;
#endif
  return done;
}

uint64_t OutputPosition(FileHandle file) {
  off_t position = lseek((int)file, 0, SEEK_CUR);
  return position < 0 ? 0 : (uint64_t)position;
}

bool CloseFile(FileHandle file) { return close((int)file) == 0; }

FileHandle CreateNewFile(const std::string& path, bool* exists) {
  int fd = OpenPath(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, kTemporaryFileMode);
  *exists = fd < 0 && errno == EEXIST;
  return fd < 0 ? kNoFile : fd;
}

namespace {

// Gives `path` the usual mode of a new file. The sign command may have put a new file in
// place of ours: the mode goes to what is there now, as long as it is a regular file and
// not a link.
bool GiveUsualMode(const std::string& path) {
  int fd = OpenPath(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK);
  struct stat info;
  bool ok = fd >= 0 && fstat(fd, &info) == 0;
  if (ok && !S_ISREG(info.st_mode)) {
    errno = EINVAL;
    ok = false;
  }
  ok = ok && fchmod(fd, UsualMode()) == 0;
  int saved = errno;
  if (fd >= 0) close(fd);
  errno = saved;
  return ok;
}

}  // namespace

bool RenameOver(const std::string& from, const std::string& to) {
  return GiveUsualMode(from) && rename(HostPath(from).c_str(), HostPath(to).c_str()) == 0;
}

bool RenameToNewName(const std::string& from, const std::string& to, bool* exists) {
  *exists = false;
  if (!GiveUsualMode(from)) return false;
  std::string host_from = HostPath(from), host_to = HostPath(to);
#ifdef RENAME_NOREPLACE
  if (renameat2(AT_FDCWD, host_from.c_str(), AT_FDCWD, host_to.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) {
    *exists = errno == EEXIST;
    return false;
  }
#endif
  // A file system that cannot rename without replacing: a second name, which is never
  // made over anything, then the temporary one taken away.
  if (link(host_from.c_str(), host_to.c_str()) != 0) {
    *exists = errno == EEXIST;
    return false;
  }
  unlink(host_from.c_str());
  return true;
}

std::string CurrentFolder() {
  char path[PATH_MAX];
  return getcwd(path, sizeof(path)) != nullptr ? path : "";
}

SourceInfo LookUpSource(const std::string& path) {
  struct stat data;
  if (stat(HostPath(path).c_str(), &data) != 0) return SourceInfo();
  return SourceInfoOf(data);
}

FileHandle OpenFolder(const std::string& path) {
  int fd = OpenPath(path, O_RDONLY | O_DIRECTORY);
  return fd < 0 ? kNoFile : fd;
}

// O_NOFOLLOW fails on a link with ELOOP, or with ENOTDIR together with O_DIRECTORY, which a
// file asked for as a folder gives too.
FileHandle OpenInFolder(FileHandle folder, const std::string& name, bool as_folder,
                        FileIdentity* identity, bool* other_kind) {
  int flags = O_RDONLY | O_NOFOLLOW | O_CLOEXEC | (as_folder ? O_DIRECTORY : O_NONBLOCK);
  int fd;
  do fd = openat((int)folder, name.c_str(), flags);
  while (fd < 0 && errno == EINTR);
  *other_kind = fd < 0 && (errno == ELOOP || (as_folder && errno == ENOTDIR));
  if (fd < 0) return kNoFile;
  if (!IdentifyOpenFile(fd, identity)) {
    int saved = errno;
    close(fd);
    errno = saved;
    return kNoFile;
  }
  if (!as_folder) posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  return fd;
}

bool IdentifyOpenFile(FileHandle file, FileIdentity* identity) {
  struct stat data;
  if (fstat((int)file, &data) != 0) return false;
  *identity = IdentityOf(data);
  return true;
}

bool ReadOpenFolder(FileHandle folder, std::vector<FolderItem>* items) {
  items->clear();
  // A descriptor of its own for the listing, which closes it: "." is the folder itself.
  int fd = openat((int)folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* listing = fd < 0 ? nullptr : fdopendir(fd);
  if (listing == nullptr) {
    int saved = errno;
    if (fd >= 0) close(fd);
    errno = saved;
    return false;
  }
  bool ok = true;
  for (;;) {
    errno = 0;
    struct dirent* found = readdir(listing);
    if (found == nullptr) {
      ok = errno == 0;
      break;
    }
    std::string name = found->d_name;
    if (name == "." || name == "..") continue;
    struct stat data;
    if (fstatat(dirfd(listing), found->d_name, &data, AT_SYMLINK_NOFOLLOW) != 0) {
      ok = false;
      break;
    }
    FolderItem item;
    item.name = name;
    item.kind = ItemKindOf(data.st_mode);
    item.identity = IdentityOf(data);
    if (item.kind == ITEM_FILE) item.size = (uint64_t)data.st_size;
    items->push_back(item);
  }
  int saved = errno;
  closedir(listing);
  errno = saved;
  return ok;
}

bool IsSameFile(const std::string& a, const std::string& b) {
  struct stat first, second;
  return stat(HostPath(a).c_str(), &first) == 0 && stat(HostPath(b).c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

void RemoveFileQuietly(const std::string& path) { unlink(HostPath(path).c_str()); }

bool MapOpenFile(FileHandle file, uint64_t size, MappedFile* mapped) {
  void* view = mmap(nullptr, (size_t)size, PROT_READ, MAP_PRIVATE, (int)file, 0);
  if (view == MAP_FAILED) return false;
  mapped->bytes = (const uint8_t*)view;
  mapped->size = size;
  mapped->file = file;
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
