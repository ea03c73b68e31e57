// The screen DPI of the programs a test starts. Wine reads it once, when a process starts,
// from HKCU\Control Panel\Desktop\LogPixels, falling back to HKCC\Software\Fonts\LogPixels
// (measured with Wine 8); processes already running keep theirs, the test's own included.
// Windows reads the same value only at the next sign-in, so these tests run under Wine only.
#pragma once

#include <windows.h>

// The DPI of this process's screen (LOGPIXELSX of the screen's device context).
int ScreenDpi();

// Sets LogPixels to `dpi` for every process started while the object lives, and restores
// the value it had (or its absence) when it goes, so the next test meets the prefix as it was.
class ScopedScreenDpi {
 public:
  explicit ScopedScreenDpi(DWORD dpi);
  ~ScopedScreenDpi();
  ScopedScreenDpi(const ScopedScreenDpi&) = delete;
  ScopedScreenDpi& operator=(const ScopedScreenDpi&) = delete;
  bool ok() const { return ok_; }

 private:
  HKEY key_ = NULL;
  bool ok_ = false;
  bool had_value_ = false;
  DWORD old_type_ = 0;
  DWORD old_value_ = 0;
};
