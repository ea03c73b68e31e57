#include "dialog_session.h"

#include <gtest/gtest.h>

#include "app/resource.h"
#include "harness/scratch.h"

PackageContents DialogTestPackage(const std::wstring& product_name) {
  PackageContents contents = TestPackage();
  contents.product_name = U16(product_name);
  contents.product_version = u"2.5";
  contents.window_class = U16(product_name + L"Wnd");
  return contents;
}

std::wstring SetupCaption(const PackageContents& contents) {
  return std::wstring(contents.product_name.begin(), contents.product_name.end()) + L" " +
         std::wstring(contents.product_version.begin(), contents.product_version.end()) +
         L" Installer";
}

bool BuildSetup(const std::wstring& exe, const PackageContents& contents) {
  return BuildInstaller(L"setup-stub.exe", exe, contents);
}

SetupSession::SetupSession(const std::wstring& exe, const PackageContents& contents) {
  if (BuildSetup(exe, contents)) Start(exe, SetupCaption(contents));
}

SetupSession::SetupSession(const std::wstring& exe, const std::wstring& caption) {
  Start(exe, caption);
}

void SetupSession::Start(const std::wstring& exe, const std::wstring& caption) {
  child_ = StartChild(Quoted(exe));
  if (child_.process == NULL) return;
  dialog_ = WaitForWindow(child_.pid, L"#32770", caption.c_str(), kWindowTimeoutMs);
  EXPECT_NE(dialog_, (HWND)NULL) << "no dialog titled " << Narrow(caption);
}

namespace {

struct OtherDialogSearch {
  DWORD pid;
  HWND dialog;
  HWND found;
};

BOOL CALLBACK MatchOtherDialog(HWND window, LPARAM param) {
  OtherDialogSearch* search = (OtherDialogSearch*)param;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  wchar_t name[64];
  GetClassNameW(window, name, 64);
  if (pid == search->pid && window != search->dialog && IsWindowVisible(window) &&
      lstrcmpW(name, L"#32770") == 0) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND SetupSession::WaitForOtherDialog(DWORD timeout_ms) {
  DWORD start = GetTickCount();
  for (;;) {
    OtherDialogSearch search = {child_.pid, dialog_, NULL};
    EnumWindows(MatchOtherDialog, (LPARAM)&search);
    if (search.found != NULL || GetTickCount() - start > timeout_ms) return search.found;
    Sleep(50);
  }
}

SetupSession::~SetupSession() {
  if (child_.process == NULL) return;
  if (WaitForSingleObject(child_.process, 0) != WAIT_OBJECT_0) {
    TerminateProcess(child_.process, kTimedOut);
    WaitForSingleObject(child_.process, 5000);
  }
  CloseHandle(child_.process);
}

bool SetupSession::Checked(int id) const {
  DWORD_PTR state = 0;
  SendMessageTimeoutW(Control(id), BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 5000, &state);
  return state == BST_CHECKED;
}

void SetupSession::SendCommand(int id) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(dialog_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)Control(id),
                      SMTO_NORMAL, 5000, &result);
}

void SetupSession::SetFolder(const std::wstring& text) {
  DWORD_PTR result = 0;
  SendMessageTimeoutW(Control(IDC_FOLDER_EDIT), WM_SETTEXT, 0, (LPARAM)text.c_str(), SMTO_NORMAL, 5000,
                      &result);
}

MessageBoxSeen SetupSession::WaitForBox(const wchar_t* caption, DWORD timeout_ms) {
  MessageBoxSeen seen;
  seen.window = WaitForWindow(child_.pid, L"#32770", caption, timeout_ms);
  if (seen.window == NULL) return seen;
  seen.caption = WindowText(seen.window);
  HWND text = GetDlgItem(seen.window, 0xFFFF);
  if (text != NULL) seen.text = WindowText(text);
  for (int id = IDOK; id < 12; ++id) seen.has_button[id] = GetDlgItem(seen.window, id) != NULL;
  return seen;
}

DWORD SetupSession::WaitForExit(DWORD timeout_ms) { return FinishChild(child_, timeout_ms); }

ScopedEnvironment::ScopedEnvironment(const wchar_t* name, const std::wstring& value)
    : name_(name) {
  wchar_t old[32768];
  DWORD length = GetEnvironmentVariableW(name, old, 32768);
  if (length > 0 && length < 32768) {
    had_value_ = true;
    old_value_.assign(old, length);
  }
  SetEnvironmentVariableW(name, value.c_str());
}

ScopedEnvironment::~ScopedEnvironment() {
  SetEnvironmentVariableW(name_.c_str(), had_value_ ? old_value_.c_str() : NULL);
}

namespace {

struct ClassSearch {
  const wchar_t* class_name;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM param) {
  ClassSearch* search = (ClassSearch*)param;
  wchar_t name[256];
  GetClassNameW(window, name, 256);
  if (IsWindowVisible(window) && lstrcmpW(name, search->class_name) == 0) {
    search->found.push_back(window);
  }
  return TRUE;
}

}  // namespace

int DialogWindowCount(DWORD pid) {
  int count = 0;
  for (HWND window : WindowsOfClass(L"#32770")) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == pid) ++count;
  }
  return count;
}

std::vector<HWND> WindowsOfClass(const wchar_t* class_name) {
  ClassSearch search = {class_name, {}};
  EnumWindows(CollectWindow, (LPARAM)&search);
  return search.found;
}

void CloseWindowsOfClass(const wchar_t* class_name) {
  for (HWND window : WindowsOfClass(class_name)) {
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(WaitForWindowGone(window, kWindowTimeoutMs));
  }
}

std::vector<std::wstring> WaitForRecordLines(const std::wstring& path, size_t count,
                                             DWORD timeout_ms) {
  DWORD start = GetTickCount();
  for (;;) {
    std::vector<unsigned char> bytes = ReadBytes(path);
    std::wstring text = Wide(std::string(bytes.begin(), bytes.end()));
    std::vector<std::wstring> lines;
    size_t begin = 0;
    for (size_t end; (end = text.find(L'\n', begin)) != std::wstring::npos; begin = end + 1) {
      lines.push_back(text.substr(begin, end - begin));
    }
    if (lines.size() >= count || GetTickCount() - start > timeout_ms) return lines;
    Sleep(50);
  }
}

std::vector<std::wstring> FolderContents(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}
