// The uninstaller against a log and a folder that users could change: records no log of
// this installation holds, a forged header, logs built to attack the log reader, a logged
// folder replaced by a link to another folder, and folders swapped while it runs (renamed
// on the Unix side, harness/unix_side.h, which no hold stops under Wine). The log reader itself is tested in
// depth in process (uninstaller_replay_tests: every truncation and 50,000 mutation cases);
// these tests show that the real uninstall.exe refuses or skips such input and does no
// harm. Run through harness/link_fixture.sh, which makes that link on the Unix side (Wine
// follows a Unix symbolic link as Windows follows a junction, and cannot make either
// itself).
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include "harness/environment.h"
#include "harness/installation.h"
#include "harness/leftovers.h"
#include "harness/log_text.h"
#include "harness/message_boxes.h"
#include "harness/process.h"
#include "harness/registration.h"
#include "harness/scratch.h"
#include "harness/second_phase.h"
#include "harness/shell.h"
#include "harness/timeouts.h"
#include "harness/unix_side.h"

namespace {

// The folder of the link fixture (harness/link_fixture.sh), or "" without it.
std::wstring LinkFixture() { return EnvironmentValue(L"LINK_FIXTURE"); }

TEST(UninstallAttack, RecordsThatNoLogOfThisInstallationHoldsAreSkipped) {
  SecondPhaseCleanup cleanup;
  Installation inst(L"Hostile", {});
  const ScratchFolder& scratch = inst.scratch;
  const std::wstring& dir = inst.dir;
  CopyForTest(FakeCleanupExe(), dir + L"\\cleanup.exe");
  CopyForTest(FakeCleanupExe(), scratch / L"outside.exe");
  TestUninstallKey own(L"Hostile", L"1.0", dir + L"\\uninstall.exe");
  TestUninstallKey foreign(L"Other Product", L"1.0");
  const std::wstring programs = SpecialFolder(CSIDL_COMMON_PROGRAMS);
  const std::wstring shortcut = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\hostile.lnk";
  const std::wstring victims[] = {scratch / L"victim.txt",
                                  SpecialFolder(CSIDL_SYSTEM) + L"\\koz_victim.txt",
                                  programs.substr(0, programs.rfind(L'\\')) + L"\\koz_victim.txt"};
  Leftovers leftovers;
  for (const std::wstring& path : {victims[0], victims[1], victims[2]}) {
    leftovers.AddPath(path);
    WriteText(path, "victim");
  }
  // The product's own shortcut, leading into the installation.
  leftovers.AddPath(shortcut);
  ASSERT_TRUE(MakeShellLink(dir + L"\\cleanup.exe", shortcut));
  inst.WriteLog({{L'E', scratch / L"outside.exe"},
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
                 {L'F', inst.log},
                 {L'S', dir},
                 {L'S', scratch.path()}});
  inst.UninstallSilently();
  std::vector<std::wstring> started = inst.CleanupStarts();

  // Nothing outside the installation was touched or started ...
  for (const std::wstring& victim : victims) EXPECT_TRUE(FileExists(victim)) << Utf8(victim);
  EXPECT_TRUE(foreign.exists());
  ASSERT_EQ(started.size(), 1u);
  EXPECT_NE(started[0].find(dir + L"\\cleanup.exe"), std::wstring::npos) << Utf8(started[0]);
  // ... while the product's own records applied as always.
  EXPECT_FALSE(FolderExists(dir));
  EXPECT_FALSE(own.exists());
  EXPECT_FALSE(FileExists(shortcut));
  EXPECT_TRUE(FolderExists(scratch.path())) << "a folder above that is not empty stays";
}

// A log whose header names another product cannot remove that product's registration: the
// key's UninstallString names another folder's uninstaller.
TEST(UninstallAttack, ForgedHeaderKeepsAnotherProductsKey) {
  SecondPhaseCleanup cleanup;
  Installation inst(L"Forged", {});
  TestUninstallKey victim(L"Other Product", L"1.0",
                          inst.scratch / L"Other Product 1.0\\uninstall.exe");
  WriteLog(inst.log, LogContents(LogHeaderLine(L"Other Product", L"1.0", L"OtherWnd"),
                                 {{L'R', victim.subkey()},
                                  {L'F', inst / L"uninstall.exe"},
                                  {L'F', inst.log},
                                  {L'S', inst.dir}}));
  inst.UninstallSilently();
  EXPECT_TRUE(victim.exists());
  EXPECT_FALSE(FolderExists(inst.dir)) << "the forged installation's own files still go";
}

// The link fixture's folder: "inst", whose logged folder "data" was replaced by a link to
// "victim", which holds "file.txt".
TEST(UninstallAttack, LoggedFolderReplacedByALinkKeepsTheVictimsFiles) {
  const std::wstring fixture = LinkFixture();
  if (fixture.empty()) GTEST_SKIP() << "run through link_fixture.sh";
  SecondPhaseCleanup cleanup;
  const std::wstring dir = fixture + L"\\inst", victim = fixture + L"\\victim";
  const std::wstring record = fixture + L"\\started.txt";
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

// While the first phase works in an installation, its folders cannot be renamed (so none
// can be swapped for a link); a second phase that meets a link above its folder anyway
// changes nothing and says so.
TEST(LinkAttack, FoldersAboveTheInstallationAreHeldAndALinkThereStopsTheSecondPhase) {
  const std::wstring fixture = LinkFixture();
  if (fixture.empty()) GTEST_SKIP() << "run through link_fixture.sh";
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

// ---- Folders swapped while the uninstaller runs ----

// Ends a child that a failed check left running, so that nothing outlives the test.
struct EndedWhenGone {
  explicit EndedWhenGone(Child& child) : child(child) {}
  ~EndedWhenGone() {
    if (child.process != NULL) FinishChild(child, 0);
  }
  Child& child;
};

// Run Once's private folder swapped between the phases: while the first phase waits at its
// question, a user's process renames the private folder (on Windows one nobody holds
// between the phases; under Wine a Unix process ignores any hold) and makes a real folder
// of the same name with a log of its own, which names a file on the all-users desktop and
// itself, and a program under the uninstaller's name. The copy is made from the program
// the first phase holds; the second phase holds the other folder, finds it is not the one
// the first phase held, and removes nothing in either.
TEST(SwapAttack, RunOnceFolderSwappedBetweenThePhasesIsRefused) {
  SecondPhaseCleanup cleanup;
  ScratchFolder scratch;
  const std::wstring temp = scratch / L"temp";
  ASSERT_TRUE(CreateDirectoryW(temp.c_str(), NULL));
  TemporaryFolderAt temp_at(temp);
  const std::wstring private_folder = temp + L"\\koz-5a5a5a5a";
  const std::wstring dir = private_folder + L"\\KOZ_Soft_Swap";
  ASSERT_TRUE(CreateDirectoryW(private_folder.c_str(), NULL) &&
              CreateDirectoryW(dir.c_str(), NULL));
  CopyForTest(UninstallerExe(), dir + L"\\uninstall.exe");
  WriteText(dir + L"\\swap.txt", "installed");
  const std::wstring header = LogHeaderLine(L"Swap", L"1.0", L"SwapWnd");
  const std::wstring real_log = LogContents(header, {{L'F', dir + L"\\swap.txt"},
                                                     {L'F', dir + L"\\uninstall.exe"},
                                                     {L'F', dir + L"\\uninstall.dat"},
                                                     {L'S', dir},
                                                     {L'S', private_folder}});
  WriteLog(dir + L"\\uninstall.dat", real_log);
  const std::wstring victim =
      SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\koz-swap-victim.txt";
  Leftovers leftovers;
  leftovers.AddPath(victim);
  WriteText(victim, "belongs to no product");

  Child first = StartChild(Quoted(dir + L"\\uninstall.exe"), scratch.path().c_str());
  EndedWhenGone first_guard(first);
  MessageBoxSeen question = WaitForMessageBox(first.pid, kWindowTimeoutMs, L"Uninstaller");
  ASSERT_NE(question.window, (HWND)NULL);
  const std::wstring moved = temp + L"\\moved";
  ASSERT_TRUE(SwapOnUnixSide(private_folder, moved)) << "rename on the Unix side";
  ASSERT_TRUE(CreateDirectoryW(private_folder.c_str(), NULL) &&
              CreateDirectoryW(dir.c_str(), NULL));
  WriteText(dir + L"\\mine.txt", "the user's own");
  // A program of the user's choice under the uninstaller's name: the copy is not made from
  // it (here the same bytes, which would do the forged log's bidding).
  CopyForTest(UninstallerExe(), dir + L"\\uninstall.exe");
  const std::wstring forged = LogContents(header, {{L'F', L"<25>\\koz-swap-victim.txt"},
                                                   {L'F', dir + L"\\mine.txt"},
                                                   {L'F', dir + L"\\uninstall.dat"},
                                                   {L'S', dir},
                                                   {L'S', private_folder}});
  WriteLog(dir + L"\\uninstall.dat", forged);
  PressButton(question.window, IDYES);

  Child second = WaitForSecondPhaseStart(kWindowTimeoutMs);
  ASSERT_NE(second.process, nullptr);
  AnswerMessageBox(second.pid, L"Fatal error", kFolderChangedText, {IDOK}, IDOK);
  EXPECT_EQ(FinishChild(second, kRunTimeoutMs), 1u);
  EXPECT_EQ(FinishChild(first, kRunTimeoutMs), 0u);

  EXPECT_EQ(FileText(victim), "belongs to no product");
  EXPECT_EQ(ReadLog(dir + L"\\uninstall.dat"), forged);
  EXPECT_EQ(FileText(dir + L"\\mine.txt"), "the user's own");
  // The real installation, moved away, is untouched as well.
  const std::wstring moved_dir = moved + L"\\KOZ_Soft_Swap";
  EXPECT_EQ(ReadLog(moved_dir + L"\\uninstall.dat"), real_log);
  EXPECT_TRUE(FileExists(moved_dir + L"\\swap.txt"));
}

// A forged log that names the installation folder first, then holds slow records (each
// folder record pauses 100 ms) and a file record last: once the replay runs, a user's
// process moves the installation folder away and leaves a link to another folder in its
// place. File records are applied before any folder record, through the folder held all
// along, and a folder record never lets go of a folder for the records after it: the file
// behind the link stays.
TEST(SwapAttack, FolderRecordFirstThenALinkSwappedInDeletesNothingOutside) {
  const std::wstring fixture = LinkFixture();
  if (fixture.empty()) GTEST_SKIP() << "run through link_fixture.sh";
  SecondPhaseCleanup cleanup;
  const std::wstring parent = fixture + L"\\slow", dir = parent + L"\\Slow 1.0";
  const std::wstring victim = fixture + L"\\victim";
  ASSERT_TRUE(CreateDirectoryW(parent.c_str(), NULL) && CreateDirectoryW(dir.c_str(), NULL));
  const std::string victims_text = FileText(victim + L"\\file.txt");
  ASSERT_FALSE(victims_text.empty());
  WriteText(dir + L"\\file.txt", "ours");
  WriteText(dir + L"\\kept.txt", "the user's, named by no record");
  LogRecords records = {{L'S', dir}};
  for (int i = 0; i < 30; ++i) records.push_back({L'S', dir + L"\\slow" + std::to_wstring(i)});
  records.push_back({L'F', dir + L"\\file.txt"});
  records.push_back({L'F', dir + L"\\uninstall.dat"});
  WriteLog(dir + L"\\uninstall.dat",
           LogContents(LogHeaderLine(L"Slow", L"1.0", L"SlowWnd"), records));

  TestHandOver hand_over(fixture + L"\\second phase");
  Child second = hand_over.Start(dir, Quoted(dir) + L" /PHASE2 /SILENT", fixture.c_str());
  // The log goes right before the first record is applied.
  DWORD start = GetTickCount();
  while (FileExists(dir + L"\\uninstall.dat") && GetTickCount() - start < kRunTimeoutMs) {
    Sleep(10);
  }
  ASSERT_TRUE(SwapOnUnixSide(dir, parent + L"\\moved", victim)) << "swap on the Unix side";
  EXPECT_EQ(FinishChild(second, kRunTimeoutMs), 0u);

  EXPECT_EQ(FileText(victim + L"\\file.txt"), victims_text) << "deleted through the link";
  EXPECT_FALSE(FileExists(parent + L"\\moved\\file.txt")) << "the installation's own goes";
  EXPECT_TRUE(FileExists(parent + L"\\moved\\kept.txt"));
}

// ---- Logs built to attack the log reader ----

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
  ASSERT_EQ(started.size(), 1u) << Utf8Lines(started);
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
  ASSERT_EQ(started.size(), 1u) << Utf8Lines(started);
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
  std::wstring victim = desktop + L"\\hostile-victim.txt";
  std::wstring target = desktop + L"\\hostile-target.txt";
  Leftovers leftovers;
  leftovers.AddPath(victim);
  leftovers.AddPath(target);
  WriteText(victim, "stays");
  WriteText(target, "goes");
  std::wstring dir = scratch / L"Hostile 1.0";
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), NULL));
  WriteLog(dir + L"\\uninstall.dat",
           AlphaLog({{L'F', L"<4294967321>\\hostile-victim.txt"},
                     {L'F', L"<-4294967271>\\hostile-victim.txt"},
                     {L'F', L"<99999999999999999999999999>\\hostile-victim.txt"},
                     {L'F', L"<25\\hostile-victim.txt"},
                     {L'F', L"<25"},
                     {L'F', L"<"},
                     {L'F', L"<25>\\" + std::wstring(300, L'x')},
                     {L'F', L"<25>\\hostile-target.txt"},
                     {L'F', dir + L"\\uninstall.dat"}}));

  TestHandOver hand_over(scratch / L"second phase");
  Child child = hand_over.Start(dir, Quoted(dir) + L" /PHASE2 /SILENT", scratch.path().c_str());
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 0u);
  EXPECT_TRUE(FileExists(victim));
  // A file on the desktop that is no link into this installation is never removed, even
  // when a well-formed record names it.
  EXPECT_TRUE(FileExists(target));
  DeleteFileW(target.c_str());
}

}  // namespace
