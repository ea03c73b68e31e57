// Starting the installed programs after the install run, and the Run Once hand-over.
#pragma once

#include <windows.h>

// How the setup program takes part in the launch step: `owner` (NULL: none) owns whatever
// the shell shows while it starts a program, and `wait` hides its windows and keeps them
// serviced until Run Once's `process` ends (`process` is NULL when the start failed). The
// engine owns no windows; without `wait` it waits plainly.
struct ProgramWaitHook {
  void (*wait)(void* context, HANDLE process);
  void* context;
  HWND owner;
};

// Normal install: starts every launchable entry with "/FIRSTRUN" when the user asked for
// it. Run Once: starts the first launchable entry with "/RUNONCE", waits for it through
// `hook`, then starts "uninstall.exe" "/AUTO".
void LaunchInstalledPrograms(const ProgramWaitHook& hook);
