// What a user's own Unix process does to the Wine drive while a test runs: rename a folder
// that a Windows program holds, or put a symbolic link in its place. Wine enforces share
// modes between Windows processes only, so these stand in for what on Windows a program
// could do to a folder nobody holds (harness/link_fixture.sh makes links before a run).
#pragma once

#include <string>

// The Unix path of the Windows path `path` (Wine's wine_get_unix_file_name); empty where
// that is not known (not under Wine).
std::string UnixPath(const std::wstring& path);

// Runs `command` with /bin/sh on the Unix side and waits up to `timeout_ms` for it to end.
// Returns false when it could not be started, failed, or did not end in time.
bool RunOnUnixSide(const std::string& command, unsigned timeout_ms = 10000);

// Renames `from` to `to` (both Windows paths on the same drive) on the Unix side, held or
// not; then, unless `link_target` is empty, makes `from` a symbolic link to the Windows
// path `link_target`. Returns false when any of it failed.
bool SwapOnUnixSide(const std::wstring& from, const std::wstring& to,
                    const std::wstring& link_target = L"");
