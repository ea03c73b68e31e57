#include "app/license_viewer.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "common/bounded_text.h"
#include "engine/setup_options.h"
#include "package/package.h"

namespace {

const wchar_t kLicenseExtension[] = L".htm";
constexpr int kLicenseExtensionLength = 4;

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

// Writes `size` bytes to a new "koz....htm" file in the temporary folder and puts its path
// into `path` (kPathCapacity units). Returns false, leaving no document behind, when no
// unique name can be made, the name has no room for ".htm", or the write is incomplete.
bool WriteLicenseDocument(const BYTE* data, DWORD size, wchar_t* path) {
  wchar_t temp_folder[kPathCapacity];
  DWORD length = GetTempPathW(kPathCapacity, temp_folder);
  if (length == 0 || length >= kPathCapacity) return false;
  // With 0 as the unique number the system makes a new empty file, which reserves the name.
  if (GetTempFileNameW(temp_folder, L"koz", 0, path) == 0) return false;
  if (lstrlenW(path) + kLicenseExtensionLength >= (int)kPathCapacity) return false;
  StrCatW(path, kLicenseExtension);
  HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL,
                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL complete = WriteFile(file, data, size, &written, NULL) && written == size;
  CloseHandle(file);
  if (!complete) {
    // A cut document must not be shown as the licence.
    DeleteFileW(path);
    return false;
  }
  return true;
}

}  // namespace

void LicenseViewer(HWND dialog) {
  wchar_t* extracted = g_setup_options.license_temp_path;
  if (extracted[0] == 0) {
    const BYTE* data = NULL;
    DWORD size = 0;
    wchar_t path[kPathCapacity];
    if (FindLicenseDocument(&data, &size) && WriteLicenseDocument(data, size, path)) {
      StrCpyNW(extracted, path, kPathCapacity);
    }
  }
  // Opened every time, written once: a second click shows the same file again.
  if (extracted[0] != 0) {
    ShellExecuteW(dialog, L"open", extracted, L"", L"", SW_SHOWMAXIMIZED);
  }
}

void RemoveExtractedLicense() {
  if (g_setup_options.license_temp_path[0] != 0) DeleteFileW(g_setup_options.license_temp_path);
}
