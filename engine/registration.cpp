#include "engine/registration.h"

#include <windows.h>

#include "common/bounded_text.h"
#include "common/fatal_error.h"
#include "common/installation_identity.h"
#include "package/package.h"
#include "uninstall_log/log_format.h"
#include "uninstall_log/log_writer.h"

namespace {

void SetStringValue(HKEY key, const wchar_t* name, const wchar_t* data) {
  // The size counts the terminating NUL.
  DWORD size = (DWORD)(lstrlenW(data) + 1) * sizeof(wchar_t);
  if (RegSetValueExW(key, name, 0, REG_SZ, (const BYTE*)data, size) != ERROR_SUCCESS) {
    RegCloseKey(key);
    FatalError(REGISTRY_FAILED_MESSAGE);
  }
}

}  // namespace

void RegisterUninstaller(const wchar_t* uninstaller_path) {
  // The header's strings hold at most 31 characters each and no "\": the key fits.
  wchar_t subkey[kPathCapacity];
  if (!FormatUninstallKey(PackageProductName(), PackageProductVersion(), subkey,
                          kPathCapacity)) {
    FatalError(REGISTRY_FAILED_MESSAGE);
  }
  HKEY key = NULL;
  if (RegCreateKeyW(HKEY_LOCAL_MACHINE, subkey, &key) != ERROR_SUCCESS) {
    FatalError(REGISTRY_FAILED_MESSAGE);
  }
  wchar_t display_name[kPathCapacity];
  wsprintfW(display_name, L"%s %s (Remove / Re-install only)", PackageProductName(),
            PackageProductVersion());
  // Quoted: the list of installed programs runs the value as a command line, where an
  // unquoted path with spaces would start "C:\Program.exe" if one exists, or reach the
  // uninstaller split into several arguments, which it takes for its second phase.
  wchar_t command[kPathCapacity + 2];
  FormatUninstallCommand(uninstaller_path, command, kPathCapacity + 2);
  SetStringValue(key, L"UninstallString", command);
  SetStringValue(key, L"DisplayName", display_name);
  SetStringValue(key, L"Publisher", VENDOR_NAME);
  SetStringValue(key, L"URLInfoAbout", PUBLISHER_URL);
  RegCloseKey(key);
  WriteLogRecord(LOG_RECORD_REGISTRY, subkey);
}
