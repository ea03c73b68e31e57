#include "harness/setup_session.h"

#include <gtest/gtest.h>

#include "setup/resource.h"
#include "harness/text.h"

TestPackageContents DialogTestPackage(const std::wstring& product_name) {
  TestPackageContents contents = TestPackage();
  contents.product_name = U16(product_name);
  contents.product_version = u"2.5";
  contents.window_class = U16(product_name + L"Wnd");
  return contents;
}

std::wstring SetupCaption(const TestPackageContents& contents) {
  return std::wstring(contents.product_name.begin(), contents.product_name.end()) + L" " +
         std::wstring(contents.product_version.begin(), contents.product_version.end()) +
         L" Installer";
}

bool BuildSetup(const std::wstring& exe, const TestPackageContents& contents) {
  return BuildInstaller(L"setup-stub.exe", exe, contents);
}

void SetupSession::AgreeAndInstall() {
  Click(IDC_LICENSE_AGREE);
  Press(IDOK);
}

SetupSession::SetupSession(const std::wstring& exe, const TestPackageContents& contents) {
  if (BuildSetup(exe, contents)) Start(exe, SetupCaption(contents));
}

SetupSession::SetupSession(const std::wstring& exe, const std::wstring& caption) {
  Start(exe, caption);
}

void SetupSession::Start(const std::wstring& exe, const std::wstring& caption) {
  child_ = StartChild(Quoted(exe));
  if (child_.process == NULL) {
    ADD_FAILURE() << "could not start " << Utf8(exe);
    return;
  }
  dialog_ = WaitForWindow(child_.pid, L"#32770", caption.c_str(), kWindowTimeoutMs);
  EXPECT_NE(dialog_, (HWND)NULL) << "no dialog titled " << Utf8(caption);
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
  SendMessageTimeoutW(Control(IDC_FOLDER_EDIT), WM_SETTEXT, 0, (LPARAM)text.c_str(), SMTO_NORMAL,
                      5000, &result);
}

std::wstring SetupScratch::MakeFolder(const std::wstring& path) {
  EXPECT_TRUE(CreateDirectoryW(path.c_str(), NULL)) << Utf8(path);
  return path;
}

FakeRunningApplication::FakeRunningApplication(const std::wstring& class_name)
    : class_name_(class_name) {
  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = DefWindowProcW;
  window_class.hInstance = GetModuleHandleW(NULL);
  window_class.lpszClassName = class_name_.c_str();
  RegisterClassW(&window_class);
  window_ = CreateWindowW(class_name_.c_str(), L"Running", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                          NULL, NULL, GetModuleHandleW(NULL), NULL);
}

void FakeRunningApplication::Close() {
  if (window_ != NULL) DestroyWindow(window_);
  window_ = NULL;
  UnregisterClassW(class_name_.c_str(), GetModuleHandleW(NULL));
}
