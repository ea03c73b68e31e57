#include "common/held_files.h"

#include <winternl.h>
#include <shlwapi.h>

// Exported by ntdll since Windows 2000; not declared in these headers.
extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE file, HANDLE event, PVOID apc_routine,
                                               PVOID apc_context, PIO_STATUS_BLOCK io,
                                               PVOID information, ULONG length,
                                               FILE_INFORMATION_CLASS information_class,
                                               BOOLEAN single_entry, PUNICODE_STRING mask,
                                               BOOLEAN restart);

namespace {

// Status codes these headers do not declare (ntstatus.h clashes with windows.h).
constexpr DWORD kNoSuchFile = 0xC000000F;         // STATUS_NO_SUCH_FILE
constexpr DWORD kNameNotFound = 0xC0000034;       // STATUS_OBJECT_NAME_NOT_FOUND
constexpr DWORD kNameCollision = 0xC0000035;      // STATUS_OBJECT_NAME_COLLISION
constexpr DWORD kPathNotFound = 0xC000003A;       // STATUS_OBJECT_PATH_NOT_FOUND
constexpr DWORD kFileIsADirectory = 0xC00000BA;   // STATUS_FILE_IS_A_DIRECTORY
constexpr DWORD kDirectoryNotEmpty = 0xC0000101;  // STATUS_DIRECTORY_NOT_EMPTY
constexpr DWORD kNotADirectory = 0xC0000103;      // STATUS_NOT_A_DIRECTORY

// Access of a held folder: list it, pass through it, read its attributes and identity.
constexpr ACCESS_MASK kHoldAccess =
    FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
// Held folders share reading and writing, so other programs may still move files into
// them, but never deletion: nobody can rename or remove a held folder.
constexpr ULONG kHoldSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ULONG kAllSharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// FILE_DIRECTORY_INFORMATION, one entry of a folder's listing (not declared in these
// headers), and its information class.
struct DirectoryEntry {
  ULONG next_entry_offset;
  ULONG file_index;
  LARGE_INTEGER creation_time;
  LARGE_INTEGER last_access_time;
  LARGE_INTEGER last_write_time;
  LARGE_INTEGER change_time;
  LARGE_INTEGER end_of_file;
  LARGE_INTEGER allocation_size;
  ULONG file_attributes;
  ULONG file_name_length;  // in bytes
  WCHAR file_name[1];
};
constexpr FILE_INFORMATION_CLASS kFileDirectoryInformation = (FILE_INFORMATION_CLASS)1;

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
    if (unit == 0 || unit == L'\\' || unit == L'/' || unit == L':') return false;
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

// Whether `opened`, just opened as `name` inside `parent`, is that name's own object and
// no link: its handle says so (exact on Windows, where the open did not follow a link);
// the name, asked again relative to `parent`, is no link either (Wine follows a Unix
// symbolic link when opening, and reports it only by name); and what the name leads to
// now is the object opened.
HeldResult CheckOpened(HANDLE parent, const wchar_t* name, size_t length, HANDLE opened) {
  ULONG attributes = 0;
  if (!ReadHandleAttributes(opened, &attributes)) return HELD_FAILED;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return HELD_LINK;
  DWORD by_name = 0;
  if (!ReadAttributesIn(parent, name, length, &by_name) ||
      (by_name & FILE_ATTRIBUTE_REPARSE_POINT)) {
    return HELD_LINK;
  }
  HANDLE again;
  if (!NT_SUCCESS(OpenRelative(parent, name, length, FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                               kAllSharing, FILE_OPEN, 0, NULL, &again))) {
    return HELD_LINK;
  }
  FileIdentity first, second;
  bool same = ReadFileIdentity(opened, &first) && ReadFileIdentity(again, &second) &&
              SameFileIdentity(first, second);
  CloseHandle(again);
  return same ? HELD_DONE : HELD_LINK;
}

// CheckOpened, closing `*handle` on any outcome but HELD_DONE.
HeldResult KeepIfSound(HANDLE parent, const wchar_t* name, size_t length, HANDLE* handle) {
  HeldResult result = CheckOpened(parent, name, length, *handle);
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
  DWORD attributes = 0;
  if (!ReadAttributesIn(parent, name, length, &attributes)) return HELD_MISSING;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return HELD_LINK;
  if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) return HELD_WRONG_KIND;
  HeldResult result = FromStatus(OpenRelative(parent, name, length,
                                              access | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                              sharing, FILE_OPEN, FILE_NON_DIRECTORY_FILE, NULL,
                                              out));
  if (result != HELD_DONE) return result;
  result = KeepIfSound(parent, name, length, out);
  if (result == HELD_DONE && !IsPlainFileWithOneName(*out)) {
    CloseHandle(*out);
    *out = INVALID_HANDLE_VALUE;
    result = HELD_WRONG_KIND;
  }
  return result;
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
  // The name is looked up in the folder's listing, which reports a link as a link and is
  // read relative to the folder on every system (Wine 8's NtQueryAttributesFile ignores a
  // root folder and looks the name up elsewhere). A listing handle keeps the first name it
  // was asked for, so each lookup opens the folder anew, relative to its own handle.
  HANDLE listing;
  if (!NT_SUCCESS(OpenRelative(parent, name, 0, FILE_LIST_DIRECTORY | SYNCHRONIZE, kAllSharing,
                               FILE_OPEN, FILE_DIRECTORY_FILE, NULL, &listing))) {
    return false;
  }
  UNICODE_STRING mask;
  mask.Buffer = (wchar_t*)name;
  mask.Length = mask.MaximumLength = (USHORT)(length * sizeof(wchar_t));
  // Room for one entry with the longest name (255 units).
  LONGLONG buffer[(sizeof(DirectoryEntry) + 256 * sizeof(wchar_t)) / sizeof(LONGLONG) + 1];
  IO_STATUS_BLOCK io;
  NTSTATUS status = NtQueryDirectoryFile(listing, NULL, NULL, NULL, &io, buffer, sizeof(buffer),
                                         kFileDirectoryInformation, TRUE, &mask, TRUE);
  CloseHandle(listing);
  if (!NT_SUCCESS(status)) return false;
  // A wildcard in the name would match other names: only the name itself counts.
  const DirectoryEntry* entry = (const DirectoryEntry*)buffer;
  if (entry->file_name_length != length * sizeof(wchar_t) ||
      StrCmpNIW(entry->file_name, name, (int)length) != 0) {
    return false;
  }
  *attributes = entry->file_attributes;
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
  HANDLE existing;
  HeldResult result = OpenPlainFile(parent, name, length, DELETE, kAllSharing, &existing);
  if (result == HELD_DONE) result = DeleteThroughHandle(existing);
  if (result != HELD_DONE && result != HELD_MISSING) return result;
  // FILE_CREATE: whatever appeared under the name since is never written through.
  return FromStatus(OpenRelative(parent, name, length, GENERIC_WRITE | SYNCHRONIZE, 0,
                                 FILE_CREATE, FILE_NON_DIRECTORY_FILE, NULL, out));
}

HeldResult OpenFileIn(HANDLE parent, const wchar_t* name, size_t length, HANDLE* out) {
  return OpenPlainFile(parent, name, length, GENERIC_READ, FILE_SHARE_READ, out);
}

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
    result = FromStatus(OpenRelative(parent, name, length, DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
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
  result = DeleteThroughHandle(folder);
  if (result != HELD_DONE) return result;
  // Some systems report a folder that is not empty only when it fails to go at the close.
  DWORD attributes = 0;
  return ReadAttributesIn(parent, name, length, &attributes) ? HELD_NOT_EMPTY : HELD_DONE;
}
