// One uninstall at a time for one installation: two uninstalls of the same folder would
// compete for its files and folders, and one would report what the other did.
#pragma once

#include <windows.h>

// How long a second phase waits for another uninstall of the same installation to end.
constexpr DWORD kInstallationLockWaitMs = 60000;

// Takes the lock of the installation in `folder` (its normal form; case does not count):
// a named mutex whose name is made from the folder. Waits up to `wait_ms` while another
// process holds it. Returns the mutex handle, which the caller keeps until it is done
// (closing it, or ending the process, lets go), or NULL when the other uninstall did not
// end in time or no lock could be made.
HANDLE LockInstallation(const wchar_t* folder, DWORD wait_ms);

// Shown when LockInstallation gave up: the other uninstall goes on.
void ShowInstallationLocked();
