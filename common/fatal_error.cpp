#include "common/fatal_error.h"

#include <windows.h>

namespace {

// Set by SetFatalErrorCleanup; NULL while nothing needs finishing.
FatalErrorCleanup g_fatal_error_cleanup = NULL;

}  // namespace

void SetFatalErrorCleanup(FatalErrorCleanup cleanup) { g_fatal_error_cleanup = cleanup; }

void FatalError(const wchar_t* text) {
  // Taken away before it runs: a failure inside the clean-up cannot start it again.
  FatalErrorCleanup cleanup = g_fatal_error_cleanup;
  g_fatal_error_cleanup = NULL;
  if (cleanup != NULL) cleanup();
  MessageBoxW(NULL, text, L"Fatal error", MB_ICONERROR);
  ExitProcess(0);
}

void FatalErrorWithPath(const wchar_t* message, const wchar_t* path, const wchar_t* rest) {
  wchar_t text[kFatalMessageCapacity];
  // lstrcpynW cuts each piece to the room left and always terminates.
  lstrcpynW(text, message, kFatalMessageCapacity);
  unsigned used = (unsigned)lstrlenW(text);
  lstrcpynW(text + used, path, kFatalMessageCapacity - used);
  used = (unsigned)lstrlenW(text);
  lstrcpynW(text + used, rest, kFatalMessageCapacity - used);
  FatalError(text);
}
