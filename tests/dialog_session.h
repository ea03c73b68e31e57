// The setup executable as the dialog tests meet it: built from a package into a scratch
// folder, started, its dialog found by caption and driven through window messages.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "harness/package_builder.h"
#include "harness/process.h"
#include "harness/windows.h"

// Generous limits: a Wine start costs about half a second, a first one much more.
constexpr DWORD kWindowTimeoutMs = 20000;
constexpr DWORD kExitTimeoutMs = 30000;

// A package for the dialog tests: the test's own product name (so nothing collides with
// another test's installation), version "2.5", window class "<name>Wnd".
PackageContents DialogTestPackage(const std::wstring& product_name);

// The setup dialog's caption for `contents`: "<name> <version> Installer".
std::wstring SetupCaption(const PackageContents& contents);

// Builds the setup executable `exe` from setup-stub.exe and `contents`.
bool BuildSetup(const std::wstring& exe, const PackageContents& contents);

// One run of a setup executable. The destructor ends the process if it is still running.
class SetupSession {
 public:
  // Builds `exe` from setup-stub.exe and `contents`, starts it and waits for the dialog
  // titled "<name> <version> Installer". Fails the test when either step fails.
  SetupSession(const std::wstring& exe, const PackageContents& contents);
  // Starts `exe`, built before, and waits for the dialog titled `caption`.
  SetupSession(const std::wstring& exe, const std::wstring& caption);
  ~SetupSession();
  SetupSession(const SetupSession&) = delete;
  SetupSession& operator=(const SetupSession&) = delete;

  bool ok() const { return dialog_ != NULL; }
  HWND dialog() const { return dialog_; }
  DWORD pid() const { return child_.pid; }

  HWND Control(int id) const { return GetDlgItem(dialog_, id); }
  std::wstring Text(int id) const { return WindowText(Control(id)); }
  bool Checked(int id) const;
  bool Shown(int id) const { return IsWindowVisible(Control(id)) != FALSE; }
  bool Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }

  // Clicks a checkbox or radio as the mouse would and waits until the dialog handled it.
  void Click(int id) { ClickControl(dialog_, id); }
  // Posts the command of button `id` without waiting: for commands that open windows.
  void Press(int id) { PressButton(dialog_, id); }
  // Sends the command of control `id` and waits until the dialog procedure returned.
  void SendCommand(int id);
  void SetFolder(const std::wstring& text);

  // Waits for a window of this process titled `caption` (class "#32770": message boxes,
  // the folder browser) and reads it like a message box.
  MessageBoxSeen WaitForBox(const wchar_t* caption, DWORD timeout_ms = kWindowTimeoutMs);

  // Waits for a window of class "#32770" of this process other than the dialog (a box
  // of the shell, for example); NULL when none appears.
  HWND WaitForOtherDialog(DWORD timeout_ms);

  // Waits for the process to end and returns its exit code (kTimedOut after ending it).
  DWORD WaitForExit(DWORD timeout_ms = kExitTimeoutMs);

 private:
  void Start(const std::wstring& exe, const std::wstring& caption);
  Child child_;
  HWND dialog_ = NULL;
};

// Sets an environment variable of the test process (inherited by the programs it starts)
// and restores the previous value when it goes.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const wchar_t* name, const std::wstring& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::wstring name_;
  std::wstring old_value_;
  bool had_value_ = false;
};

// How many visible windows of class "#32770" (the dialog, message boxes, the folder
// browser) process `pid` shows.
int DialogWindowCount(DWORD pid);

// Every visible top-level window of class `class_name`, of any process.
std::vector<HWND> WindowsOfClass(const wchar_t* class_name);

// Closes every window of class `class_name` and waits until they are gone.
void CloseWindowsOfClass(const wchar_t* class_name);

// The lines that sample programs (alpha.exe) appended to the record file `path`: the
// command line, a tab, the working directory. Waits up to `timeout_ms` for at least
// `count` lines and returns what is there then.
std::vector<std::wstring> WaitForRecordLines(const std::wstring& path, size_t count,
                                             DWORD timeout_ms = kWindowTimeoutMs);

// The names in `folder` (files and folders, without "." and "..").
std::vector<std::wstring> FolderContents(const std::wstring& folder);
