#include "harness/window_driving.h"

#include <vector>

namespace {

// Visible top-level windows of class `class_name` and process `pid` (0: any), other than
// `except`, whose caption is `title` unless that is NULL. `first_only` ends the search at
// the first one.
struct Search {
  DWORD pid;
  const wchar_t* class_name;
  const wchar_t* title;
  HWND except;
  bool first_only;
  std::vector<HWND> found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
  Search* search = (Search*)param;
  if (window == search->except || !IsWindowVisible(window)) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (search->pid != 0 && pid != search->pid) return TRUE;
  wchar_t class_name[256];
  GetClassNameW(window, class_name, 256);
  if (lstrcmpW(class_name, search->class_name) != 0) return TRUE;
  if (search->title != NULL && WindowText(window) != search->title) return TRUE;
  search->found.push_back(window);
  return !search->first_only;
}

std::vector<HWND> FindWindows(DWORD pid, const wchar_t* class_name, const wchar_t* title,
                              HWND except, bool first_only) {
  Search search = {pid, class_name, title, except, first_only, {}};
  EnumWindows(MatchWindow, (LPARAM)&search);
  return search.found;
}

HWND WaitForMatch(DWORD pid, const wchar_t* class_name, const wchar_t* title, HWND except,
                  DWORD timeout_ms) {
  DWORD start = GetTickCount();
  for (;;) {
    std::vector<HWND> found = FindWindows(pid, class_name, title, except, true);
    if (!found.empty()) return found[0];
    if (GetTickCount() - start > timeout_ms) return NULL;
    Sleep(50);
  }
}

}  // namespace

HWND WaitForWindow(DWORD pid, const wchar_t* class_name, const wchar_t* title,
                   DWORD timeout_ms) {
  return WaitForMatch(pid, class_name, title, NULL, timeout_ms);
}

std::wstring WindowText(HWND window) {
  wchar_t text[4096];
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 4096, (LPARAM)text, SMTO_ABORTIFHUNG, 5000,
                           &length)) {
    return L"";
  }
  return std::wstring(text, length);
}

MessageBoxSeen WaitForMessageBox(DWORD pid, DWORD timeout_ms, const wchar_t* caption) {
  MessageBoxSeen seen;
  seen.window = WaitForWindow(pid, L"#32770", caption, timeout_ms);
  if (seen.window == NULL) return seen;
  seen.caption = WindowText(seen.window);
  // The message text is the static control with identifier 0xFFFF.
  HWND text = GetDlgItem(seen.window, 0xFFFF);
  if (text != NULL) seen.text = WindowText(text);
  for (int id = IDOK; id < 12; ++id) seen.has_button[id] = GetDlgItem(seen.window, id) != NULL;
  return seen;
}

HWND WaitForOtherDialog(DWORD pid, HWND except, DWORD timeout_ms) {
  return WaitForMatch(pid, L"#32770", NULL, except, timeout_ms);
}

void PressButton(HWND dialog, int id) {
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog, id));
}

void ClickControl(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  DWORD_PTR result;
  SendMessageTimeoutW(control, BM_CLICK, 0, 0, SMTO_NORMAL, 5000, &result);
}

bool WaitForWindowGone(HWND window, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  while (IsWindow(window)) {
    if (GetTickCount() - start > timeout_ms) return false;
    Sleep(20);
  }
  return true;
}

int DialogWindowCount(DWORD pid) {
  return (int)FindWindows(pid, L"#32770", NULL, NULL, false).size();
}

bool CloseWindowsOfClass(const wchar_t* class_name, DWORD timeout_ms) {
  bool all_gone = true;
  for (HWND window : FindWindows(0, class_name, NULL, NULL, false)) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    all_gone = WaitForWindowGone(window, timeout_ms) && all_gone;
  }
  return all_gone;
}
