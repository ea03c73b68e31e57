// What a user's own Unix process does to the Wine drive while a test runs: rename a folder
// that a Windows program holds, put a symbolic link in its place, make a pipe or a hard
// link. Wine enforces share modes between Windows processes only, and Windows programs
// cannot make links here, so these stand in for what on Windows another user's program
// could do (harness/link_fixture.sh makes links before a run).
#pragma once

#include <string>

// The Unix path of the Windows path `path` (Wine's wine_get_unix_file_name); empty where
// that is not known (not under Wine).
std::string UnixPath(const std::wstring& path);

// Quotes `text` for /bin/sh.
std::string ShellQuoted(const std::string& text);

// Runs `script` with /bin/sh on the Unix side and waits until it has run to its end, up to
// `timeout_ms`. Returns false when it could not be started, did not finish in time, or its
// last command failed.
bool RunUnixScript(const std::string& script, unsigned timeout_ms = 20000);

// RunUnixScript for one command line.
bool RunOnUnixSide(const std::string& command, unsigned timeout_ms = 20000);

// Renames `from` to `to` (both Windows paths on the same drive) on the Unix side, held or
// not; then, unless `link_target` is empty, makes `from` a symbolic link to the Windows
// path `link_target`. Returns false when any of it failed.
bool SwapOnUnixSide(const std::wstring& from, const std::wstring& to,
                    const std::wstring& link_target = L"");
