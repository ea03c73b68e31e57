#include "harness/message_boxes.h"

#include <gtest/gtest.h>

#include "harness/scratch.h"

MessageBoxSeen AnswerMessageBox(DWORD pid, int button, DWORD timeout_ms) {
  MessageBoxSeen seen = WaitForMessageBox(pid, timeout_ms);
  if (seen.window == NULL) return seen;
  PressButton(seen.window, button);
  if (!WaitForWindowGone(seen.window, 5000)) {
    ADD_FAILURE() << "message box \"" << Narrow(seen.caption) << "\" stayed after the answer";
  }
  return seen;
}

AnsweredRun FinishAnsweringMessageBoxes(Child& child, DWORD timeout_ms, int button) {
  AnsweredRun run;
  if (child.process == NULL) return run;
  DWORD start = GetTickCount();
  for (;;) {
    if (WaitForSingleObject(child.process, 50) == WAIT_OBJECT_0) break;
    // A short look only: the child may end instead of showing a box.
    MessageBoxSeen seen = AnswerMessageBox(child.pid, button, 0);
    if (seen.window != NULL) run.boxes.push_back(seen);
    if (GetTickCount() - start > timeout_ms) break;
  }
  run.exit_code = FinishChild(child, 5000);
  return run;
}

AnsweredRun RunAnsweringMessageBoxes(const std::wstring& command_line, DWORD timeout_ms,
                                     int button, const wchar_t* directory) {
  Child child = StartChild(command_line, directory);
  return FinishAnsweringMessageBoxes(child, timeout_ms, button);
}
