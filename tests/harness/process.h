// Child processes for end-to-end tests: start with an exact command line, wait with a
// timeout, and end the child when the timeout passes so no run can hang.
#pragma once

#include <windows.h>
#include <string>

struct Child {
  HANDLE process = NULL;
  DWORD pid = 0;
};

// Starts `command_line` exactly as given (CreateProcessW), in `directory` (NULL: ours).
// Fails the calling test and returns an empty Child when the start fails.
Child StartChild(const std::wstring& command_line, const wchar_t* directory = NULL);

// Waits up to `timeout_ms` for the child. Returns its exit code, or kTimedOut after
// terminating it. Closes the handle either way.
constexpr DWORD kTimedOut = 0xFFFFFFF0;
DWORD FinishChild(Child& child, DWORD timeout_ms);

// Starts, waits and returns the exit code.
DWORD RunChild(const std::wstring& command_line, DWORD timeout_ms,
               const wchar_t* directory = NULL);

// The folder of the running test executable (build/bin), with a trailing backslash.
std::wstring BinDir();

// Quotes `path` for a command line.
std::wstring Quoted(const std::wstring& path);
