#include "uninstaller/installation_lock.h"

#include "common/bounded_text.h"

namespace {

// "Global\koz-uninstall-" and eight hexadecimal digits.
constexpr unsigned kLockNameCapacity = 40;

// A 32-bit FNV-1a hash of `folder` in upper case: the same for every spelling of it.
DWORD HashFolder(const wchar_t* folder) {
  DWORD hash = 2166136261u;
  for (const wchar_t* unit = folder; *unit != 0; ++unit) {
    wchar_t upper = (wchar_t)(ULONG_PTR)CharUpperW((LPWSTR)(ULONG_PTR)*unit);
    hash = (hash ^ (upper & 0xFF)) * 16777619u;
    hash = (hash ^ (upper >> 8)) * 16777619u;
  }
  return hash;
}

}  // namespace

HANDLE LockInstallation(const wchar_t* folder, DWORD wait_ms) {
  wchar_t name[kLockNameCapacity];
  // Global: an uninstall started in another session of the same machine counts too.
  wsprintfW(name, L"Global\\koz-uninstall-%08x", HashFolder(folder));
  HANDLE lock = CreateMutexW(NULL, FALSE, name);
  if (lock == NULL) return NULL;
  DWORD waited = WaitForSingleObject(lock, wait_ms);
  // An uninstall that ended without letting go (WAIT_ABANDONED) left nothing half-held
  // that this one cannot redo: its log says what is left.
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return lock;
  CloseHandle(lock);
  return NULL;
}

void ShowInstallationLocked() {
  MessageBoxW(NULL,
              L"Another uninstall of this installation is still running, uninstall aborted!",
              L"Fatal error", MB_ICONERROR);
}
