// An installed product as the uninstaller meets it, and the texts of the uninstaller's
// boxes. Tests write the log they need and start uninstall.exe the ways Windows' list of
// installed programs, Run Once and the first phase start it.
#pragma once

#include <windows.h>
#include <memory>
#include <string>
#include <vector>

#include "harness/environment.h"
#include "harness/log_text.h"
#include "harness/process.h"
#include "harness/process_view.h"
#include "harness/scratch.h"
#include "harness/second_phase.h"

// The uninstaller's boxes: "Done" at the end of an interactive uninstall, and "Fatal error"
// when the log cannot be read or the installation folder is not the one the first phase
// held.
extern const wchar_t kUninstallDoneText[];
extern const wchar_t kLogNotOpenedText[];
extern const wchar_t kFolderChangedText[];

// The question "Uninstaller" asks before an interactive uninstall of `name` `version`.
std::wstring UninstallerWelcomeText(const std::wstring& name,
                                    const std::wstring& version = L"1.0");

// Says Yes to the question of `first`, a first phase the test started, about `name`
// `version`; expects it to end with 0; then answers the box of the second phase it started,
// which must be titled `caption` and say `text`. Returns the second phase's exit code
// (kTimedOut when it did not start or end).
DWORD ConfirmUninstallToTheEnd(Child& first, const std::wstring& name, const std::wstring& version,
                               const std::wstring& caption, const std::wstring& text);

// Runs "<dir>\uninstall.exe /AUTO" in `dir` as Run Once starts it, then its second phase
// to the end; both must end with 0. Returns how the second phase was started (its command
// line, program and working folder), read while it runs.
ProcessView UninstallSilently(const std::wstring& dir);

// The command lines that the fake clean-up program recorded in `record` starting with.
std::vector<std::wstring> CleanupStartsIn(const std::wstring& record);

// The folder "<product> 1.0" below a scratch folder, which is the working directory of
// every run, holding a copy of uninstall.exe and `files` (small text files, each at most
// one subfolder deep); the log "uninstall.dat" is written by each test. The fake clean-up
// program records its starts in `record` (FAKE_CLEANUP_RECORD) while the object lives.
class Installation {
 public:
  Installation(const std::wstring& product, const std::vector<std::wstring>& files);
  // Alpha 1.0 with "help\index.htm" and "alpha.exe".
  Installation() : Installation(L"Alpha", {L"help\\index.htm", L"alpha.exe"}) {}
  Installation(const Installation&) = delete;
  Installation& operator=(const Installation&) = delete;

  ScratchFolder scratch;
  const std::wstring product;
  const std::wstring dir;
  const std::wstring log;
  const std::wstring record;

  std::wstring operator/(const std::wstring& relative) const { return dir + L"\\" + relative; }

  // This product's log: its header ("<product>#1.0#<product>Wnd"), `records`, the log's own
  // `F` record unless `records` holds it (the uninstaller acts only on a log that names
  // itself in this folder) and, unless `end_marker` is false, the end marker. WriteLog
  // writes it to `log`.
  std::wstring LogOf(const LogRecords& records, bool end_marker = true) const;
  void WriteLog(const LogRecords& records, bool end_marker = true) const {
    ::WriteLog(log, LogOf(records, end_marker));
  }
  // The records the install run would have logged: `first`, every file, the uninstaller
  // and the log, then the folders, deepest first.
  LogRecords Records(const LogRecords& first = {}) const;
  // Whether every file, the uninstaller and the log are still there.
  bool Untouched() const;

  // Starts dir\uninstall.exe with `arguments` (none when empty).
  Child Start(const std::wstring& arguments) const;
  // Starts a copy of build/bin\uninstall.exe with `arguments`, as the first phase starts
  // its second phase, with a hand-over for `dir` beside it (TestHandOver).
  Child StartSecondPhase(const std::wstring& arguments) const;
  // UninstallSilently(dir).
  ProcessView UninstallSilently() const { return ::UninstallSilently(dir); }
  // The command lines that the fake clean-up program recorded starting with.
  std::vector<std::wstring> CleanupStarts() const;

 private:
  mutable std::unique_ptr<TestHandOver> hand_over_;  // made by the first StartSecondPhase
  std::vector<std::wstring> files_;
  std::vector<std::wstring> folders_;  // in the order made
  ScopedVariable record_variable_;
};
