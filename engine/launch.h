// Starting the installed programs after the install run, and the Run Once hand-over.
#pragma once

#include <windows.h>

// How the setup program waits for Run Once's program: `wait` hides its windows and keeps
// them serviced until `process` ends (`process` is NULL when the start failed). The engine
// owns no windows; without `wait` it waits plainly.
struct ProgramWaitHook {
  void (*wait)(void* context, HANDLE process);
  void* context;
};

// Normal install: starts every launchable entry with "/FIRSTRUN" when the user asked for
// it. Run Once: starts the first launchable entry with "/RUNONCE", waits for it through
// `hook`, then starts "uninstall.exe" "/AUTO".
void LaunchInstalledPrograms(const ProgramWaitHook& hook);
