#include "harness/windows.h"

namespace {

struct Search {
  DWORD pid;
  const wchar_t* class_name;
  const wchar_t* title;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM param) {
  Search* search = (Search*)param;
  if (!IsWindowVisible(window)) return TRUE;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (search->pid != 0 && pid != search->pid) return TRUE;
  wchar_t class_name[256];
  GetClassNameW(window, class_name, 256);
  if (lstrcmpW(class_name, search->class_name) != 0) return TRUE;
  if (search->title != NULL && WindowText(window) != search->title) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

HWND WaitForWindow(DWORD pid, const wchar_t* class_name, const wchar_t* title,
                   DWORD timeout_ms) {
  DWORD start = GetTickCount();
  for (;;) {
    Search search = {pid, class_name, title, NULL};
    EnumWindows(MatchWindow, (LPARAM)&search);
    if (search.found != NULL) return search.found;
    if (GetTickCount() - start > timeout_ms) return NULL;
    Sleep(50);
  }
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

MessageBoxSeen WaitForMessageBox(DWORD pid, DWORD timeout_ms) {
  MessageBoxSeen seen;
  seen.window = WaitForWindow(pid, L"#32770", NULL, timeout_ms);
  if (seen.window == NULL) return seen;
  seen.caption = WindowText(seen.window);
  // The message text is the static control with identifier 0xFFFF.
  HWND text = GetDlgItem(seen.window, 0xFFFF);
  if (text != NULL) seen.text = WindowText(text);
  for (int id = IDOK; id < 12; ++id) seen.has_button[id] = GetDlgItem(seen.window, id) != NULL;
  return seen;
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
