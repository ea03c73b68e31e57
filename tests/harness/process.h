// Child processes for end-to-end tests: start with an exact command line, wait with a
// timeout, and end the child when the timeout passes so no run can hang. Needs no
// GoogleTest (the demo driver uses it too): a start that fails or a child that had to be
// ended is said on standard error, and the results below let the caller's check fail.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

struct Child {
  HANDLE process = NULL;
  DWORD pid = 0;
};

// Starts `command_line` exactly as given (CreateProcessW), in `directory` (NULL: ours).
// Returns an empty Child when the start fails.
Child StartChild(const std::wstring& command_line, const wchar_t* directory = NULL);

// Waits up to `timeout_ms` for the child. Returns its exit code, or kTimedOut after
// terminating it (and for an empty Child). Closes the handle either way.
constexpr DWORD kTimedOut = 0xFFFFFFF0;
DWORD FinishChild(Child& child, DWORD timeout_ms);

// Starts, waits and returns the exit code.
DWORD RunChild(const std::wstring& command_line, DWORD timeout_ms,
               const wchar_t* directory = NULL);

// The folder of the running test executable (build/bin), with a trailing backslash.
std::wstring BinDir();

// build/bin\uninstall.exe and the other programs the tests start.
std::wstring PackExe();
std::wstring UninstallerExe();
std::wstring AlphaExe();
std::wstring FakeCleanupExe();

// Quotes `path` for a command line.
std::wstring Quoted(const std::wstring& path);

// The arguments of a command line as CommandLineToArgvW splits it.
std::vector<std::wstring> SplitCommandLine(const std::wstring& line);
