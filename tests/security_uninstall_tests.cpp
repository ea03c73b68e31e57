// The uninstaller against a log and a folder that a standard user could change when the
// installation folder is open to users: records no log of this installation holds, and a
// logged folder replaced by a link to another folder. Run through
// security_link_fixture.sh, which makes the link on the Unix side (Wine follows a Unix
// symbolic link as Windows follows a junction, and cannot make either itself).
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "harness/process.h"
#include "harness/scratch.h"
#include "harness/second_phase.h"
#include "uninstaller_test_support.h"

namespace {

constexpr DWORD kRunTimeout = 30000;

// Runs "uninstall.exe /AUTO" in `dir` and its second phase to the end.
void UninstallSilently(const std::wstring& dir) {
  Child child = StartChild(Quoted(dir + L"\\uninstall.exe") + L" /AUTO", dir.c_str());
  EXPECT_EQ(FinishChild(child, kRunTimeout), 0u);
  EXPECT_EQ(WaitForSecondPhaseEnd(kRunTimeout), 0u);
}

// The command lines of the recording programs that started.
std::vector<std::wstring> Started(const std::wstring& record) {
  std::vector<std::wstring> started;
  for (const std::vector<std::wstring>& line : RecordLines(record)) {
    if (line.size() >= 2 && line[0] == L"start") started.push_back(line[1]);
  }
  return started;
}

// Files outside the installation that hostile records name, removed afterwards.
struct Victims {
  std::vector<std::wstring> paths;
  ~Victims() {
    for (const std::wstring& path : paths) DeleteFileW(path.c_str());
  }
  const std::wstring& Add(const std::wstring& path) {
    WriteText(path, "victim");
    paths.push_back(path);
    return paths.back();
  }
};

TEST(UninstallAttack, RecordsThatNoLogOfThisInstallationHoldsAreSkipped) {
  ScratchFolder scratch;
  SecondPhaseCleanup cleanup;
  const std::wstring dir = scratch / L"Hostile 1.0";
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), NULL));
  ASSERT_TRUE(CreateDirectoryW((dir + L"\\sub").c_str(), NULL));
  CopyForTest(UninstallerExe(), dir + L"\\uninstall.exe");
  CopyForTest(FakeCleanupExe(), dir + L"\\cleanup.exe");
  CopyForTest(FakeCleanupExe(), scratch / L"outside.exe");
  WriteText(dir + L"\\sub\\own.txt", "ours");
  const std::wstring record = scratch / L"started.txt";
  ScopedVariable variable(L"FAKE_CLEANUP_RECORD", record);
  TestUninstallKey own(L"Hostile 1.0"), foreign(L"Other Product 1.0");

  Victims victims;
  const std::wstring outside = victims.Add(scratch / L"victim.txt");
  const std::wstring system = victims.Add(SpecialFolder(CSIDL_SYSTEM) + L"\\koz_victim.txt");
  const std::wstring programs = SpecialFolder(CSIDL_COMMON_PROGRAMS);
  const std::wstring start_menu =
      victims.Add(programs.substr(0, programs.rfind(L'\\')) + L"\\koz_victim.txt");
  const std::wstring shortcut =
      victims.Add(SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\hostile.lnk");

  WriteLog(dir + L"\\uninstall.dat",
           LogTextOf({{L'E', scratch / L"outside.exe"},
                      {L'E', dir + L"\\cleanup.exe"},
                      {L'R', foreign.subkey()},
                      {L'R', own.subkey()},
                      {L'F', outside},
                      {L'F', L"<37>\\koz_victim.txt"},
                      {L'F', L"<23>..\\koz_victim.txt"},
                      {L'F', L"\\\\server\\share\\victim.txt"},
                      {L'F', L"\\\\?\\" + outside},
                      {L'F', dir + L"\\..\\victim.txt"},
                      {L'F', dir + L"\\sub\\own.txt"},
                      {L'F', L"<25>\\hostile.lnk"},
                      {L'F', dir + L"\\cleanup.exe"},
                      {L'F', dir + L"\\uninstall.exe"},
                      {L'F', dir + L"\\uninstall.dat"},
                      {L'S', dir + L"\\sub"},
                      {L'S', dir},
                      {L'S', scratch.path()}},
                     true, L"Hostile#1.0#HostileWnd"));
  UninstallSilently(dir);

  // Nothing outside the installation was touched or started ...
  for (const std::wstring& victim : {outside, system, start_menu}) {
    EXPECT_TRUE(FileExists(victim)) << Narrow(victim);
  }
  EXPECT_TRUE(foreign.exists());
  std::vector<std::wstring> started = Started(record);
  ASSERT_EQ(started.size(), 1u);
  EXPECT_NE(started[0].find(L"Hostile 1.0\\cleanup.exe"), std::wstring::npos)
      << Narrow(started[0]);
  // ... while the product's own records applied as always.
  EXPECT_FALSE(FolderExists(dir));
  EXPECT_FALSE(own.exists());
  EXPECT_FALSE(FileExists(shortcut));
  EXPECT_TRUE(FolderExists(scratch.path())) << "an ancestor that is not empty stays";
}

// The fixture folder made by security_link_fixture.sh: "inst" with the link "inst\data" to
// "victim", which holds "file.txt" and "program.exe" is to be copied there.
std::wstring LinkFixture() {
  wchar_t value[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"SECURITY_LINK_FIXTURE", value, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

TEST(UninstallAttack, LoggedFolderReplacedByALinkKeepsTheVictimsFiles) {
  const std::wstring fixture = LinkFixture();
  if (fixture.empty()) GTEST_SKIP() << "run through security_link_fixture.sh";
  SecondPhaseCleanup cleanup;
  const std::wstring dir = fixture + L"\\inst";
  const std::wstring victim = fixture + L"\\victim";
  ASSERT_TRUE(FileExists(dir + L"\\data\\file.txt")) << "the link does not lead to the victim";
  CopyForTest(UninstallerExe(), dir + L"\\uninstall.exe");
  CopyForTest(FakeCleanupExe(), victim + L"\\program.exe");
  WriteText(dir + L"\\own.txt", "ours");
  const std::wstring record = fixture + L"\\started.txt";
  ScopedVariable variable(L"FAKE_CLEANUP_RECORD", record);

  // As setup logged "data" before a user replaced it with the link.
  WriteLog(dir + L"\\uninstall.dat",
           LogTextOf({{L'E', dir + L"\\data\\program.exe"},
                      {L'F', dir + L"\\data\\file.txt"},
                      {L'F', dir + L"\\data\\program.exe"},
                      {L'F', dir + L"\\own.txt"},
                      {L'F', dir + L"\\uninstall.exe"},
                      {L'F', dir + L"\\uninstall.dat"},
                      {L'S', dir + L"\\data"},
                      {L'S', dir}},
                     true, L"Linked#1.0#LinkedWnd"));
  UninstallSilently(dir);

  EXPECT_TRUE(FileExists(victim + L"\\file.txt")) << "deleted through the link";
  EXPECT_TRUE(FileExists(victim + L"\\program.exe"));
  EXPECT_TRUE(Started(record).empty()) << "a program behind the link was started";
  EXPECT_FALSE(FileExists(dir + L"\\own.txt")) << "the installation's own files still go";
  EXPECT_FALSE(FileExists(dir + L"\\uninstall.dat"));
}

}  // namespace
