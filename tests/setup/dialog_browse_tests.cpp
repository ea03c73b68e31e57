// The "..." button: the shell's folder browser without owner, its prompt, cancel and choose.
#include <gtest/gtest.h>

#include "setup/folder_browser.h"
#include "setup/resource.h"
#include "harness/setup_session.h"

namespace {

const wchar_t kPrompt[] = L"Select the folder where to install the application";

struct ChildTexts {
  std::vector<std::wstring> classes;
  std::vector<std::wstring> texts;
};

BOOL CALLBACK CollectChild(HWND child, LPARAM param) {
  ChildTexts* found = (ChildTexts*)param;
  wchar_t name[64];
  GetClassNameW(child, name, 64);
  found->classes.push_back(name);
  std::wstring text = WindowText(child);
  std::wstring plain;
  for (wchar_t c : text) {
    if (c != L'&') plain += c;
  }
  found->texts.push_back(plain);
  return TRUE;
}

ChildTexts ChildrenOf(HWND window) {
  ChildTexts found;
  EnumChildWindows(window, CollectChild, (LPARAM)&found);
  return found;
}

bool Contains(const std::vector<std::wstring>& items, const std::wstring& wanted) {
  for (const std::wstring& item : items) {
    if (item.find(wanted) != std::wstring::npos) return true;
  }
  return false;
}

// Opens the browser from the dialog and returns its window.
HWND OpenBrowser(SetupSession& setup) {
  setup.Press(IDC_BROWSE);
  HWND browser = setup.WaitForOtherDialog(kWindowTimeoutMs);
  EXPECT_NE(browser, (HWND)NULL) << "no folder browser appeared";
  return browser;
}

TEST(FolderBrowser, ShowsThePromptWithoutOwnerAndCancelKeepsTheField) {
  ScratchFolder scratch;
  SetupSession setup(scratch / L"setup.exe", DialogTestPackage(L"Dlg Browse"));
  ASSERT_TRUE(setup.ok());
  std::wstring before = setup.Text(IDC_FOLDER_EDIT);
  HWND browser = OpenBrowser(setup);
  ASSERT_NE(browser, (HWND)NULL);
  ChildTexts children = ChildrenOf(browser);
  EXPECT_TRUE(Contains(children.texts, kPrompt));
  // New dialog style with an edit box: a field for the name and a new-folder button.
  EXPECT_TRUE(Contains(children.classes, L"Edit"));
  EXPECT_TRUE(Contains(children.texts, L"New Folder"));
  // No owner: the setup dialog stays usable while the browser is open.
  EXPECT_EQ(GetWindow(browser, GW_OWNER), (HWND)NULL);
  EXPECT_TRUE(IsWindowEnabled(setup.dialog()));
  setup.Click(IDC_LICENSE_AGREE);
  EXPECT_TRUE(setup.Enabled(IDOK));

  PressButton(browser, IDCANCEL);
  ASSERT_TRUE(WaitForWindowGone(browser, kWindowTimeoutMs));
  EXPECT_EQ(setup.Text(IDC_FOLDER_EDIT), before);
  EXPECT_EQ(setup.PressExit(), 0u);
}

TEST(FolderBrowser, ClosingTheBrowserKeepsTheField) {
  ScratchFolder scratch;
  SetupSession setup(scratch / L"setup.exe", DialogTestPackage(L"Dlg Browse Close"));
  ASSERT_TRUE(setup.ok());
  setup.SetFolder(L"typed by hand");
  HWND browser = OpenBrowser(setup);
  ASSERT_NE(browser, (HWND)NULL);
  PostMessageW(browser, WM_CLOSE, 0, 0);
  ASSERT_TRUE(WaitForWindowGone(browser, kWindowTimeoutMs));
  EXPECT_EQ(setup.Text(IDC_FOLDER_EDIT), L"typed by hand");
  EXPECT_EQ(setup.PressExit(), 0u);
}

// An existing folder in the field is the tree's root; choosing it puts it back unchanged,
// without a product subfolder.
TEST(FolderBrowser, ChoosingTheRootPutsItIntoTheField) {
  ScratchFolder scratch;
  std::wstring target = scratch / L"target";
  CreateDirectoryW(target.c_str(), NULL);
  CreateDirectoryW((target + L"\\inner").c_str(), NULL);
  SetupSession setup(scratch / L"setup.exe", DialogTestPackage(L"Dlg Browse Choose"));
  ASSERT_TRUE(setup.ok());
  setup.SetFolder(target);
  HWND browser = OpenBrowser(setup);
  ASSERT_NE(browser, (HWND)NULL);
  PressButton(browser, IDOK);
  ASSERT_TRUE(WaitForWindowGone(browser, kWindowTimeoutMs));
  EXPECT_EQ(lstrcmpiW(setup.Text(IDC_FOLDER_EDIT).c_str(), target.c_str()), 0)
      << Utf8(setup.Text(IDC_FOLDER_EDIT));
  EXPECT_EQ(setup.PressExit(), 0u);
}

TEST(PathToIdList, ExistingFolderParsesAndMissingOneGivesNull) {
  ScratchFolder scratch;
  LPITEMIDLIST list = NULL;
  ASSERT_TRUE(PathToIdList(scratch.path().c_str(), &list));
  ASSERT_NE(list, (LPITEMIDLIST)NULL);
  wchar_t back[MAX_PATH];
  EXPECT_TRUE(SHGetPathFromIDListW(list, back));
  EXPECT_EQ(lstrcmpiW(back, scratch.path().c_str()), 0) << Utf8(back);
  CoTaskMemFree(list);

  list = (LPITEMIDLIST)1;
  EXPECT_FALSE(PathToIdList((scratch / L"not there\\deeper").c_str(), &list));
  EXPECT_EQ(list, (LPITEMIDLIST)NULL);
  list = (LPITEMIDLIST)1;
  EXPECT_FALSE(PathToIdList(L"relative\\name", &list));
  EXPECT_EQ(list, (LPITEMIDLIST)NULL);
}

// In process: a helper thread cancels the browser as soon as it shows.
DWORD WINAPI CancelBrowser(void*) {
  HWND browser = WaitForWindow(GetCurrentProcessId(), L"#32770", NULL, kWindowTimeoutMs);
  if (browser == NULL) return 1;
  PostMessageW(browser, WM_COMMAND, IDCANCEL, 0);
  return 0;
}

TEST(BrowseForFolder, CancelGivesCancelledAndAnEmptyPath) {
  wchar_t path[MAX_PATH] = L"C:\\does not exist";
  HANDLE helper = CreateThread(NULL, 0, CancelBrowser, NULL, 0, NULL);
  EXPECT_EQ(BrowseForFolder(kPrompt, path), BROWSE_CANCELLED);
  EXPECT_STREQ(path, L"");
  WaitForSingleObject(helper, kWindowTimeoutMs);
  DWORD code = 1;
  GetExitCodeThread(helper, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(helper);
}

}  // namespace
