#include "packer/host_files.h"

#include <windows.h>

#include <stdio.h>

#include <random>

#include "packer/message_text.h"
#include "packer/windows_text.h"

namespace {

// Single writes and reads stay below what the platform takes in one call.
constexpr DWORD kSliceBytes = 16 * 1024 * 1024;
// Sources are copied in slices: large enough for few calls, small enough to stay cached.
constexpr DWORD kCopySliceBytes = 1024 * 1024;
// Names tried before giving up: each clash is a file someone else put there.
constexpr int kTemporaryNameAttempts = 16;

// "cannot open "x": The system cannot find the file specified."
std::string ErrorText(const std::string& what, const std::string& path) {
  return what + " " + Quote(path) + ": " + SystemErrorText(GetLastError());
}

HANDLE Handle(FileHandle file) { return (HANDLE)file; }

// "partial-1f0c9a3e": a suffix no other run predicts.
std::string RandomSuffix() {
  std::random_device random;
  char suffix[32];
  snprintf(suffix, sizeof(suffix), "partial-%08x", (unsigned)random());
  return suffix;
}

// Refuses what a package cannot carry: a pipe, a console, a device.
bool IsDiskFile(HANDLE file) { return GetFileType(file) == FILE_TYPE_DISK; }

}  // namespace

bool ReadWholeFile(const std::string& path, uint64_t max_bytes, const char* what,
                   std::vector<uint8_t>* bytes, std::string* error) {
  HANDLE file = CreateFileW(Utf16(path).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) {
    *error = ErrorText(std::string("cannot open ") + what, path);
    return false;
  }
  LARGE_INTEGER size;
  bool ok = IsDiskFile(file);
  if (!ok) {
    *error = std::string("cannot read ") + what + " " + Quote(path) +
             ": it is not a regular file (a device, a pipe or a socket)";
  } else if (!(ok = GetFileSizeEx(file, &size) != FALSE)) {
    *error = ErrorText(std::string("cannot read ") + what, path);
  }
  if (ok && (uint64_t)size.QuadPart > max_bytes) {
    *error = std::string("cannot read ") + what + " " + Quote(path) + ": it has more than " +
             std::to_string(max_bytes) + " bytes";
    ok = false;
  }
  if (ok) {
    bytes->resize((size_t)size.QuadPart);
    DWORD read = 0;
    ok = bytes->empty() ||
         (ReadFile(file, bytes->data(), (DWORD)bytes->size(), &read, NULL) && read == bytes->size());
    if (!ok) *error = ErrorText(std::string("cannot read ") + what, path);
  }
  CloseHandle(file);
  return ok;
}

SourceInfo LookUpSource(const std::string& path) {
  SourceInfo info;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Utf16(path).c_str(), GetFileExInfoStandard, &data)) return info;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    info.kind = SOURCE_FOLDER;
    return info;
  }
  info.kind = SOURCE_FILE;
  info.size = ((uint64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow;
  return info;
}

bool ListFolder(const std::string& path, std::vector<FolderItem>* items, std::string* error) {
  items->clear();
  std::string pattern = path;
  if (!pattern.empty() && pattern.back() != '/' && pattern.back() != '\\') pattern += '\\';
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileExW(Utf16(pattern + "*").c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, NULL, 0);
  if (search == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return true;  // a drive's empty root
    *error = ErrorText("cannot list the folder", path);
    return false;
  }
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    FolderItem item;
    item.name = Utf8(name);
    DWORD attributes = found.dwFileAttributes;
    // Symbolic links and junctions are reparse points: they could lead anywhere.
    item.kind = (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? ITEM_LINK
                : (attributes & FILE_ATTRIBUTE_DIRECTORY)   ? ITEM_FOLDER
                : (attributes & FILE_ATTRIBUTE_DEVICE)      ? ITEM_OTHER
                                                            : ITEM_FILE;
    if (item.kind == ITEM_FILE) item.size = ((uint64_t)found.nFileSizeHigh << 32) | found.nFileSizeLow;
    items->push_back(item);
  } while (FindNextFileW(search, &found));
  bool ok = GetLastError() == ERROR_NO_MORE_FILES;
  if (!ok) *error = ErrorText("cannot list the folder", path);
  FindClose(search);
  return ok;
}

FileHandle CreateTemporaryFile(const std::string& stem, std::string* path, std::string* error) {
  std::string candidate;
  for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
    candidate = stem + "." + RandomSuffix();
    // CREATE_NEW fails on anything already there, a link included, so nothing planted is
    // written through.
    HANDLE file = CreateFileW(Utf16(candidate).c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (file != INVALID_HANDLE_VALUE) {
      *path = candidate;
      return (FileHandle)file;
    }
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  *error = ErrorText("cannot create", candidate);
  return kNoFile;
}

bool WriteAll(FileHandle file, const void* bytes, size_t size, std::string* error) {
  const uint8_t* at = (const uint8_t*)bytes;
  while (size > 0) {
    DWORD slice = (DWORD)(size < kSliceBytes ? size : kSliceBytes);
    DWORD written = 0;
    if (!WriteFile(Handle(file), at, slice, &written, NULL) || written != slice) {
      *error = "cannot write the setup executable: " + SystemErrorText(GetLastError());
      return false;
    }
    at += slice;
    size -= slice;
  }
  return true;
}

uint64_t OutputPosition(FileHandle file) {
  LARGE_INTEGER zero = {}, position = {};
  if (!SetFilePointerEx(Handle(file), zero, &position, FILE_CURRENT)) return 0;
  return (uint64_t)position.QuadPart;
}

bool CloseOutputFile(FileHandle file, const std::string& path, std::string* error) {
  if (CloseHandle(Handle(file))) return true;
  *error = ErrorText("cannot write", path);
  return false;
}

bool CopySourceTo(const std::string& path, uint32_t size, FileHandle output,
                  std::vector<uint8_t>* buffer, std::string* error) {
  HANDLE file = CreateFileW(Utf16(path).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
  if (file == INVALID_HANDLE_VALUE) {
    *error = ErrorText("cannot open", path);
    return false;
  }
  LARGE_INTEGER now;
  bool ok = GetFileSizeEx(file, &now) && (uint64_t)now.QuadPart == size;
  if (!ok) *error = Quote(path) + " changed while it was packed";
  if (buffer->size() < kCopySliceBytes) buffer->resize(kCopySliceBytes);
  uint32_t done = 0;
  while (ok && done < size) {
    DWORD want = size - done < kCopySliceBytes ? size - done : kCopySliceBytes;
    DWORD read = 0;
    if (!ReadFile(file, buffer->data(), want, &read, NULL) || read == 0) {
      *error = ErrorText("cannot read", path);
      ok = false;
      break;
    }
    ok = WriteAll(output, buffer->data(), read, error);
    done += read;
  }
  CloseHandle(file);
  return ok;
}

bool IsSameFile(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION first = {}, second = {};
  const std::string* paths[2] = {&a, &b};
  BY_HANDLE_FILE_INFORMATION* infos[2] = {&first, &second};
  for (int k = 0; k < 2; ++k) {
    // No access asked: only the identity is read, whoever has the file open.
    HANDLE file = CreateFileW(Utf16(*paths[k]).c_str(), 0,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (file == INVALID_HANDLE_VALUE) return false;
    BOOL read = GetFileInformationByHandle(file, infos[k]);
    CloseHandle(file);
    if (!read) return false;
  }
  return first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh && first.nFileIndexLow == second.nFileIndexLow;
}

// The new file keeps the folder's inherited permissions, as any file created there would.
bool PublishFile(const std::string& from, const std::string& to, std::string* error) {
  if (MoveFileExW(Utf16(from).c_str(), Utf16(to).c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  *error = ErrorText("cannot write", to);
  return false;
}

void RemoveFileQuietly(const std::string& path) { DeleteFileW(Utf16(path).c_str()); }

bool MapWholeFile(const std::string& path, MappedFile* mapped, std::string* error) {
  *mapped = MappedFile();
  HANDLE file = CreateFileW(Utf16(path).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) {
    *error = ErrorText("cannot open", path);
    return false;
  }
  LARGE_INTEGER size;
  if (!GetFileSizeEx(file, &size)) {
    *error = ErrorText("cannot read", path);
    CloseHandle(file);
    return false;
  }
  mapped->file = (intptr_t)file;
  mapped->size = (uint64_t)size.QuadPart;
  if (mapped->size == 0) return true;  // nothing to map; every reader sees no bytes
  HANDLE mapping = CreateFileMappingW(file, NULL, PAGE_READONLY, 0, 0, NULL);
  const void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : NULL;
  if (view == NULL) {
    *error = ErrorText("cannot read", path);
    if (mapping) CloseHandle(mapping);
    CloseHandle(file);
    *mapped = MappedFile();
    return false;
  }
  mapped->mapping = (intptr_t)mapping;
  mapped->bytes = (const uint8_t*)view;
  return true;
}

void UnmapFile(MappedFile* mapped) {
  if (mapped->bytes) UnmapViewOfFile(mapped->bytes);
  if (mapped->mapping != -1) CloseHandle((HANDLE)mapped->mapping);
  if (mapped->file != -1) CloseHandle((HANDLE)mapped->file);
  *mapped = MappedFile();
}

std::string ProgramFolder() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
  std::wstring folder(path, length < MAX_PATH ? length : 0);
  return Utf8(folder.substr(0, folder.find_last_of(L"\\/") + 1));
}
