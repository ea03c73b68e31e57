// Answering the message boxes of a child process as the user would: one expected box
// checked and answered, or every box of a run answered and kept, so a test can check each.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "harness/process.h"
#include "harness/window_driving.h"

// Waits for a message box of `pid` titled `caption`, checks its text and that it offers
// exactly the buttons `buttons` (IDOK, IDYES, ...), presses `press` and waits until it is
// gone. Found by caption: the process may have other dialogs open (the setup dialog).
void AnswerMessageBox(DWORD pid, const std::wstring& caption, const std::wstring& text,
                      std::vector<int> buttons, int press);

// What a child showed before it ended.
struct AnsweredRun {
  DWORD exit_code = kTimedOut;          // kTimedOut when the child had to be ended
  std::vector<MessageBoxSeen> boxes;    // every message box, in the order shown
};

// Waits up to `timeout_ms` for `child` to end, answering each message box it shows with
// `button`; ends the child on timeout, failing the test. Closes the child's handle.
AnsweredRun FinishAnsweringMessageBoxes(Child& child, DWORD timeout_ms, int button = IDOK);

// Starts `command_line` and finishes it as above.
AnsweredRun RunAnsweringMessageBoxes(const std::wstring& command_line, DWORD timeout_ms,
                                     int button = IDOK, const wchar_t* directory = NULL);

// Checks that `run` ended with exit code 0 after exactly one box, titled `caption`, with
// the text `text` and an OK button.
void ExpectOnlyBox(const AnsweredRun& run, const std::wstring& caption,
                   const std::wstring& text);
