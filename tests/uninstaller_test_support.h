// Shared steps of the uninstaller's process tests: logs written as the installer writes
// them, a registry key that exists for one test, record files of the started programs,
// and message boxes answered the way a user would.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

// Kind letter and text of one log record.
typedef std::vector<std::pair<wchar_t, std::wstring>> LogRecords;

// A log's text: `header` ("name#version#class"), "#", the marker, the records and (unless
// `end_marker` is false) the end marker.
std::wstring LogTextOf(const LogRecords& records, bool end_marker = true,
                       const std::wstring& header = L"Alpha#1.0#AlphaWnd");

// Writes `text` as UTF-16LE without byte-order mark.
void WriteLog(const std::wstring& path, const std::wstring& text);

// build/bin\uninstall.exe and the other programs the tests start.
std::wstring UninstallerExe();
std::wstring AlphaExe();
std::wstring FakeCleanupExe();

// Copies a file, failing the test when that does not work.
void CopyForTest(const std::wstring& from, const std::wstring& to);

// A key below HKLM\...\Uninstall that exists from construction to destruction.
class TestUninstallKey {
 public:
  explicit TestUninstallKey(const std::wstring& product);
  ~TestUninstallKey();
  TestUninstallKey(const TestUninstallKey&) = delete;
  TestUninstallKey& operator=(const TestUninstallKey&) = delete;
  // The subkey path as the log's `R` record holds it.
  const std::wstring& subkey() const { return subkey_; }
  bool exists() const;

 private:
  std::wstring subkey_;
};

// Sets an environment variable of this process (inherited by every child) until
// destruction.
class ScopedVariable {
 public:
  ScopedVariable(const wchar_t* name, const std::wstring& value);
  ~ScopedVariable();
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  std::wstring name_;
};

// The lines of a UTF-8 record file (alpha.exe, the fake clean-up program), each split at
// its tabs; empty when the file does not exist.
std::vector<std::vector<std::wstring>> RecordLines(const std::wstring& path);

// The arguments of a command line as CommandLineToArgvW splits it.
std::vector<std::wstring> SplitCommandLine(const std::wstring& line);

// Waits for a message box of `pid` titled `caption`, checks its text and that it offers exactly
// the buttons `buttons` (IDOK, IDYES, ...), presses `press` and waits until it is gone.
void AnswerMessageBox(DWORD pid, const std::wstring& caption, const std::wstring& text,
                      std::vector<int> buttons, int press);

// True when the process has a message box open within `timeout_ms`.
bool ShowsMessageBox(DWORD pid, DWORD timeout_ms);
