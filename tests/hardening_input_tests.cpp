// Hostile input met end to end by the shipped programs: packages built to attack the
// package reader inside the real setup executable, and logs built to attack the log reader
// run through the real uninstall.exe. The readers themselves are tested in depth in process
// (package_tests and uninstaller_replay_tests: every truncation, 12,000 and 50,000 mutation
// cases); these tests show that the programs refuse or skip such input and do no harm.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "setup/resource.h"
#include "harness/installation.h"
#include "harness/leftovers.h"
#include "harness/log_text.h"
#include "harness/message_boxes.h"
#include "harness/package_builder.h"
#include "harness/process.h"
#include "harness/scratch.h"
#include "harness/second_phase.h"
#include "harness/setup_session.h"
#include "harness/shell.h"

namespace {

typedef std::vector<uint8_t> Bytes;
const wchar_t kCorrupt[] = L"Could not extract installation data!";

// A package with a folder and three files; its first entry record follows the folder list.
TestPackageContents HostileBase() {
  TestPackageContents contents = TestPackage();
  contents.product_name = u"Hostile";
  contents.folders = {"sub"};
  AddEntry(contents, 0, "readme.txt", "read me");
  AddEntry(contents, 0, "sub\\data.bin", "data");
  AddEntry(contents, 0x0010, "hostile.exe", "MZ program");
  return contents;
}
constexpr size_t kFirstRecord = 204 + 1 + 3 + 1;

// ---- Packages, through setup-stub.exe ----

// A header that cannot be trusted: the setup refuses before its dialog shows.
TEST(HostilePackage, SetupRefusesAnUntrustworthyHeaderBeforeItsDialog) {
  ScratchFolder scratch;
  Bytes base = PackageBytes(HostileBase());
  struct Case {
    const char* what;
    Bytes bytes;
  };
  std::vector<Case> cases;
  cases.push_back({"header_size pointing past the end", WithUint32At(base, 0, 0xFFFFFFF0u)});
  cases.push_back(
      {"product name without terminator", WithUnterminatedString(base, kProductNameOffset)});
  cases.push_back({"shorter than its header", Bytes(base.begin(), base.begin() + 150)});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::wstring setup_exe = scratch / L"setup.exe";
    ASSERT_TRUE(EmbedPackageBytes(L"setup-stub.exe", setup_exe, c.bytes));
    AnsweredRun run = RunAnsweringMessageBoxes(Quoted(setup_exe), kRunTimeoutMs, IDOK,
                                               scratch.path().c_str());
    // The dialog never shows, only the fatal box.
    ExpectOnlyBox(run, L"Fatal error", kCorrupt);
  }
}

// Damage behind a sound header: the dialog shows, and Install refuses before anything is
// written, not even the installation folder.
TEST(HostilePackage, SetupRefusesDamagedRecordsBeforeWritingAnything) {
  ScratchFolder scratch;
  TestPackageContents contents = HostileBase();
  Bytes base = PackageBytes(contents);
  std::wstring dir = scratch / L"Hostile";
  struct Case {
    const char* what;
    Bytes bytes;
    std::wstring message = kCorrupt;
  };
  std::vector<Case> cases;
  Bytes folder_length = base;
  folder_length[204] = 255;
  cases.push_back({"folder length pointing past the end", folder_length});
  for (uint32_t size : {0xFFFFFFFFu, 0x7FFFFFFFu, (uint32_t)base.size()}) {
    cases.push_back(
        {"entry size pointing past the end", WithUint32At(base, kFirstRecord + 2 + 11, size)});
  }
  TestPackageContents long_name = HostileBase();
  AddEntry(long_name, 0, std::string(300, 'L'), "x");
  cases.push_back({"name of 300 bytes", PackageBytes(long_name)});
  TestPackageContents longest = HostileBase();
  AddEntry(longest, 0, std::string(259, 'L'), "x");
  cases.push_back({"name of 259 bytes, too long below a folder", PackageBytes(longest),
                   L"Could not create file\n>" + dir + L"\\" + std::wstring(259, L'L')});
  Bytes unterminated(base.begin(), base.end() - 2);
  unterminated.insert(unterminated.end(), {0x00, 0x00, 'n', 'o', 'e', 'n', 'd'});
  cases.push_back({"last name without terminator", unterminated});
  cases.push_back({"no end marker", Bytes(base.begin(), base.end() - 2)});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::wstring setup_exe = scratch / L"setup.exe";
    ASSERT_TRUE(EmbedPackageBytes(L"setup-stub.exe", setup_exe, c.bytes));
    {
      SetupSession setup(setup_exe, SetupCaption(contents));
      ASSERT_TRUE(setup.ok());
      setup.SetFolder(dir);
      setup.AgreeAndInstall();
      MessageBoxSeen box = setup.WaitForBox(L"Fatal error");
      ASSERT_NE(box.window, (HWND)NULL);
      // A long path may be cut in the box; what it shows is the message's beginning.
      EXPECT_GE(box.text.size(), std::min<size_t>(c.message.size(), 200u)) << Narrow(box.text);
      EXPECT_EQ(c.message.compare(0, box.text.size(), box.text), 0) << Narrow(box.text);
      PressButton(box.window, IDOK);
      EXPECT_EQ(setup.WaitForExit(), 0u);
    }
    EXPECT_FALSE(FolderExists(dir)) << "something was written";
  }
}

// ---- Logs, through uninstall.exe ----

// An installation folder with uninstall.exe and copies of the recording clean-up program
// under several names; the log is written by each test.
struct HostileInstallation : Installation {
  HostileInstallation() : Installation(L"Hostile", {}) {
    for (const wchar_t* name : {L"e.exe", L"f.exe", L"s.exe", L"r.exe", L"header.exe",
                                L"lower.exe", L"other.exe", L"after.exe", L"unfinished.exe"}) {
      CopyForTest(FakeCleanupExe(), *this / name);
    }
  }
  ScopedVariable linger{L"FAKE_CLEANUP_LINGER_MS", L"0"};
};

// Programs named anywhere but in a complete "E" record before the end marker are never
// started, by either phase.
TEST(HostileLog, OnlyExecutableRecordsStartPrograms) {
  SecondPhaseCleanup cleanup;
  HostileInstallation inst;
  std::wstring text = inst / L"header.exe" + L"#1.0#HostileWnd#DO NOT REMOVE/EDIT THIS FILE";
  text += L"\r\n|e|" + inst / L"lower.exe" + L"|";
  text += L"\r\n|E|" + inst / L"e.exe" + L"|";
  text += L"\r\n|F|" + inst / L"f.exe" + L"|";
  text += L"\r\n|S|" + inst / L"s.exe" + L"|";
  text += L"\r\n|R|" + inst / L"r.exe" + L"|";
  text += L"\r\n|X|" + inst / L"other.exe" + L"|";
  text += L"\r\n|E|" + inst / L"other.exe" + std::wstring(300, L' ') + L"|";
  text += L"\r\n|F|" + inst.log + L"|";
  text += L"\r\n||";
  text += L"\r\n|E|" + inst / L"after.exe" + L"|";
  WriteLog(inst.log, text);

  inst.UninstallSilently();
  std::vector<std::wstring> started = inst.CleanupStarts();
  ASSERT_EQ(started.size(), 1u) << Narrow(started);
  EXPECT_EQ(SplitCommandLine(started[0]),
            (std::vector<std::wstring>{inst / L"e.exe", L"/uninstall"}));
  EXPECT_FALSE(FileExists(inst / L"f.exe")) << "the walk went on to the F record";
}

TEST(HostileLog, UnfinishedExecutableRecordIsNotStarted) {
  SecondPhaseCleanup cleanup;
  HostileInstallation inst;
  WriteLog(inst.log,
           inst.LogOf({{L'E', inst / L"e.exe"}}, false) + L"\r\n|E|" + inst / L"unfinished.exe");
  inst.UninstallSilently();
  std::vector<std::wstring> started = inst.CleanupStarts();
  ASSERT_EQ(started.size(), 1u) << Narrow(started);
  EXPECT_EQ(SplitCommandLine(started[0]),
            (std::vector<std::wstring>{inst / L"e.exe", L"/uninstall"}));
}

// Symbolic paths whose number only wraps round to a real folder (4294967321 is 25 plus
// 2^32), or that have no ">", name nothing: the file on the all-users desktop stays. The
// record after them shows that the number 25 itself resolves.
TEST(HostileLog, SymbolicPathsWithHugeNumbersOrNoBracketRemoveNothing) {
  ScratchFolder scratch;
  std::wstring desktop = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
  ASSERT_FALSE(desktop.empty());
  std::wstring victim = desktop + L"\\hardening-victim.txt";
  std::wstring target = desktop + L"\\hardening-target.txt";
  Leftovers leftovers;
  leftovers.AddPath(victim);
  leftovers.AddPath(target);
  WriteText(victim, "stays");
  WriteText(target, "goes");
  std::wstring dir = scratch / L"Hostile 1.0";
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), NULL));
  WriteLog(dir + L"\\uninstall.dat",
           AlphaLog({{L'F', L"<4294967321>\\hardening-victim.txt"},
                     {L'F', L"<-4294967271>\\hardening-victim.txt"},
                     {L'F', L"<99999999999999999999999999>\\hardening-victim.txt"},
                     {L'F', L"<25\\hardening-victim.txt"},
                     {L'F', L"<25"},
                     {L'F', L"<"},
                     {L'F', L"<25>\\" + std::wstring(300, L'x')},
                     {L'F', L"<25>\\hardening-target.txt"},
                     {L'F', dir + L"\\uninstall.dat"}}));

  Child child = StartChild(Quoted(UninstallerExe()) + L" " + Quoted(dir) + L" /PHASE2 /SILENT",
                           scratch.path().c_str());
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 0u);
  EXPECT_TRUE(FileExists(victim));
  EXPECT_FALSE(FileExists(target));
}

}  // namespace
