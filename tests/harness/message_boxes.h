// Answering the message boxes of a child process as the user would, and keeping what they
// said, so a test can check every box a run showed.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "harness/process.h"
#include "harness/windows.h"

// Waits up to `timeout_ms` for a message box of process `pid`, reads it, presses `button`
// and waits until it is gone. `window` is NULL when no box appeared.
MessageBoxSeen AnswerMessageBox(DWORD pid, int button, DWORD timeout_ms);

// What a child showed before it ended.
struct AnsweredRun {
  DWORD exit_code = kTimedOut;          // kTimedOut when the child had to be ended
  std::vector<MessageBoxSeen> boxes;    // every message box, in the order shown
};

// Waits up to `timeout_ms` for `child` to end, answering each message box it shows with
// `button`; ends the child on timeout. Closes the child's handle.
AnsweredRun FinishAnsweringMessageBoxes(Child& child, DWORD timeout_ms, int button = IDOK);

// Starts `command_line` and finishes it as above.
AnsweredRun RunAnsweringMessageBoxes(const std::wstring& command_line, DWORD timeout_ms,
                                     int button = IDOK, const wchar_t* directory = NULL);
