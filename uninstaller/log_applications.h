// The applications' own clean-up: every program named in an `E` record of the log is
// started with "/uninstall" and waited for, one after another, before anything is removed.
#pragma once

#include <stddef.h>

// Starts one program (a NUL-terminated full path) and returns when it has ended.
// StartApplicationAndWait in the uninstaller.
typedef void (*ApplicationStarter)(const wchar_t* path);

// Walks the records of `text` (`length` units) from `from` (just after the header) and
// passes the text of each complete `E` record, in file order, to `start`. A record whose
// text holds a NUL or is longer than 259 characters is passed over. Texts are used as they
// stand: no symbolic path is resolved here.
void RunLogApplications(const wchar_t* text, size_t length, size_t from,
                        ApplicationStarter start);

// Starts `path` with the argument "/uninstall" (default verb, no working directory,
// environment variables in the path expanded) and waits for its process without limit.
// A start that fails or yields no process is neither waited for nor reported.
void StartApplicationAndWait(const wchar_t* path);
