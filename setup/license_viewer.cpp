#include "setup/license_viewer.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "common/bounded_text.h"
#include "common/private_folder.h"
#include "engine/setup_options.h"
#include "package/package.h"

namespace {

const wchar_t kLicenseExtension[] = L".htm";
constexpr int kLicenseExtensionLength = 4;

// Room for the document's name in its folder: "koz", up to four hexadecimal digits, the
// temporary-file extension ".tmp" and ".htm".
constexpr unsigned kLicenseNameLength = 15;

// The private folder holding the extracted document, held open from its creation until
// the dialog goes: the shell and the viewer open the document by name, and nobody may
// slip another folder (another document, a link) under that name meanwhile. Set together
// with license_temp_path.
HANDLE g_license_folder_hold;

// Finds the first record flagged as licence document (never one of the special values).
// Returns false when the package has none.
bool FindLicenseDocument(const BYTE** data, DWORD* size) {
  wchar_t document_scratch_name[kPathCapacity];  // entry names are not needed here
  DWORD flags = 0;
  // Always from the start of the payload, whatever the install run did to the cursor.
  const BYTE* record = SkipFolderList(PackagePayload());
  while ((record = ReadEntry(record, document_scratch_name, data, size, &flags)) != NULL) {
    if ((flags & kLicenseDocumentMask) == ENTRY_LICENSE_DOCUMENT) return true;
  }
  return false;
}

// Writes `size` bytes into a new file named `path`, which must not exist yet. Returns
// false, leaving no document behind, when the file cannot be made or written whole.
bool WriteNewFile(const wchar_t* path, const BYTE* data, DWORD size) {
  HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL,
                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL complete = WriteFile(file, data, size, &written, NULL) && written == size;
  CloseHandle(file);
  // A cut document must not be shown as the licence.
  if (!complete) DeleteFileW(path);
  return complete != FALSE;
}

// Writes `size` bytes to a new "koz....tmp.htm" file in a new private folder below the
// temporary folder and puts its path into `path` (kPathCapacity units). Returns false,
// leaving nothing behind, when no private folder or unique name can be made, the name has
// no room for ".htm", or the write is incomplete.
bool WriteLicenseDocument(const BYTE* data, DWORD size, wchar_t* path) {
  wchar_t folder[kPathCapacity];
  HANDLE hold;
  if (!CreatePrivateFolder(folder, kLicenseNameLength, &hold, PRIVATE_READABLE_BY_USER)) {
    return false;
  }
  // With 0 as the unique number the system makes a new empty file, which reserves the name.
  wchar_t reservation[kPathCapacity];
  bool reserved = GetTempFileNameW(folder, L"koz", 0, reservation) != 0;
  if (reserved && CopyText(path, kPathCapacity, reservation) &&
      AppendText(path, kPathCapacity, kLicenseExtension) && WriteNewFile(path, data, size)) {
    g_license_folder_hold = hold;
    return true;
  }
  if (reserved) DeleteFileW(reservation);
  CloseHandle(hold);
  RemoveDirectoryW(folder);
  return false;
}

}  // namespace

void LicenseViewer(HWND dialog) {
  wchar_t* extracted = g_setup_options.license_temp_path;
  if (extracted[0] == 0) {
    const BYTE* data = NULL;
    DWORD size = 0;
    wchar_t path[kPathCapacity];
    if (FindLicenseDocument(&data, &size) && WriteLicenseDocument(data, size, path)) {
      CopyText(extracted, kPathCapacity, path);
    }
  }
  // Opened every time, written once: a second click shows the same file again.
  if (extracted[0] != 0) {
    ShellExecuteW(dialog, L"open", extracted, L"", L"", SW_SHOWMAXIMIZED);
  }
}

void RemoveExtractedLicense() {
  // The path is cut down in place: the dialog is going, nothing reads it afterwards.
  wchar_t* path = g_setup_options.license_temp_path;
  if (path[0] == 0) return;
  // Best effort: a viewer that still holds the document keeps it and its folder.
  DeleteFileW(path);
  path[lstrlenW(path) - kLicenseExtensionLength] = 0;  // the reservation
  DeleteFileW(path);
  PathRemoveFileSpecW(path);
  CloseHandle(g_license_folder_hold);
  RemoveDirectoryW(path);
}
