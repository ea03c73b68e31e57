// The setup executable as the dialog tests meet it: built from a package into a scratch
// folder, started, its dialog found by caption and driven through window messages.
#pragma once

#include <windows.h>
#include <string>

#include "harness/environment.h"
#include "harness/message_boxes.h"
#include "harness/package_builder.h"
#include "harness/process.h"
#include "harness/scratch.h"
#include "harness/start_records.h"
#include "harness/timeouts.h"
#include "harness/window_driving.h"

// A package for the dialog tests: the test's own product name (so nothing collides with
// another test's installation), version "2.5", window class "<name>Wnd".
TestPackageContents DialogTestPackage(const std::wstring& product_name);

// The setup dialog's caption for `contents`: "<name> <version> Installer".
std::wstring SetupCaption(const TestPackageContents& contents);

// Builds the setup executable `exe` from setup-stub.exe and `contents`.
bool BuildSetup(const std::wstring& exe, const TestPackageContents& contents);

// One run of a setup executable. The destructor ends the process if it is still running.
class SetupSession {
 public:
  // Builds `exe` from setup-stub.exe and `contents`, starts it and waits for the dialog
  // titled "<name> <version> Installer". Fails the test when either step fails.
  SetupSession(const std::wstring& exe, const TestPackageContents& contents);
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
  MessageBoxSeen WaitForBox(const wchar_t* caption, DWORD timeout_ms = kWindowTimeoutMs) {
    return WaitForMessageBox(child_.pid, timeout_ms, caption);
  }

  // Waits for a window of class "#32770" of this process other than the dialog (a box
  // of the shell, for example); NULL when none appears.
  HWND WaitForOtherDialog(DWORD timeout_ms) {
    return ::WaitForOtherDialog(child_.pid, dialog_, timeout_ms);
  }

  // Ticks the agreement box and presses Install (Execute in Run Once mode).
  void AgreeAndInstall();
  // Answers the box titled `caption`, checked to say `text` and to offer OK alone, and
  // returns the exit code the process then ends with.
  DWORD AnswerLastBox(const std::wstring& caption, const std::wstring& text) {
    AnswerMessageBox(child_.pid, caption, text, {IDOK}, IDOK);
    return WaitForExit();
  }

  // Waits for the process to end and returns its exit code (kTimedOut after ending it).
  DWORD WaitForExit(DWORD timeout_ms = kRunTimeoutMs) { return FinishChild(child_, timeout_ms); }
  // Presses Exit and waits as above.
  DWORD PressExit() {
    Press(IDCANCEL);
    return WaitForExit();
  }

 private:
  void Start(const std::wstring& exe, const std::wstring& caption);
  Child child_;
  HWND dialog_ = NULL;
};

// A scratch folder for the runs of one test, holding the temporary folder `temp` (TMP and
// TEMP of every program started) and alpha.exe's start records `starts`.
struct SetupScratch : ScratchFolder {
  std::wstring temp = MakeFolder(*this / L"temp");
  TemporaryFolderAt temp_at{temp};
  RecordedStarts starts{*this / L"records.txt"};

  static std::wstring MakeFolder(const std::wstring& path);
};

// A top-level window of class `class_name`, as the product's running application would have,
// until Close() or the object goes.
class FakeRunningApplication {
 public:
  explicit FakeRunningApplication(const std::wstring& class_name);
  ~FakeRunningApplication() { Close(); }
  FakeRunningApplication(const FakeRunningApplication&) = delete;
  FakeRunningApplication& operator=(const FakeRunningApplication&) = delete;
  void Close();

 private:
  std::wstring class_name_;
  HWND window_ = NULL;
};
