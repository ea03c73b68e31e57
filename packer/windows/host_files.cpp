#include "packer/tool/host_files.h"

#include <windows.h>

#include "packer/windows/windows_text.h"

namespace {

// Single writes and reads stay below what the platform takes in one call.
constexpr size_t kSliceBytes = 16 * 1024 * 1024;

HANDLE Handle(FileHandle file) { return (HANDLE)file; }

DWORD Slice(size_t count) { return (DWORD)(count < kSliceBytes ? count : kSliceBytes); }

uint64_t Join(DWORD high, DWORD low) { return ((uint64_t)high << 32) | low; }

// Symbolic links and junctions are reparse points: they could lead anywhere.
FolderItemKind ItemKindOf(DWORD attributes) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) ? ITEM_LINK
         : (attributes & FILE_ATTRIBUTE_DIRECTORY)   ? ITEM_FOLDER
         : (attributes & FILE_ATTRIBUTE_DEVICE)      ? ITEM_OTHER
                                                     : ITEM_FILE;
}

}  // namespace

std::string LastErrorText() { return SystemErrorText(GetLastError()); }

FileHandle OpenForReading(const std::string& path) {
  HANDLE file = CreateFileW(Utf16(path).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
  return file == INVALID_HANDLE_VALUE ? kNoFile : (FileHandle)file;
}

// Refuses what a package cannot carry: a pipe, a console, a device. (A folder does not open
// here: CreateFileW refuses it without FILE_FLAG_BACKUP_SEMANTICS.)
SourceInfo InspectOpenFile(FileHandle file) {
  SourceInfo info;
  LARGE_INTEGER size;
  if (GetFileType(Handle(file)) != FILE_TYPE_DISK) {
    info.kind = SOURCE_OTHER;
  } else if (GetFileSizeEx(Handle(file), &size)) {
    info.kind = SOURCE_FILE;
    info.size = (uint64_t)size.QuadPart;
  }
  return info;
}

int64_t ReadSome(FileHandle file, void* buffer, size_t count) {
  DWORD read = 0;
  if (!ReadFile(Handle(file), buffer, Slice(count), &read, NULL)) return -1;
  return read;
}

int64_t WriteSome(FileHandle file, const void* bytes, size_t count) {
  DWORD written = 0;
  if (!WriteFile(Handle(file), bytes, Slice(count), &written, NULL) || written == 0) return -1;
  return written;
}

uint64_t CopyInsideSystem(FileHandle, FileHandle, uint64_t) { return 0; }

uint64_t OutputPosition(FileHandle file) {
  LARGE_INTEGER zero = {}, position = {};
  if (!SetFilePointerEx(Handle(file), zero, &position, FILE_CURRENT)) return 0;
  return (uint64_t)position.QuadPart;
}

bool CloseFile(FileHandle file) { return CloseHandle(Handle(file)) != FALSE; }

// CREATE_NEW fails on anything already there, a link included, so nothing planted is
// written through.
FileHandle CreateNewFile(const std::string& path, bool* exists) {
  HANDLE file = CreateFileW(Utf16(path).c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
  DWORD error = GetLastError();
  *exists = file == INVALID_HANDLE_VALUE &&
            (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS);
  return file == INVALID_HANDLE_VALUE ? kNoFile : (FileHandle)file;
}

// The new file keeps the folder's inherited permissions, as any file created there would.
bool RenameOver(const std::string& from, const std::string& to) {
  return MoveFileExW(Utf16(from).c_str(), Utf16(to).c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

// Without MOVEFILE_REPLACE_EXISTING the move fails on anything already there.
bool RenameToNewName(const std::string& from, const std::string& to, bool* exists) {
  BOOL moved = MoveFileExW(Utf16(from).c_str(), Utf16(to).c_str(), 0);
  DWORD error = GetLastError();
  *exists = !moved && (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS);
  return moved != FALSE;
}

std::string CurrentFolder() {
  DWORD length = GetCurrentDirectoryW(0, NULL);
  if (length == 0) return "";
  std::wstring folder(length, L'\0');
  DWORD written = GetCurrentDirectoryW(length, &folder[0]);
  if (written == 0 || written >= length) return "";
  folder.resize(written);
  return Utf8(folder);
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
  info.size = Join(data.nFileSizeHigh, data.nFileSizeLow);
  return info;
}

bool ReadFolder(const std::string& path, std::vector<FolderItem>* items) {
  items->clear();
  std::string pattern = path;
  if (!pattern.empty() && pattern.back() != '/' && pattern.back() != '\\') pattern += '\\';
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileExW(Utf16(pattern + "*").c_str(), FindExInfoBasic, &found,
                                   FindExSearchNameMatch, NULL, 0);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;  // empty root
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    FolderItem item;
    item.name = Utf8(name);
    item.kind = ItemKindOf(found.dwFileAttributes);
    if (item.kind == ITEM_FILE) item.size = Join(found.nFileSizeHigh, found.nFileSizeLow);
    items->push_back(item);
  } while (FindNextFileW(search, &found));
  DWORD error = GetLastError();
  FindClose(search);
  SetLastError(error);
  return error == ERROR_NO_MORE_FILES;
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

void RemoveFileQuietly(const std::string& path) { DeleteFileW(Utf16(path).c_str()); }

bool MapOpenFile(FileHandle file, uint64_t size, MappedFile* mapped) {
  HANDLE mapping = CreateFileMappingW(Handle(file), NULL, PAGE_READONLY, 0, 0, NULL);
  const void* view = mapping ? MapViewOfFile(mapping, FILE_MAP_READ, 0, 0, 0) : NULL;
  if (view == NULL) {
    DWORD error = GetLastError();
    if (mapping) CloseHandle(mapping);
    SetLastError(error);
    return false;
  }
  mapped->bytes = (const uint8_t*)view;
  mapped->size = size;
  mapped->file = file;
  mapped->mapping = (intptr_t)mapping;
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
