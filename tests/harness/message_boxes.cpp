#include "harness/message_boxes.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "harness/text.h"
#include "harness/timeouts.h"

void AnswerMessageBox(DWORD pid, const std::wstring& caption, const std::wstring& text,
                      std::vector<int> buttons, int press) {
  MessageBoxSeen box = WaitForMessageBox(pid, kWindowTimeoutMs, caption.c_str());
  if (box.window == NULL) {
    MessageBoxSeen other = WaitForMessageBox(pid, 0);
    FAIL() << "no message box \"" << Utf8(caption) << "\"; showing: \""
           << Utf8(other.caption) << "\" \"" << Utf8(other.text) << "\"";
  }
  EXPECT_EQ(box.text, text);
  for (int id = IDOK; id < 12; ++id) {
    bool wanted = std::find(buttons.begin(), buttons.end(), id) != buttons.end();
    EXPECT_EQ(box.has_button[id], wanted) << "button " << id << " in \"" << Utf8(caption) << "\"";
  }
  PressButton(box.window, press);
  EXPECT_TRUE(WaitForWindowGone(box.window, 10000));
}

AnsweredRun FinishAnsweringMessageBoxes(Child& child, DWORD timeout_ms, int button) {
  AnsweredRun run;
  if (child.process == NULL) {
    ADD_FAILURE() << "the child did not start";
    return run;
  }
  DWORD start = GetTickCount();
  for (;;) {
    if (WaitForSingleObject(child.process, 50) == WAIT_OBJECT_0) break;
    // A short look only: the child may end instead of showing a box.
    MessageBoxSeen seen = WaitForMessageBox(child.pid, 0);
    if (seen.window != NULL) {
      PressButton(seen.window, button);
      if (!WaitForWindowGone(seen.window, 5000)) {
        ADD_FAILURE() << "message box \"" << Utf8(seen.caption) << "\" stayed after the answer";
      }
      run.boxes.push_back(seen);
    }
    if (GetTickCount() - start > timeout_ms) break;
  }
  run.exit_code = FinishChild(child, 5000);
  if (run.exit_code == kTimedOut) ADD_FAILURE() << "the child had to be ended";
  return run;
}

AnsweredRun RunAnsweringMessageBoxes(const std::wstring& command_line, DWORD timeout_ms,
                                     int button, const wchar_t* directory) {
  Child child = StartChild(command_line, directory);
  return FinishAnsweringMessageBoxes(child, timeout_ms, button);
}

void ExpectOnlyBox(const AnsweredRun& run, const std::wstring& caption,
                   const std::wstring& text) {
  EXPECT_EQ(run.exit_code, 0u);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].caption, caption);
  EXPECT_EQ(run.boxes[0].text, text);
  EXPECT_TRUE(run.boxes[0].has_button[IDOK]);
}
