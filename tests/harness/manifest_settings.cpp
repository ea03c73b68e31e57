#include "harness/manifest_settings.h"

#include <windows.h>

const wchar_t kWindowsSettings2005[] = L"http://schemas.microsoft.com/SMI/2005/WindowsSettings";
const wchar_t kWindowsSettings2016[] = L"http://schemas.microsoft.com/SMI/2016/WindowsSettings";

ManifestSetting ReadManifestSetting(const std::wstring& path, const wchar_t* settings_namespace,
                                    const wchar_t* name) {
  ManifestSetting setting;
  ACTCTXW request = {};
  request.cbSize = sizeof(request);
  request.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
  request.lpSource = path.c_str();
  request.lpResourceName = MAKEINTRESOURCEW(1);
  HANDLE context = CreateActCtxW(&request);
  if (context == INVALID_HANDLE_VALUE) return setting;
  setting.manifest_read = true;
  wchar_t value[256];
  SIZE_T written = 0;
  if (QueryActCtxSettingsW(0, context, settings_namespace, name, value, 256, &written) &&
      written > 0) {
    setting.found = true;
    setting.value.assign(value, written - 1);  // `written` counts the terminator
  }
  ReleaseActCtx(context);
  return setting;
}
