// The uninstaller against a log and a folder that users could change: records no log of
// this installation holds, and a logged folder replaced by a link to another folder. Run
// through security_link_fixture.sh, which makes that link on the Unix side (Wine follows a
// Unix symbolic link as Windows follows a junction, and cannot make either itself).
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include "setup/resource.h"
#include "harness/environment.h"
#include "harness/installation.h"
#include "harness/message_boxes.h"
#include "harness/package_builder.h"
#include "harness/setup_session.h"
#include "harness/leftovers.h"
#include "harness/log_text.h"
#include "harness/process.h"
#include "harness/registration.h"
#include "harness/scratch.h"
#include "harness/second_phase.h"
#include "harness/shell.h"
#include "harness/start_records.h"
#include "harness/timeouts.h"

namespace {

TEST(UninstallAttack, RecordsThatNoLogOfThisInstallationHoldsAreSkipped) {
  ScratchFolder scratch;
  SecondPhaseCleanup cleanup;
  const std::wstring dir = scratch / L"Hostile 1.0", record = scratch / L"started.txt";
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), NULL));
  CopyForTest(UninstallerExe(), dir + L"\\uninstall.exe");
  CopyForTest(FakeCleanupExe(), dir + L"\\cleanup.exe");
  CopyForTest(FakeCleanupExe(), scratch / L"outside.exe");
  ScopedVariable variable(L"FAKE_CLEANUP_RECORD", record);
  TestUninstallKey own(L"Hostile", L"1.0", dir + L"\\uninstall.exe");
  TestUninstallKey foreign(L"Other Product", L"1.0");
  const std::wstring programs = SpecialFolder(CSIDL_COMMON_PROGRAMS);
  const std::wstring shortcut = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\hostile.lnk";
  const std::wstring victims[] = {scratch / L"victim.txt",
                                  SpecialFolder(CSIDL_SYSTEM) + L"\\koz_victim.txt",
                                  programs.substr(0, programs.rfind(L'\\')) + L"\\koz_victim.txt"};
  Leftovers leftovers;
  for (const std::wstring& path : {victims[0], victims[1], victims[2], shortcut}) {
    leftovers.AddPath(path);
    WriteText(path, "victim");
  }
  WriteLog(dir + L"\\uninstall.dat",
           LogContents(LogHeaderLine(L"Hostile", L"1.0", L"HostileWnd"),
                       {{L'E', scratch / L"outside.exe"},
                        {L'E', dir + L"\\cleanup.exe"},
                        {L'R', foreign.subkey()},
                        {L'R', own.subkey()},
                        {L'F', victims[0]},
                        {L'F', L"<37>\\koz_victim.txt"},
                        {L'F', L"<23>..\\koz_victim.txt"},
                        {L'F', L"\\\\?\\" + victims[0]},
                        {L'F', dir + L"\\..\\victim.txt"},
                        {L'F', L"\\\\server\\share\\victim.txt"},
                        {L'F', L"<25>\\hostile.lnk"},
                        {L'F', dir + L"\\cleanup.exe"},
                        {L'F', dir + L"\\uninstall.exe"},
                        {L'F', dir + L"\\uninstall.dat"},
                        {L'S', dir},
                        {L'S', scratch.path()}}));
  UninstallSilently(dir);
  std::vector<std::wstring> started = CleanupStartsIn(record);

  // Nothing outside the installation was touched or started ...
  for (const std::wstring& victim : victims) EXPECT_TRUE(FileExists(victim)) << Narrow(victim);
  EXPECT_TRUE(foreign.exists());
  ASSERT_EQ(started.size(), 1u);
  EXPECT_NE(started[0].find(dir + L"\\cleanup.exe"), std::wstring::npos) << Narrow(started[0]);
  // ... while the product's own records applied as always.
  EXPECT_FALSE(FolderExists(dir));
  EXPECT_FALSE(own.exists());
  EXPECT_FALSE(FileExists(shortcut));
  EXPECT_TRUE(FolderExists(scratch.path())) << "a folder above that is not empty stays";
}

// A log whose header names another product cannot remove that product's registration: the
// key's UninstallString names another folder's uninstaller.
TEST(UninstallAttack, ForgedHeaderKeepsAnotherProductsKey) {
  ScratchFolder scratch;
  SecondPhaseCleanup cleanup;
  const std::wstring dir = scratch / L"Forged", record = scratch / L"started.txt";
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), NULL));
  CopyForTest(UninstallerExe(), dir + L"\\uninstall.exe");
  ScopedVariable variable(L"FAKE_CLEANUP_RECORD", record);
  TestUninstallKey victim(L"Other Product", L"1.0", scratch / L"Other Product 1.0\\uninstall.exe");
  WriteLog(dir + L"\\uninstall.dat",
           LogContents(LogHeaderLine(L"Other Product", L"1.0", L"OtherWnd"),
                       {{L'R', victim.subkey()},
                        {L'F', dir + L"\\uninstall.exe"},
                        {L'F', dir + L"\\uninstall.dat"},
                        {L'S', dir}}));
  UninstallSilently(dir);
  EXPECT_TRUE(victim.exists());
  EXPECT_FALSE(FolderExists(dir)) << "the forged installation's own files still go";
}

// security_link_fixture.sh's folder: "inst", whose logged folder "data" was replaced by a
// link to "victim", which holds "file.txt".
TEST(UninstallAttack, LoggedFolderReplacedByALinkKeepsTheVictimsFiles) {
  wchar_t fixture[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"SECURITY_LINK_FIXTURE", fixture, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) GTEST_SKIP() << "run through security_link_fixture.sh";
  SecondPhaseCleanup cleanup;
  const std::wstring dir = std::wstring(fixture) + L"\\inst";
  const std::wstring victim = std::wstring(fixture) + L"\\victim";
  const std::wstring record = std::wstring(fixture) + L"\\started.txt";
  ASSERT_TRUE(FileExists(dir + L"\\data\\file.txt")) << "the link does not lead to the victim";
  CopyForTest(UninstallerExe(), dir + L"\\uninstall.exe");
  CopyForTest(FakeCleanupExe(), victim + L"\\program.exe");
  WriteText(dir + L"\\own.txt", "ours");
  ScopedVariable variable(L"FAKE_CLEANUP_RECORD", record);
  WriteLog(dir + L"\\uninstall.dat",
           LogContents(LogHeaderLine(L"Linked", L"1.0", L"LinkedWnd"),
                       {{L'E', dir + L"\\data\\program.exe"},
                        {L'E', dir + L"\\data/program.exe"},
                        {L'F', dir + L"\\data\\file.txt"},
                        {L'F', dir + L"\\data/file.txt"},
                        {L'F', dir + L"\\own.txt"},
                        {L'F', dir + L"\\uninstall.exe"},
                        {L'F', dir + L"\\uninstall.dat"},
                        {L'S', dir + L"\\data"},
                        {L'S', dir}}));

  UninstallSilently(dir);
  EXPECT_TRUE(CleanupStartsIn(record).empty()) << "a program behind the link started";
  EXPECT_TRUE(FileExists(victim + L"\\file.txt")) << "deleted through the link";
  EXPECT_FALSE(FileExists(dir + L"\\own.txt")) << "the installation's own files still go";
}


// The fixture's folder, or "" when the test runs without security_link_fixture.sh.
std::wstring LinkFixture() {
  wchar_t fixture[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"SECURITY_LINK_FIXTURE", fixture, MAX_PATH);
  return length == 0 || length >= MAX_PATH ? std::wstring() : std::wstring(fixture);
}

// An elevated setup asked to install behind a link ("inst\data" leads to "victim") names
// the link and writes nothing, neither there nor in the folder it leads to.
TEST(LinkAttack, SetupRefusesALinkOnTheInstallationPath) {
  const std::wstring fixture = LinkFixture();
  if (fixture.empty()) GTEST_SKIP() << "run through security_link_fixture.sh";
  ScratchFolder scratch;
  TestPackageContents contents = DialogTestPackage(L"Linked Setup");
  AddUninstallerEntry(contents, FakeCleanupExe());
  AddEntry(contents, 0, "readme.txt", "read me");
  SetupSession setup(scratch / L"setup.exe", contents);
  ASSERT_TRUE(setup.ok());
  setup.SetFolder(fixture + L"\\inst\\data\\Product");
  setup.AgreeAndInstall();
  EXPECT_EQ(setup.AnswerLastBox(L"Fatal error",
                                L"Could not create folder [3]: it is a junction or symbolic "
                                L"link\n>" + fixture + L"\\inst\\data"),
            0u);
  EXPECT_FALSE(FolderExists(fixture + L"\\victim\\Product")) << "written through the link";
}

// While the first phase works in an installation, its folders cannot be renamed (so none
// can be swapped for a link); a second phase that meets a link above its folder anyway
// changes nothing and says so.
TEST(LinkAttack, FoldersAboveTheInstallationAreHeldAndALinkThereStopsTheSecondPhase) {
  const std::wstring fixture = LinkFixture();
  if (fixture.empty()) GTEST_SKIP() << "run through security_link_fixture.sh";
  SecondPhaseCleanup cleanup;
  const std::wstring parent = fixture + L"\\held", dir = parent + L"\\Held 1.0";
  ASSERT_TRUE(CreateDirectoryW(parent.c_str(), NULL) && CreateDirectoryW(dir.c_str(), NULL));
  CopyForTest(UninstallerExe(), dir + L"\\uninstall.exe");
  const std::wstring log = LogContents(LogHeaderLine(L"Held", L"1.0", L"HeldWnd"),
                                       {{L'F', dir + L"\\uninstall.exe"},
                                        {L'F', dir + L"\\uninstall.dat"},
                                        {L'S', dir}});
  WriteLog(dir + L"\\uninstall.dat", log);
  Child first = StartChild(Quoted(dir + L"\\uninstall.exe"), fixture.c_str());
  MessageBoxSeen question = WaitForMessageBox(first.pid, kWindowTimeoutMs, L"Uninstaller");
  ASSERT_NE(question.window, (HWND)NULL);
  EXPECT_FALSE(MoveFileW(parent.c_str(), (parent + L"-moved").c_str()));
  EXPECT_FALSE(MoveFileW(dir.c_str(), (parent + L"\\moved").c_str()));
  PressButton(question.window, IDNO);
  EXPECT_EQ(FinishChild(first, kRunTimeoutMs), 0u);

  // "victim" seen through the link "inst\data": a second phase for a folder there.
  const std::wstring behind = fixture + L"\\victim\\Behind";
  ASSERT_TRUE(CreateDirectoryW(behind.c_str(), NULL));
  WriteText(behind + L"\\kept.txt", "kept");
  const std::wstring linked = fixture + L"\\inst\\data\\Behind";
  const std::wstring linked_log = LogContents(LogHeaderLine(L"Held", L"1.0", L"HeldWnd"),
                                              {{L'F', linked + L"\\kept.txt"},
                                               {L'F', linked + L"\\uninstall.dat"}});
  WriteLog(behind + L"\\uninstall.dat", linked_log);
  Child second = StartChild(Quoted(UninstallerExe()) + L" " + Quoted(linked) + L" /PHASE2",
                            fixture.c_str());
  AnswerMessageBox(second.pid, L"Fatal error",
                   L"The installation folder is reached through a junction or symbolic link, "
                   L"uninstall aborted!",
                   {IDOK}, IDOK);
  EXPECT_EQ(FinishChild(second, kRunTimeoutMs), 1u);
  EXPECT_TRUE(FileExists(behind + L"\\kept.txt"));
  EXPECT_EQ(ReadLog(behind + L"\\uninstall.dat"), linked_log);
}

}  // namespace
