// Starting the installed programs after the install run, and the Run Once hand-over.
#pragma once

#include <windows.h>

// Normal install: starts every launchable entry with "/FIRSTRUN" when the user asked for
// it. Run Once: starts the first launchable entry with "/RUNONCE", hides `dialog`, waits
// for the program while dispatching messages, then starts "uninstall.exe" "/AUTO".
void LaunchInstalledPrograms(HWND dialog);
