// Starting a program or document through the shell, as both programs do: the installed
// programs after an install, Run Once's program and its uninstaller, the logged programs'
// own clean-up and the uninstaller's second phase.
#pragma once

#include <windows.h>

// Starts `file` (a full path) with `parameters` (NULL: none) in `directory` (NULL: the
// caller's), with the verb `verb` (NULL: the default) and `owner` as the window that owns
// whatever the shell shows (NULL: none), shown normally. Returns the new process's handle,
// which the caller closes, or NULL when the start failed or the shell handed the file to a
// program already running. Failures are not reported: callers go on without the program.
HANDLE StartThroughShell(const wchar_t* file, const wchar_t* parameters,
                         const wchar_t* directory, const wchar_t* verb, HWND owner);
