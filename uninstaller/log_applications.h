// The applications' own clean-up: every program named in an `E` record of the log is
// started with "/uninstall" and waited for, one after another, before anything is removed.
#pragma once

#include <windows.h>
#include <stddef.h>

// Starts one program (a NUL-terminated full path) and returns when it has ended.
// StartInstalledApplication in the uninstaller (uninstaller/installation_scope.h).
typedef void (*ApplicationStarter)(const wchar_t* path);

// Walks the records of `text` (`length` units) from `from` (just after the header) and
// passes the text of each complete `E` record, in file order, to `start`. A record whose
// text holds a NUL or is longer than 259 characters is passed over. Texts are used as they
// stand: no symbolic path is resolved here.
void RunLogApplications(const wchar_t* text, size_t length, size_t from,
                        ApplicationStarter start);

// Starts `path` with the argument "/uninstall" (default verb, no working directory) and
// returns its process handle, which the caller closes; NULL when the start failed or
// yielded no process. The path is used as it stands: an environment variable in it is not
// expanded, since the expansion could name a program other than the one the path was
// checked as.
HANDLE StartApplication(const wchar_t* path);

// Waits for `process` (from StartApplication; NULL: nothing to wait for) without limit
// and closes it.
void WaitForApplication(HANDLE process);
