// The launch step after the install run, and Run Once: which programs start, with which
// argument and folder, the wait for the Run Once program and the hand-over to the
// uninstaller. The sample program alpha.exe stands in for every started program: it records
// each start (ALPHA_RECORD) and keeps a window of class AlphaWnd open until closed. The
// dialog tests only show that the dialog's choices reach this step.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include "harness/install_run.h"
#include "harness/leftovers.h"
#include "harness/log_text.h"
#include "harness/package_builder.h"
#include "harness/process.h"
#include "harness/registry.h"
#include "harness/scratch.h"
#include "harness/shell.h"
#include "harness/start_records.h"
#include "harness/timeouts.h"

namespace {

// Waits for an AlphaWnd window, closes it and waits until its process has ended.
bool CloseAlphaWindow() {
  HWND window = WaitForWindow(0, L"AlphaWnd", NULL, kWindowTimeoutMs);
  if (window == NULL) return false;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  PostMessageW(window, WM_CLOSE, 0, 0);
  bool ended = WaitForWindowGone(window, 10000);
  if (process != NULL) {
    ended = WaitForSingleObject(process, 10000) == WAIT_OBJECT_0 && ended;
    CloseHandle(process);
  }
  return ended;
}

// Each test's scratch folder, alpha.exe's start records in it, and what its product leaves.
class Launch : public ::testing::Test {
 protected:
  // TestPackage() named `name`, whose registration, group and links go when the test ends.
  TestPackageContents Product(const std::wstring& name) {
    leftovers.AddProduct(name, L"1.0", L"first.lnk");
    TestPackageContents contents = TestPackage();
    contents.product_name = U16(name);
    return contents;
  }
  // Two launchable copies of alpha.exe (first.exe with every shortcut, bin\second.exe), a
  // text file between them and alpha.exe as the uninstaller.
  TestPackageContents LaunchPackage(const std::wstring& name) {
    TestPackageContents contents = Product(name);
    contents.folders = {"bin"};
    AddEntry(contents, 0x0017, "first.exe", FileText(AlphaExe()));
    AddEntry(contents, 0, "notes.txt", "notes");
    AddEntry(contents, 0x0010, "bin\\second.exe", FileText(AlphaExe()));
    AddUninstallerEntry(contents, L"alpha.exe");
    return contents;
  }

  ScratchFolder scratch;
  RecordedStarts record{scratch / L"starts.txt"};
  Leftovers leftovers;
};

TEST_F(Launch, NormalInstallStartsEveryLaunchableFileWithFirstRun) {
  const std::wstring dir = scratch / L"Launched";
  ExpectOnlyBox(RunInstall(scratch.path(), LaunchPackage(L"Launch Test"), dir, L"/launch"),
                kSuccessCaption, kSuccessText);
  EXPECT_TRUE(CloseAlphaWindow());
  EXPECT_TRUE(CloseAlphaWindow());

  // Both started without being waited for, so either may have recorded first.
  std::vector<ProgramStart> starts = record.Now();
  ASSERT_EQ(starts.size(), 2u);
  if (starts[0].command.find(L"second.exe") != std::wstring::npos) std::swap(starts[0], starts[1]);
  EXPECT_TRUE(starts[0].CommandEndsWith(dir + L"\\first.exe\" /FIRSTRUN"))
      << Utf8(starts[0].command);
  EXPECT_EQ(starts[0].folder, dir);
  EXPECT_TRUE(starts[1].CommandEndsWith(dir + L"\\bin\\second.exe\" /FIRSTRUN"))
      << Utf8(starts[1].command);
  EXPECT_EQ(starts[1].folder, dir + L"\\bin");
}

TEST_F(Launch, NormalInstallWithoutTheTickStartsNothing) {
  const std::wstring dir = scratch / L"NotLaunched";
  AnsweredRun run = RunInstall(scratch.path(), LaunchPackage(L"Quiet Test"), dir);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.boxes.size(), 1u);
  EXPECT_TRUE(FileExists(dir + L"\\first.exe"));
  EXPECT_TRUE(record.Now().empty());
  EXPECT_EQ(WaitForWindow(0, L"AlphaWnd", NULL, 0), (HWND)NULL);
}

TEST_F(Launch, RunOnceWaitsForTheFirstProgramThenStartsTheUninstaller) {
  const std::wstring dir = scratch / L"KOZ_Soft_RunOnce";
  const std::wstring desktop = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
  const std::wstring startup = SpecialFolder(CSIDL_COMMON_STARTUP);
  TestPackageContents contents = LaunchPackage(L"Run Once Test");
  contents.log_executables = 1;
  std::wstring installer = BuildProbeInstaller(scratch.path(), PackageBytes(contents));
  ASSERT_FALSE(installer.empty());
  Child child =
      StartChild(ProbeCommand(installer, dir, L"/runonce /desktop /startup /programs /launch"));

  // The first launchable program runs and the install run waits for it.
  HWND window = WaitForWindow(0, L"AlphaWnd", NULL, kWindowTimeoutMs);
  ASSERT_NE(window, (HWND)NULL);
  EXPECT_EQ(WaitForSingleObject(child.process, 0), (DWORD)WAIT_TIMEOUT);
  std::vector<ProgramStart> starts = record.Now();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_TRUE(starts[0].CommandEndsWith(dir + L"\\first.exe\" /RUNONCE"))
      << Utf8(starts[0].command);
  EXPECT_EQ(starts[0].folder, dir);
  EXPECT_TRUE(CloseAlphaWindow());

  // Then the uninstaller is started with "/AUTO" in the installation folder; the second
  // launchable program is not started at all.
  AnsweredRun run = FinishAnsweringMessageBoxes(child, kRunTimeoutMs);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_TRUE(run.boxes.empty()) << "Run Once shows no success message";
  EXPECT_TRUE(CloseAlphaWindow());
  starts = record.Now();
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_TRUE(starts[1].CommandEndsWith(dir + L"\\uninstall.exe\" /AUTO"))
      << Utf8(starts[1].command);
  EXPECT_TRUE(starts[1].RanIn(dir)) << Utf8(starts[1].folder);

  // The log still lists everything, with executables, but nothing outside the folders: no
  // shortcut, no registration.
  LogRecords records = {{L'E', dir + L"\\first.exe"},
                        {L'E', dir + L"\\bin\\second.exe"},
                        {L'F', dir + L"\\first.exe"},
                        {L'F', dir + L"\\notes.txt"},
                        {L'F', dir + L"\\bin\\second.exe"},
                        {L'F', dir + L"\\uninstall.exe"},
                        {L'F', dir + L"\\uninstall.dat"}};
  // Only the run's own folders: the installation's and the one it lies in (the private
  // folder, here the scratch folder), not the temporary folder and those above it.
  AddFolderRecords(records, {scratch.path(), dir}, {dir + L"\\bin"});
  EXPECT_EQ(ReadLog(dir + L"\\uninstall.dat"),
            LogContents(LogHeaderLine(L"Run Once Test", L"1.0", L"TestProductWindow"), records));
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey(L"Run Once Test", L"1.0")));
  EXPECT_FALSE(FileExists(desktop + L"\\first.lnk"));
  EXPECT_FALSE(FileExists(startup + L"\\first.lnk"));
  EXPECT_FALSE(FolderExists(SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Run Once Test 1.0"));
}

TEST_F(Launch, RunOnceWithoutLaunchableFileStartsTheUninstallerAtOnce) {
  const std::wstring dir = scratch / L"KOZ_Soft_Plain";
  TestPackageContents contents = Product(L"Plain Test");
  AddEntry(contents, 0x0007, "plain.txt", "plain");
  AddUninstallerEntry(contents, L"alpha.exe");
  AnsweredRun run =
      RunInstall(scratch.path(), contents, dir, L"/runonce /desktop /startup /programs");
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_TRUE(CloseAlphaWindow());
  std::vector<ProgramStart> starts = record.Now();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_TRUE(starts[0].CommandEndsWith(dir + L"\\uninstall.exe\" /AUTO"))
      << Utf8(starts[0].command);

  std::wstring log = ReadLog(dir + L"\\uninstall.dat");
  LogRecords records = {{L'F', dir + L"\\plain.txt"},
                        {L'F', dir + L"\\uninstall.exe"},
                        {L'F', dir + L"\\uninstall.dat"}};
  AddFolderRecords(records, {scratch.path(), dir});
  EXPECT_EQ(log, LogContents(LogHeaderLine(L"Plain Test", L"1.0", L"TestProductWindow"), records));
  EXPECT_EQ(log.find(L"|R|"), std::wstring::npos);
  EXPECT_EQ(log.find(L'<'), std::wstring::npos);
}

}  // namespace
