#include "harness/screen_dpi.h"

namespace {
const wchar_t kDesktopKey[] = L"Control Panel\\Desktop";
const wchar_t kLogPixels[] = L"LogPixels";
}  // namespace

int ScreenDpi() {
  HDC screen = GetDC(NULL);
  int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(NULL, screen);
  return dpi;
}

ScopedScreenDpi::ScopedScreenDpi(DWORD dpi) {
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kDesktopKey, 0, NULL, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                      NULL, &key_, NULL) != ERROR_SUCCESS) {
    key_ = NULL;
    return;
  }
  DWORD size = sizeof(old_value_);
  had_value_ = RegQueryValueExW(key_, kLogPixels, NULL, &old_type_, (BYTE*)&old_value_, &size) ==
                   ERROR_SUCCESS &&
               size == sizeof(old_value_);
  ok_ = RegSetValueExW(key_, kLogPixels, 0, REG_DWORD, (const BYTE*)&dpi, sizeof(dpi)) ==
        ERROR_SUCCESS;
}

ScopedScreenDpi::~ScopedScreenDpi() {
  if (key_ == NULL) return;
  if (had_value_) {
    RegSetValueExW(key_, kLogPixels, 0, old_type_, (const BYTE*)&old_value_, sizeof(old_value_));
  } else {
    RegDeleteValueW(key_, kLogPixels);
  }
  RegCloseKey(key_);
}
