// Which shortcuts an uninstall may remove: only links that still lead into the installation
// being removed. Another installation may have put a link of the same name in the same
// folder since; a link that cannot be read is kept.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "harness/scratch.h"
#include "harness/shell.h"
#include "packer/windows/windows_text.h"
#include "uninstaller/installation_lock.h"
#include "uninstaller/shortcut_target.h"

namespace {

bool LeadsInto(const std::wstring& link_path, const std::wstring& folder) {
  HANDLE link = CreateFileW(link_path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                            0, NULL);
  EXPECT_NE(link, INVALID_HANDLE_VALUE) << Utf8(link_path);
  bool inside = LinkLeadsInto(link, folder.c_str());
  CloseHandle(link);
  return inside;
}

TEST(ShortcutTarget, OnlyLinksIntoThisInstallationAreItsOwn) {
  ScratchFolder scratch;
  const std::wstring mine = scratch / L"Alpha 2.4", newer = scratch / L"Alpha 2.4 New";
  for (const std::wstring& folder : {mine, newer, mine + L"\\bin"}) {
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), NULL));
  }
  WriteText(mine + L"\\bin\\alpha.exe", "2.4");
  WriteText(newer + L"\\alpha.exe", "2.5");
  ASSERT_TRUE(MakeShellLink(mine + L"\\bin\\alpha.exe", scratch / L"mine.lnk"));
  ASSERT_TRUE(MakeShellLink(newer + L"\\alpha.exe", scratch / L"newer.lnk"));
  WriteText(scratch / L"garbage.lnk", "not a shell link at all");
  wchar_t short_form[MAX_PATH];
  ASSERT_GT(GetShortPathNameW(mine.c_str(), short_form, MAX_PATH), 0u);
  ASSERT_TRUE(MakeShellLink(std::wstring(short_form) + L"\\bin\\alpha.exe", scratch / L"short.lnk"));

  EXPECT_TRUE(LeadsInto(scratch / L"mine.lnk", mine));
  EXPECT_TRUE(LeadsInto(scratch / L"short.lnk", mine)) << "the long form is compared";
  EXPECT_FALSE(LeadsInto(scratch / L"newer.lnk", mine))
      << "a folder whose name only begins like this one's is another folder";
  EXPECT_TRUE(LeadsInto(scratch / L"newer.lnk", newer));
  EXPECT_FALSE(LeadsInto(scratch / L"garbage.lnk", mine)) << "an unreadable link is kept";
}

struct LockAttempt {
  const wchar_t* folder;
  HANDLE lock;
};

DWORD WINAPI TryLock(void* context) {
  LockAttempt* attempt = (LockAttempt*)context;
  attempt->lock = LockInstallation(attempt->folder, 200);
  if (attempt->lock != NULL) CloseHandle(attempt->lock);
  return 0;
}

// Whether another thread (a mutex's owner is a thread) gets the lock of `folder`.
bool OtherThreadGetsLock(const wchar_t* folder) {
  LockAttempt attempt = {folder, NULL};
  HANDLE thread = CreateThread(NULL, 0, TryLock, &attempt, 0, NULL);
  WaitForSingleObject(thread, 5000);
  CloseHandle(thread);
  return attempt.lock != NULL;
}

// Two uninstalls of one installation never run side by side: the second waits for the
// first, and gives up when it does not end in time. The lock knows the folder in any case.
TEST(InstallationLock, SecondUninstallOfTheSameFolderWaits) {
  HANDLE first = LockInstallation(L"C:\\Program Files\\KOZ Soft\\Alpha 1.0", 0);
  ASSERT_NE(first, (HANDLE)NULL);
  EXPECT_FALSE(OtherThreadGetsLock(L"c:\\program files\\koz soft\\ALPHA 1.0"));
  EXPECT_TRUE(OtherThreadGetsLock(L"C:\\Program Files\\KOZ Soft\\Alpha 2.0")) << "another one";
  CloseHandle(first);
  EXPECT_TRUE(OtherThreadGetsLock(L"C:\\Program Files\\KOZ Soft\\Alpha 1.0")) << "let go";
}

}  // namespace
