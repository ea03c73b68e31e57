#include "packer/tool/host_files.h"

#include <windows.h>
#include <winternl.h>

#include "packer/windows/windows_text.h"

// Not declared in the headers for this target.
extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, PVOID apc_routine,
                                               PVOID apc_context, PIO_STATUS_BLOCK io_status,
                                               PVOID buffer, ULONG length,
                                               FILE_INFORMATION_CLASS information_class,
                                               BOOLEAN single_entry, PUNICODE_STRING file_name,
                                               BOOLEAN restart_scan);

namespace {

// Single writes and reads stay below what the platform takes in one call.
constexpr size_t kSliceBytes = 16 * 1024 * 1024;
// One call lists as many names as fit: a few hundred.
constexpr size_t kListingBytes = 64 * 1024;

// Not declared in the headers for this target (ntstatus.h clashes with windows.h).
constexpr NTSTATUS kNoMoreFiles = (NTSTATUS)0x80000006L;        // STATUS_NO_MORE_FILES
constexpr NTSTATUS kNotImplemented = (NTSTATUS)0xC0000002L;     // STATUS_NOT_IMPLEMENTED
constexpr NTSTATUS kInvalidInfoClass = (NTSTATUS)0xC0000003L;   // STATUS_INVALID_INFO_CLASS
constexpr NTSTATUS kInvalidParameter = (NTSTATUS)0xC000000DL;   // STATUS_INVALID_PARAMETER
constexpr NTSTATUS kFileIsADirectory = (NTSTATUS)0xC00000BAL;   // STATUS_FILE_IS_A_DIRECTORY
constexpr NTSTATUS kNotSupported = (NTSTATUS)0xC00000BBL;       // STATUS_NOT_SUPPORTED
constexpr NTSTATUS kNotADirectory = (NTSTATUS)0xC0000103L;      // STATUS_NOT_A_DIRECTORY

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

// The failure `status` as the last error, for LastErrorText.
void SetLastStatus(NTSTATUS status) { SetLastError(RtlNtStatusToDosError(status)); }

FileIdentity IdentityOf(DWORD volume, uint64_t index) {
  FileIdentity identity;
  identity.volume = volume;
  identity.index = index;
  return identity;
}

// Opens `name` inside the open folder `folder` with `access` and `options`, without
// following a reparse point: a symbolic link or junction opens as itself. Returns
// INVALID_HANDLE_VALUE with the status in `*status` on failure.
HANDLE OpenBelow(HANDLE folder, const std::wstring& name, ACCESS_MASK access, ULONG share,
                 ULONG options, NTSTATUS* status) {
  UNICODE_STRING object_name;
  object_name.Buffer = (wchar_t*)name.c_str();
  object_name.Length = object_name.MaximumLength = (USHORT)(name.size() * sizeof(wchar_t));
  // Field by field: the 64-bit headers put padding members between them.
  OBJECT_ATTRIBUTES attributes;
  ZeroMemory(&attributes, sizeof(attributes));
  attributes.Length = sizeof(attributes);
  attributes.RootDirectory = folder;
  attributes.ObjectName = &object_name;
  IO_STATUS_BLOCK io;
  HANDLE opened = INVALID_HANDLE_VALUE;
  *status = name.size() > 0x7FFF ? kInvalidParameter  // more than a UNICODE_STRING holds
            : NtCreateFile(&opened, access, &attributes, &io, NULL, 0, share, FILE_OPEN,
                           options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT,
                           NULL, 0);
  return NT_SUCCESS(*status) ? opened : INVALID_HANDLE_VALUE;
}

// Names inside a folder are known by their file index alone (volume 0): opened inside the
// folder without following a reparse point, a name lies on the folder's volume (only a
// reparse point leads to another one). Asking for the volume's serial number would cost
// Wine a round trip to its mount manager, over a millisecond, for every file.
FileIdentity IndexIdentity(uint64_t index) { return IdentityOf(0, index); }

// The identity (in the form above) and attributes of the open `file`. Returns the status.
NTSTATUS IdentifyInFolder(HANDLE file, FileIdentity* identity, DWORD* attributes) {
  IO_STATUS_BLOCK io;
  FILE_INTERNAL_INFORMATION internal;
  FILE_BASIC_INFORMATION basic;
  NTSTATUS status =
      NtQueryInformationFile(file, &io, &internal, sizeof(internal), FileInternalInformation);
  if (NT_SUCCESS(status)) {
    status = NtQueryInformationFile(file, &io, &basic, sizeof(basic), FileBasicInformation);
  }
  if (!NT_SUCCESS(status)) return status;
  *identity = IndexIdentity((uint64_t)internal.IndexNumber.QuadPart);
  *attributes = basic.FileAttributes;
  return status;
}

// Identifies the listed `name` in `folder` by opening it, as itself should it have become a
// link since, with no access that another program's sharing could refuse; its kind becomes
// what the opened file says. Returns the status.
NTSTATUS IdentifyByOpening(HANDLE folder, const std::wstring& name, FolderItem* item) {
  NTSTATUS status;
  HANDLE opened = OpenBelow(folder, name, FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, 0, &status);
  if (opened == INVALID_HANDLE_VALUE) return status;
  DWORD attributes = 0;
  status = IdentifyInFolder(opened, &item->identity, &attributes);
  CloseHandle(opened);
  if (NT_SUCCESS(status)) item->kind = ItemKindOf(attributes);
  return status;
}

// Lists `folder` into `items`. With `with_ids`, each name's file ID comes in the same
// answer as its kind (a second look by name could find something else there); without
// (Windows 2000 lacks that information class), or where the file system gives none (0),
// each file and folder listed is opened for it. Returns the status.
NTSTATUS ListFolderItems(HANDLE folder, bool with_ids, std::vector<FolderItem>* items) {
  std::vector<uint64_t> buffer(kListingBytes / sizeof(uint64_t));
  for (BOOLEAN restart = TRUE;; restart = FALSE) {
    IO_STATUS_BLOCK io;
    NTSTATUS status = NtQueryDirectoryFile(
        folder, NULL, NULL, NULL, &io, buffer.data(), (ULONG)kListingBytes,
        with_ids ? FileIdBothDirectoryInformation : FileDirectoryInformation, FALSE, NULL, restart);
    if (status == kNoMoreFiles) return 0;
    if (!NT_SUCCESS(status)) return status;
    const uint8_t* at = (const uint8_t*)buffer.data();
    for (ULONG next = 1; next != 0; at += next) {
      const FILE_ID_BOTH_DIR_INFORMATION* with_id = (const FILE_ID_BOTH_DIR_INFORMATION*)at;
      const FILE_DIRECTORY_INFORMATION* plain = (const FILE_DIRECTORY_INFORMATION*)at;
      next = with_ids ? with_id->NextEntryOffset : plain->NextEntryOffset;
      DWORD attributes = with_ids ? with_id->FileAttributes : plain->FileAttributes;
      uint64_t size = (uint64_t)(with_ids ? with_id->EndOfFile.QuadPart : plain->EndOfFile.QuadPart);
      uint64_t file_id = with_ids ? (uint64_t)with_id->FileId.QuadPart : 0;
      std::wstring name(with_ids ? with_id->FileName : plain->FileName,
                        (with_ids ? with_id->FileNameLength : plain->FileNameLength) /
                            sizeof(wchar_t));
      if (name == L"." || name == L"..") continue;
      FolderItem item;
      item.name = Utf8(name);
      item.kind = ItemKindOf(attributes);
      item.identity = IndexIdentity(file_id);
      if (file_id == 0 && (item.kind == ITEM_FILE || item.kind == ITEM_FOLDER)) {
        status = IdentifyByOpening(folder, name, &item);
        if (!NT_SUCCESS(status)) return status;
      }
      if (item.kind == ITEM_FILE) item.size = size;
      items->push_back(item);
    }
  }
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

// Listing access, shared with readers and writers of the folder but not with a rename or a
// removal of the folder itself while it is open.
FileHandle OpenFolder(const std::string& path) {
  HANDLE folder = CreateFileW(Utf16(path).c_str(),
                              FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, NULL);
  if (folder == INVALID_HANDLE_VALUE) return kNoFile;
  IO_STATUS_BLOCK io;
  FILE_BASIC_INFORMATION basic;
  if (NT_SUCCESS(NtQueryInformationFile(folder, &io, &basic, sizeof(basic), FileBasicInformation)) &&
      (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return (FileHandle)folder;
  }
  CloseHandle(folder);
  SetLastError(ERROR_DIRECTORY);
  return kNoFile;
}

// Opened as itself, a symbolic link or junction shows its reparse point attribute. (Wine
// follows a Unix symbolic link all the same: the identity is the target's.)
FileHandle OpenInFolder(FileHandle folder, const std::string& name, bool as_folder,
                        FileIdentity* identity, bool* other_kind) {
  NTSTATUS status;
  HANDLE opened =
      as_folder ? OpenBelow(Handle(folder), Utf16(name),
                            FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, FILE_DIRECTORY_FILE, &status)
                : OpenBelow(Handle(folder), Utf16(name), GENERIC_READ, FILE_SHARE_READ,
                            FILE_NON_DIRECTORY_FILE | FILE_SEQUENTIAL_ONLY, &status);
  *other_kind = status == kNotADirectory || status == kFileIsADirectory;
  if (opened == INVALID_HANDLE_VALUE) {
    SetLastStatus(status);
    return kNoFile;
  }
  DWORD attributes = 0;
  status = IdentifyInFolder(opened, identity, &attributes);
  if (NT_SUCCESS(status) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return (FileHandle)opened;
  }
  *other_kind = NT_SUCCESS(status);
  CloseHandle(opened);
  SetLastStatus(status);
  return kNoFile;
}

bool IdentifyOpenFile(FileHandle file, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(Handle(file), &information)) return false;
  *identity = IdentityOf(information.dwVolumeSerialNumber,
                         Join(information.nFileIndexHigh, information.nFileIndexLow));
  return true;
}

bool ReadOpenFolder(FileHandle folder, std::vector<FolderItem>* items) {
  items->clear();
  NTSTATUS status = ListFolderItems(Handle(folder), true, items);
  if (status == kInvalidInfoClass || status == kNotImplemented || status == kNotSupported ||
      status == kInvalidParameter) {
    items->clear();
    status = ListFolderItems(Handle(folder), false, items);
  }
  if (NT_SUCCESS(status)) return true;
  SetLastStatus(status);
  return false;
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
