// Driving windows of other processes through window messages, as a user would: find a
// window, read its texts, click its buttons, read message boxes. Needs no GoogleTest.
#pragma once

#include <windows.h>
#include <string>

// Waits up to `timeout_ms` for a visible top-level window of process `pid` (0: any
// process) whose class is `class_name` and, when `title` is not NULL, whose caption is
// `title`. Returns NULL when none appears.
HWND WaitForWindow(DWORD pid, const wchar_t* class_name, const wchar_t* title,
                   DWORD timeout_ms);

// The text of a window (GetWindowTextW through WM_GETTEXT, works across processes).
std::wstring WindowText(HWND window);

// A message box as the user sees it.
struct MessageBoxSeen {
  HWND window = NULL;
  std::wstring caption;
  std::wstring text;
  bool has_button[12] = {};  // indexed by IDOK .. IDCONTINUE
};

// Waits for a message box (dialog class "#32770") of process `pid`, titled `caption` when
// that is not NULL, and reads it. `window` is NULL when none appeared within `timeout_ms`.
MessageBoxSeen WaitForMessageBox(DWORD pid, DWORD timeout_ms, const wchar_t* caption = NULL);

// Waits for a visible window of class "#32770" of process `pid` other than `except` (a box
// of the shell beside a dialog, for example); NULL when none appears.
HWND WaitForOtherDialog(DWORD pid, HWND except, DWORD timeout_ms);

// Presses the button `id` (IDOK, IDYES, IDRETRY, ...) of a dialog or message box.
void PressButton(HWND dialog, int id);

// Clicks the control `id` of `dialog` as the mouse would (BM_CLICK), waiting until the
// dialog has handled it.
void ClickControl(HWND dialog, int id);

// Waits up to `timeout_ms` for `window` to be destroyed.
bool WaitForWindowGone(HWND window, DWORD timeout_ms);

// How many visible windows of class "#32770" (a dialog, message boxes, the folder
// browser) process `pid` shows.
int DialogWindowCount(DWORD pid);

// Closes every window of class `class_name` and waits up to `timeout_ms` for each to go.
// False when one stayed.
bool CloseWindowsOfClass(const wchar_t* class_name, DWORD timeout_ms);
