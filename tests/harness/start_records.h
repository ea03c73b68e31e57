// The record files that the stand-in programs append to, one UTF-8 line per event, fields
// separated by tabs: alpha.exe each start (ALPHA_RECORD: command line, working folder), the
// fake clean-up program ("start", command line, folder; then "end", whether the copy was
// there), the planted DLL each load (its path, the loading program).
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "harness/environment.h"
#include "harness/timeouts.h"

// One line of a record file, split at its tabs.
using RecordLine = std::vector<std::wstring>;

// The complete lines of record file `path`; none when it does not exist.
std::vector<RecordLine> RecordLines(const std::wstring& path);

// The same after waiting up to `timeout_ms` for at least `count` lines.
std::vector<RecordLine> WaitForRecordLines(const std::wstring& path, size_t count,
                                           DWORD timeout_ms = kWindowTimeoutMs);

// One start of alpha.exe as it recorded it.
struct ProgramStart {
  std::wstring command;  // as GetCommandLineW gave it
  std::wstring folder;   // the working folder
  // Whether the command line ends with `tail`.
  bool CommandEndsWith(const std::wstring& tail) const;
  // Whether the working folder is `path`, ignoring trailing backslashes.
  bool RanIn(const std::wstring& path) const;
};

// Points alpha.exe's start records (ALPHA_RECORD) at the file `path` while it lives.
class RecordedStarts {
 public:
  explicit RecordedStarts(const std::wstring& path)
      : path_(path), variable_(L"ALPHA_RECORD", path) {}
  // The starts recorded by then, after waiting up to `timeout_ms` for at least `count`.
  std::vector<ProgramStart> Wait(size_t count, DWORD timeout_ms = kWindowTimeoutMs) const;
  // The starts recorded so far.
  std::vector<ProgramStart> Now() const { return Wait(0, 0); }
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
  ScopedVariable variable_;
};

// Whether one of `starts` ran `program` with the single argument `argument`.
bool HasStart(const std::vector<ProgramStart>& starts, const std::wstring& program,
              const std::wstring& argument);
