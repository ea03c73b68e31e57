#include "common/held_files.h"

#include <aclapi.h>
#include <winternl.h>

// Exported by ntdll since Windows 2000; not declared in these headers.
extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE folder, HANDLE event, PVOID apc_routine,
                                               PVOID apc_context, PIO_STATUS_BLOCK io,
                                               PVOID buffer, ULONG length,
                                               FILE_INFORMATION_CLASS information_class,
                                               BOOLEAN single_entry, PUNICODE_STRING name,
                                               BOOLEAN restart_scan);

namespace {

// Status codes these headers do not declare (ntstatus.h clashes with windows.h).
constexpr DWORD kNoSuchFile = 0xC000000F;         // STATUS_NO_SUCH_FILE
constexpr DWORD kNameNotFound = 0xC0000034;       // STATUS_OBJECT_NAME_NOT_FOUND
constexpr DWORD kNameCollision = 0xC0000035;      // STATUS_OBJECT_NAME_COLLISION
constexpr DWORD kPathNotFound = 0xC000003A;       // STATUS_OBJECT_PATH_NOT_FOUND
constexpr DWORD kFileIsADirectory = 0xC00000BA;   // STATUS_FILE_IS_A_DIRECTORY
constexpr DWORD kDirectoryNotEmpty = 0xC0000101;  // STATUS_DIRECTORY_NOT_EMPTY
constexpr DWORD kNotADirectory = 0xC0000103;      // STATUS_NOT_A_DIRECTORY
constexpr DWORD kNoMoreFiles = 0x80000006;        // STATUS_NO_MORE_FILES

// Access of a held folder: list it, pass through it, read its attributes and identity.
constexpr ACCESS_MASK kHoldAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
// Held folders share reading and writing, so other programs may still move files into
// them, but never deletion: nobody can rename or remove a held folder.
constexpr ULONG kHoldSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ULONG kAllSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HeldResult FromStatus(NTSTATUS status) {
  if (NT_SUCCESS(status)) return HELD_DONE;
  switch ((DWORD)status) {
    case kNoSuchFile:
    case kNameNotFound:
    case kPathNotFound:
      return HELD_MISSING;
    case kNameCollision:
      return HELD_EXISTS;
    case kFileIsADirectory:
    case kNotADirectory:
      return HELD_WRONG_KIND;
    case kDirectoryNotEmpty:
      return HELD_NOT_EMPTY;
    default:
      return HELD_FAILED;
  }
}

// A name relative to an open folder, as the system's calls take it.
struct RelativeName {
  UNICODE_STRING string;
  OBJECT_ATTRIBUTES attributes;
};

// Whether `name` is one component that every system reads the same way: not empty, no
// separator, stream or NUL, and not made of dots and spaces only ("." and ".." would name
// the folder itself or its parent).
bool IsOneComponent(const wchar_t* name, size_t length) {
  if (length == 0 || length > 255) return false;
  bool only_dots_and_spaces = true;
  for (size_t i = 0; i < length; ++i) {
    wchar_t unit = name[i];
    // Besides separators and streams, the wildcards a folder listing would expand.
    if (unit == 0 || unit == L'\\' || unit == L'/' || unit == L':' || unit == L'*' ||
        unit == L'?' || unit == L'<' || unit == L'>' || unit == L'"') {
      return false;
    }
    if (unit != L'.' && unit != L' ') only_dots_and_spaces = false;
  }
  return !only_dots_and_spaces;
}

void DescribeName(HANDLE parent, const wchar_t* name, size_t length,
                  PSECURITY_DESCRIPTOR descriptor, RelativeName* out) {
  out->string.Buffer = (wchar_t*)name;
  out->string.Length = out->string.MaximumLength = (USHORT)(length * sizeof(wchar_t));
  // Field by field: the 64-bit headers put padding members between them.
  ZeroMemory(&out->attributes, sizeof(out->attributes));
  out->attributes.Length = sizeof(out->attributes);
  out->attributes.RootDirectory = parent;
  out->attributes.ObjectName = &out->string;
  out->attributes.Attributes = OBJ_CASE_INSENSITIVE;
  out->attributes.SecurityDescriptor = descriptor;
}

NTSTATUS OpenRelative(HANDLE parent, const wchar_t* name, size_t length, ACCESS_MASK access,
                      ULONG sharing, ULONG disposition, ULONG options,
                      PSECURITY_DESCRIPTOR descriptor, HANDLE* out) {
  *out = INVALID_HANDLE_VALUE;
  RelativeName relative;
  DescribeName(parent, name, length, descriptor, &relative);
  IO_STATUS_BLOCK io;
  HANDLE handle = NULL;
  NTSTATUS status =
      NtCreateFile(&handle, access, &relative.attributes, &io, NULL, FILE_ATTRIBUTE_NORMAL,
                   sharing, disposition,
                   options | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT, NULL, 0);
  if (NT_SUCCESS(status)) *out = handle;
  return status;
}

bool ReadHandleAttributes(HANDLE handle, ULONG* attributes) {
  FILE_BASIC_INFORMATION basic;
  IO_STATUS_BLOCK io;
  if (!NT_SUCCESS(NtQueryInformationFile(handle, &io, &basic, sizeof(basic),
                                         FileBasicInformation))) {
    return false;
  }
  *attributes = basic.FileAttributes;
  return true;
}

// What the folder `parent` lists under `name`: its attributes (a link shows as a link, not
// as its target) and, where the system lists them, its file index.
struct ListedName {
  DWORD attributes;
  bool has_index;
  LARGE_INTEGER index;
};

// Room for one listed entry with a name of 255 units.
constexpr ULONG kListingCapacity = sizeof(FILE_ID_BOTH_DIR_INFORMATION) + 256 * sizeof(wchar_t);

// Lists `name` in `parent` through a handle of its own (a listing's name is fixed at a
// handle's first listing on some systems). Windows 2000 lists no file index.
bool ListName(HANDLE parent, const wchar_t* name, size_t length, ListedName* listed) {
  HANDLE folder;
  if (!NT_SUCCESS(OpenRelative(parent, L"", 0, FILE_LIST_DIRECTORY | SYNCHRONIZE, kAllSharing,
                               FILE_OPEN, FILE_DIRECTORY_FILE, NULL, &folder))) {
    return false;
  }
  UNICODE_STRING mask;
  mask.Buffer = (wchar_t*)name;
  mask.Length = mask.MaximumLength = (USHORT)(length * sizeof(wchar_t));
  // ULONGLONG keeps the listing's 8-byte fields aligned.
  ULONGLONG buffer[kListingCapacity / sizeof(ULONGLONG) + 1];
  IO_STATUS_BLOCK io;
  NTSTATUS status = NtQueryDirectoryFile(folder, NULL, NULL, NULL, &io, buffer, sizeof(buffer),
                                         FileIdBothDirectoryInformation, TRUE, &mask, TRUE);
  listed->has_index = NT_SUCCESS(status);
  if (listed->has_index) {
    const FILE_ID_BOTH_DIR_INFORMATION* entry = (const FILE_ID_BOTH_DIR_INFORMATION*)buffer;
    listed->attributes = entry->FileAttributes;
    listed->index = entry->FileId;
  } else {
    status = NtQueryDirectoryFile(folder, NULL, NULL, NULL, &io, buffer, sizeof(buffer),
                                  FileBothDirectoryInformation, TRUE, &mask, TRUE);
    if (NT_SUCCESS(status)) {
      listed->attributes = ((const FILE_BOTH_DIR_INFORMATION*)buffer)->FileAttributes;
    }
  }
  CloseHandle(folder);
  return NT_SUCCESS(status);
}

// Whether `opened`, just opened as `name` inside `parent`, is that name's own object and
// no link: its handle says so (exact on Windows, where the open did not follow a link);
// and the name, as `listed` in `parent` (listed now when NULL; a listing made just before
// the open serves as well, since the object opened must then be the one listed), is no
// link either and has the index of the object opened (Wine follows a Unix symbolic link
// when opening, and shows it only in a listing).
HeldResult CheckOpened(HANDLE parent, const wchar_t* name, size_t length, HANDLE opened,
                       const ListedName* listed = NULL) {
  ULONG attributes = 0;
  if (!ReadHandleAttributes(opened, &attributes)) return HELD_FAILED;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return HELD_LINK;
  ListedName listed_now;
  if (listed == NULL) {
    if (!ListName(parent, name, length, &listed_now)) return HELD_LINK;
    listed = &listed_now;
  }
  if (listed->attributes & FILE_ATTRIBUTE_REPARSE_POINT) return HELD_LINK;
  if (!listed->has_index) return HELD_DONE;
  FileIdentity identity;
  if (!ReadFileIdentity(opened, &identity)) return HELD_FAILED;
  return (DWORD)listed->index.HighPart == identity.index_high &&
                 (DWORD)listed->index.LowPart == identity.index_low
             ? HELD_DONE
             : HELD_LINK;
}

// CheckOpened, closing `*handle` on any outcome but HELD_DONE.
HeldResult KeepIfSound(HANDLE parent, const wchar_t* name, size_t length, HANDLE* handle,
                       const ListedName* listed = NULL) {
  HeldResult result = CheckOpened(parent, name, length, *handle, listed);
  if (result != HELD_DONE) {
    CloseHandle(*handle);
    *handle = INVALID_HANDLE_VALUE;
  }
  return result;
}

// Whether the open file behind `handle` is a plain file with one name: no device or pipe,
// and no hard link through which the file could also be reached from elsewhere.
bool IsPlainFileWithOneName(HANDLE handle) {
  if (GetFileType(handle) != FILE_TYPE_DISK) return false;
  FILE_STANDARD_INFORMATION standard;
  IO_STATUS_BLOCK io;
  return NT_SUCCESS(NtQueryInformationFile(handle, &io, &standard, sizeof(standard),
                                           FileStandardInformation)) &&
         !standard.Directory && standard.NumberOfLinks == 1;
}

// Marks the object behind `handle` (opened with DELETE access) for deletion when it closes,
// and closes it.
HeldResult DeleteThroughHandle(HANDLE handle) {
  FILE_DISPOSITION_INFORMATION disposition;
  disposition.DoDeleteFile = TRUE;
  IO_STATUS_BLOCK io;
  NTSTATUS status = NtSetInformationFile(handle, &io, &disposition, sizeof(disposition),
                                         FileDispositionInformation);
  CloseHandle(handle);
  return FromStatus(status);
}

// Opens the plain file `name` inside `parent` with `access` and checks it as CheckOpened
// and IsPlainFileWithOneName do. The name is asked first, so that nothing but a plain file
// is ever opened (opening a pipe can wait for a writer).
HeldResult OpenPlainFile(HANDLE parent, const wchar_t* name, size_t length, ACCESS_MASK access,
                         ULONG sharing, HANDLE* out) {
  *out = INVALID_HANDLE_VALUE;
  if (!IsOneComponent(name, length)) return HELD_FAILED;
  ListedName listed;
  if (!ListName(parent, name, length, &listed)) return HELD_MISSING;
  if (listed.attributes & FILE_ATTRIBUTE_REPARSE_POINT) return HELD_LINK;
  if (listed.attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) {
    return HELD_WRONG_KIND;
  }
  HeldResult result = FromStatus(OpenRelative(parent, name, length,
                                              access | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                              sharing, FILE_OPEN, FILE_NON_DIRECTORY_FILE, NULL,
                                              out));
  if (result != HELD_DONE) return result;
  // The listing made before the open checks it: what was opened must be what was listed.
  result = KeepIfSound(parent, name, length, out, &listed);
  if (result == HELD_DONE && !IsPlainFileWithOneName(*out)) {
    CloseHandle(*out);
    *out = INVALID_HANDLE_VALUE;
    result = HELD_WRONG_KIND;
  }
  return result;
}

// What a listing of a folder through its own handle finds.
enum FolderContent {
  FOLDER_EMPTY,
  FOLDER_HOLDS_SOMETHING,
  FOLDER_NOT_LISTED,
};

// One entry of a FileNamesInformation listing.
struct ListedFileName {
  ULONG next_entry_offset;
  ULONG file_index;
  ULONG name_length;  // in bytes
  wchar_t name[1];
};
constexpr FILE_INFORMATION_CLASS kFileNamesInformation = (FILE_INFORMATION_CLASS)12;

// Whether `name` (`bytes` long) is "." or "..", which every folder lists.
bool IsDotEntry(const wchar_t* name, ULONG bytes) {
  return (bytes == 2 && name[0] == L'.') ||
         (bytes == 4 && name[0] == L'.' && name[1] == L'.');
}

// Lists the folder open in `folder` (with FILE_LIST_DIRECTORY, not listed before): a first
// batch of names is enough to tell an empty folder. Listing the folder itself costs far less
// than looking its name up in a parent that holds many (Wine reads a whole folder to find
// that a name is missing).
FolderContent ReadFolderContent(HANDLE folder) {
  // Room for ".", ".." and one name of 255 units at least.
  ULONGLONG buffer[2048 / sizeof(ULONGLONG)];
  IO_STATUS_BLOCK io;
  NTSTATUS status = NtQueryDirectoryFile(folder, NULL, NULL, NULL, &io, buffer, sizeof(buffer),
                                         kFileNamesInformation, FALSE, NULL, TRUE);
  if ((DWORD)status == kNoMoreFiles) return FOLDER_EMPTY;
  if (!NT_SUCCESS(status)) return FOLDER_NOT_LISTED;
  const BYTE* entry = (const BYTE*)buffer;
  const BYTE* end = entry + io.Information;
  while (entry + sizeof(ListedFileName) <= end) {
    const ListedFileName* listed = (const ListedFileName*)entry;
    if (!IsDotEntry(listed->name, listed->name_length)) return FOLDER_HOLDS_SOMETHING;
    if (listed->next_entry_offset == 0) return FOLDER_EMPTY;
    entry += listed->next_entry_offset;
  }
  return FOLDER_EMPTY;
}

}  // namespace

bool ReadFileIdentity(HANDLE handle, FileIdentity* identity) {
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(handle, &information)) return false;
  identity->volume = information.dwVolumeSerialNumber;
  identity->index_high = information.nFileIndexHigh;
  identity->index_low = information.nFileIndexLow;
  return identity->volume != 0 || identity->index_high != 0 || identity->index_low != 0;
}

bool SameFileIdentity(const FileIdentity& a, const FileIdentity& b) {
  return a.volume == b.volume && a.index_high == b.index_high && a.index_low == b.index_low;
}

bool ReadAttributesIn(HANDLE parent, const wchar_t* name, size_t length, DWORD* attributes) {
  if (!IsOneComponent(name, length)) return false;
  ListedName listed;
  if (!ListName(parent, name, length, &listed)) return false;
  *attributes = listed.attributes;
  return true;
}

HeldResult HoldFolderIn(HANDLE parent, const wchar_t* name, size_t length, HANDLE* out) {
  *out = INVALID_HANDLE_VALUE;
  if (!IsOneComponent(name, length)) return HELD_FAILED;
  HeldResult result = FromStatus(OpenRelative(parent, name, length, kHoldAccess, kHoldSharing,
                                              FILE_OPEN, FILE_DIRECTORY_FILE, NULL, out));
  if (result != HELD_DONE) return result;
  return KeepIfSound(parent, name, length, out);
}

HeldResult CreateFolderIn(HANDLE parent, const wchar_t* name, size_t length,
                          PSECURITY_DESCRIPTOR descriptor, HANDLE* out) {
  *out = INVALID_HANDLE_VALUE;
  if (!IsOneComponent(name, length)) return HELD_FAILED;
  // Made and opened in one call: no other folder can take its place in between.
  return FromStatus(OpenRelative(parent, name, length, kHoldAccess, kHoldSharing, FILE_CREATE,
                                 FILE_DIRECTORY_FILE, descriptor, out));
}

HeldResult CreateFileIn(HANDLE parent, const wchar_t* name, size_t length, HANDLE* out) {
  *out = INVALID_HANDLE_VALUE;
  if (!IsOneComponent(name, length)) return HELD_FAILED;
  // FILE_CREATE: whatever stands under the name is never written through. Only a name
  // already taken costs the checks below.
  HeldResult result = FromStatus(OpenRelative(parent, name, length, GENERIC_WRITE | SYNCHRONIZE,
                                              0, FILE_CREATE, FILE_NON_DIRECTORY_FILE, NULL, out));
  if (result != HELD_EXISTS) return result;
  HANDLE existing;
  result = OpenPlainFile(parent, name, length, DELETE, kAllSharing, &existing);
  if (result == HELD_DONE) result = DeleteThroughHandle(existing);
  if (result != HELD_DONE && result != HELD_MISSING) return result;
  return FromStatus(OpenRelative(parent, name, length, GENERIC_WRITE | SYNCHRONIZE, 0,
                                 FILE_CREATE, FILE_NON_DIRECTORY_FILE, NULL, out));
}

HeldResult OpenFileIn(HANDLE parent, const wchar_t* name, size_t length, HANDLE* out) {
  return OpenPlainFile(parent, name, length, GENERIC_READ, FILE_SHARE_READ, out);
}

HeldResult OpenFileForRemovalIn(HANDLE parent, const wchar_t* name, size_t length, HANDLE* out) {
  return OpenPlainFile(parent, name, length, GENERIC_READ | DELETE, FILE_SHARE_READ, out);
}

HeldResult DeleteOpenedFile(HANDLE file) { return DeleteThroughHandle(file); }

HeldResult DeleteFileIn(HANDLE parent, const wchar_t* name, size_t length) {
  HANDLE file;
  HeldResult result = OpenPlainFile(parent, name, length, DELETE, kAllSharing, &file);
  if (result == HELD_WRONG_KIND) {
    // A file with more names loses only this one; a device or folder is not touched.
    DWORD attributes = 0;
    if (!ReadAttributesIn(parent, name, length, &attributes) ||
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE))) {
      return result;
    }
    result = FromStatus(OpenRelative(parent, name, length,
                                     DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                     kAllSharing, FILE_OPEN, FILE_NON_DIRECTORY_FILE, NULL,
                                     &file));
    if (result == HELD_DONE) result = KeepIfSound(parent, name, length, &file);
    if (result == HELD_DONE && GetFileType(file) != FILE_TYPE_DISK) {
      CloseHandle(file);
      return HELD_WRONG_KIND;
    }
  }
  if (result != HELD_DONE) return result;
  return DeleteThroughHandle(file);
}

HeldResult RemoveFolderIn(HANDLE parent, const wchar_t* name, size_t length,
                          const FileIdentity* expected) {
  if (!IsOneComponent(name, length)) return HELD_FAILED;
  HANDLE folder;
  HeldResult result = FromStatus(OpenRelative(parent, name, length,
                                              DELETE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES |
                                                  SYNCHRONIZE,
                                              kAllSharing, FILE_OPEN, FILE_DIRECTORY_FILE, NULL,
                                              &folder));
  if (result != HELD_DONE) return result;
  result = KeepIfSound(parent, name, length, &folder);
  if (result != HELD_DONE) return result;
  FileIdentity identity;
  if (expected != NULL &&
      (!ReadFileIdentity(folder, &identity) || !SameFileIdentity(identity, *expected))) {
    CloseHandle(folder);
    return HELD_LINK;
  }
  // Asked first: some systems report a folder that is not empty only when it fails to go
  // at the close. Windows lets nothing new into a folder whose deletion is pending.
  FolderContent content = ReadFolderContent(folder);
  if (content == FOLDER_HOLDS_SOMETHING) {
    CloseHandle(folder);
    return HELD_NOT_EMPTY;
  }
  result = DeleteThroughHandle(folder);
  if (result != HELD_DONE || content == FOLDER_EMPTY) return result;
  // The folder could not be listed: whether it went is seen in its parent.
  DWORD attributes = 0;
  return ReadAttributesIn(parent, name, length, &attributes) ? HELD_NOT_EMPTY : HELD_DONE;
}

bool ReadOwnerAndAccessIn(HANDLE parent, const wchar_t* name, size_t length,
                          PSECURITY_DESCRIPTOR* descriptor) {
  *descriptor = NULL;
  if (length > 0 && !IsOneComponent(name, length)) return false;
  HANDLE object;
  if (!NT_SUCCESS(OpenRelative(parent, name, length, READ_CONTROL | SYNCHRONIZE, kAllSharing,
                               FILE_OPEN, 0, NULL, &object))) {
    return false;
  }
  PSID owner = NULL;
  PACL access = NULL;
  DWORD result = GetSecurityInfo(object, SE_FILE_OBJECT,
                                 OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                 &owner, NULL, &access, NULL, descriptor);
  CloseHandle(object);
  if (result != ERROR_SUCCESS) *descriptor = NULL;
  return result == ERROR_SUCCESS;
}
