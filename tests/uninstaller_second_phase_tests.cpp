// The uninstaller's second phase started directly, as the temporary copy is started:
// installation folder, "/PHASE2", optionally "/SILENT". It reads and deletes the log and
// removes what the records name, in file order.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "harness/process.h"
#include "harness/scratch.h"
#include "harness/windows.h"
#include "uninstaller_test_support.h"

namespace {

const wchar_t kDoneText[] = L"Uninstall completed, thank you for using KOZ Soft products";
const wchar_t kNotOpenedText[] = L"Could not open uninstall.dat, uninstall aborted!";
constexpr DWORD kRunTimeout = 30000;

// An installation folder with a few files, its log beside them, and a sibling file
// outside the installation that nothing may touch.
struct Installation {
  ScratchFolder scratch;
  std::wstring dir = scratch / L"Alpha 1.0";
  std::wstring log = dir + L"\\uninstall.dat";
  std::wstring outsider = scratch / L"outsider.txt";

  Installation() {
    CreateDirectoryW(dir.c_str(), NULL);
    CreateDirectoryW((dir + L"\\help").c_str(), NULL);
    WriteText(dir + L"\\alpha.exe", "program");
    WriteText(dir + L"\\help\\index.htm", "help");
    WriteText(dir + L"\\uninstall.exe", "uninstaller");
    WriteText(outsider, "not ours");
  }
  std::wstring operator/(const std::wstring& relative) const { return dir + L"\\" + relative; }
};

// Starts uninstall.exe with `arguments` after the program name, in `directory`.
Child StartSecondPhase(const std::wstring& arguments, const std::wstring& directory) {
  return StartChild(Quoted(UninstallerExe()) + L" " + arguments, directory.c_str());
}

DWORD RunSilently(const Installation& installation, const std::wstring& arguments) {
  Child child = StartSecondPhase(arguments, installation.scratch.path());
  return FinishChild(child, kRunTimeout);
}

TEST(UninstallerSecondPhase, RemovesFilesKeyAndEmptiedFolders) {
  Installation inst;
  TestUninstallKey key(L"Alpha 1.0");  // the key the log's header names
  WriteLog(inst.log, LogTextOf({{L'R', key.subkey()},
                                {L'F', inst / L"help\\index.htm"},
                                {L'F', inst / L"alpha.exe"},
                                {L'F', inst / L"uninstall.exe"},
                                {L'F', inst / L"uninstall.dat"},
                                {L'S', inst / L"help"},
                                {L'S', inst.dir}}));
  EXPECT_EQ(RunSilently(inst, Quoted(inst.dir) + L" /PHASE2 /SILENT"), 0u);

  EXPECT_FALSE(FolderExists(inst.dir));
  EXPECT_FALSE(key.exists());
  EXPECT_TRUE(FileExists(inst.outsider));
  EXPECT_TRUE(FolderExists(inst.scratch.path())) << "a folder the log does not name stays";
}

TEST(UninstallerSecondPhase, AppliesRecordsOnceInFileOrder) {
  Installation inst;
  // The folder's record comes before its file's: in one pass the folder is still full at
  // its turn and stays, while the file goes afterwards.
  WriteLog(inst.log, LogTextOf({{L'S', inst / L"help"},
                                {L'F', inst / L"help\\index.htm"},
                                {L'F', inst / L"alpha.exe"}}));
  EXPECT_EQ(RunSilently(inst, Quoted(inst.dir) + L" /PHASE2 /SILENT"), 0u);
  EXPECT_FALSE(FileExists(inst / L"help\\index.htm"));
  EXPECT_FALSE(FileExists(inst / L"alpha.exe"));
  EXPECT_TRUE(FolderExists(inst / L"help"));
  EXPECT_FALSE(FileExists(inst.log));
}

TEST(UninstallerSecondPhase, FolderHoldingAUserFileStaysWithItsParents) {
  Installation inst;
  CreateDirectoryW((inst / L"help\\notes").c_str(), NULL);
  WriteText(inst / L"help\\notes\\mine.txt", "the user's");
  WriteLog(inst.log, LogTextOf({{L'F', inst / L"help\\index.htm"},
                                {L'F', inst / L"alpha.exe"},
                                {L'F', inst / L"uninstall.exe"},
                                {L'F', inst / L"uninstall.dat"},
                                {L'S', inst / L"help\\notes"},
                                {L'S', inst / L"help"},
                                {L'S', inst.dir}}));
  EXPECT_EQ(RunSilently(inst, Quoted(inst.dir) + L" /PHASE2 /SILENT"), 0u);

  EXPECT_TRUE(FileExists(inst / L"help\\notes\\mine.txt"));
  EXPECT_FALSE(FileExists(inst / L"help\\index.htm"));
  EXPECT_FALSE(FileExists(inst / L"alpha.exe"));
  EXPECT_FALSE(FileExists(inst / L"uninstall.exe"));
  EXPECT_FALSE(FileExists(inst.log));
}

TEST(UninstallerSecondPhase, ExecutableRecordsArePassedOver) {
  Installation inst;
  CopyForTest(FakeCleanupExe(), inst / L"cleanup.exe");
  std::wstring record = inst.scratch / L"started.txt";
  ScopedVariable variable(L"FAKE_CLEANUP_RECORD", record);
  WriteLog(inst.log, LogTextOf({{L'E', inst / L"cleanup.exe"}, {L'E', inst / L"alpha.exe"},
                                {L'F', inst / L"help\\index.htm"}}));
  EXPECT_EQ(RunSilently(inst, Quoted(inst.dir) + L" /PHASE2 /SILENT"), 0u);

  EXPECT_TRUE(FileExists(inst / L"cleanup.exe"));
  EXPECT_TRUE(FileExists(inst / L"alpha.exe"));
  EXPECT_FALSE(FileExists(inst / L"help\\index.htm"));
  EXPECT_FALSE(FileExists(record)) << "no program is started in this phase";
}

TEST(UninstallerSecondPhase, LogWithoutEndMarkerAppliesItsCompleteRecords) {
  Installation inst;
  // An install run that ended in a fatal error: the last record is cut short.
  WriteLog(inst.log, LogTextOf({{L'F', inst / L"alpha.exe"}}, false) + L"\r\n|F|" +
                         inst / L"help\\index.htm");
  EXPECT_EQ(RunSilently(inst, Quoted(inst.dir) + L" /PHASE2 /SILENT"), 0u);
  EXPECT_FALSE(FileExists(inst / L"alpha.exe"));
  EXPECT_TRUE(FileExists(inst / L"help\\index.htm"));
  EXPECT_FALSE(FileExists(inst.log));
}

TEST(UninstallerSecondPhase, EmptyLogIsDeletedAndDoneIsShown) {
  Installation inst;
  WriteBytes(inst.log, "", 0);
  Child child = StartSecondPhase(Quoted(inst.dir) + L" /PHASE2", inst.scratch.path());
  AnswerMessageBox(child.pid, L"Done", kDoneText, {IDOK}, IDOK);
  EXPECT_EQ(FinishChild(child, kRunTimeout), 0u);
  EXPECT_FALSE(FileExists(inst.log));
  EXPECT_TRUE(FileExists(inst / L"alpha.exe"));
}

TEST(UninstallerSecondPhase, HeaderAndEndMarkerOnlyDeleteTheLog) {
  Installation inst;
  WriteLog(inst.log, LogTextOf({}));
  EXPECT_EQ(RunSilently(inst, Quoted(inst.dir) + L" /PHASE2 /SILENT"), 0u);
  EXPECT_FALSE(FileExists(inst.log));
  EXPECT_TRUE(FileExists(inst / L"alpha.exe"));
  EXPECT_TRUE(FileExists(inst / L"help\\index.htm"));
  EXPECT_TRUE(FileExists(inst / L"uninstall.exe"));
}

TEST(UninstallerSecondPhase, RecordsSeparatedByOtherTextAreReadTheSame) {
  Installation inst;
  std::wstring text = L"Alpha#1.0#AlphaWnd#DO NOT REMOVE/EDIT THIS FILE|F|" +
                      inst / L"alpha.exe" + L"| and |F|" + inst / L"help\\index.htm" + L"|\n||";
  WriteLog(inst.log, text);
  EXPECT_EQ(RunSilently(inst, Quoted(inst.dir) + L" /PHASE2 /SILENT"), 0u);
  EXPECT_FALSE(FileExists(inst / L"alpha.exe"));
  EXPECT_FALSE(FileExists(inst / L"help\\index.htm"));
}

TEST(UninstallerSecondPhase, SymbolicPathsAreResolvedThroughTheShell) {
  Installation inst;
  std::wstring desktop = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
  std::wstring programs = SpecialFolder(CSIDL_COMMON_PROGRAMS);
  ASSERT_FALSE(desktop.empty());
  ASSERT_FALSE(programs.empty());
  std::wstring group_name = L"KOZ Uninstaller Test " + std::to_wstring(GetCurrentProcessId());
  std::wstring group = programs + L"\\" + group_name;
  std::wstring desktop_link = desktop + L"\\" + group_name + L".lnk";
  CreateDirectoryW(group.c_str(), NULL);
  WriteText(group + L"\\alpha.lnk", "link");
  WriteText(desktop_link, "link");

  WriteLog(inst.log, LogTextOf({{L'F', L"<25>\\" + group_name + L".lnk"},
                                {L'F', L"<23>" + group_name + L"\\alpha.lnk"},
                                {L'S', L"<23>" + group_name}}));
  EXPECT_EQ(RunSilently(inst, Quoted(inst.dir) + L" /PHASE2 /SILENT"), 0u);
  EXPECT_FALSE(FileExists(desktop_link));
  EXPECT_FALSE(FolderExists(group));
  EXPECT_TRUE(FolderExists(programs));
  RemoveTree(group);
  RemoveTree(desktop_link);
}

TEST(UninstallerSecondPhase, UnavailableSpecialFolderSkipsOnlyItsRecord) {
  Installation inst;
  // Were the unknown folder taken as empty, the rest would name this file relative to the
  // working directory.
  std::wstring victim = inst.scratch / L"victim.txt";
  WriteText(victim, "stays");
  WriteLog(inst.log, LogTextOf({{L'F', L"<9999>victim.txt"},
                                {L'F', L"<4>victim.txt"},
                                {L'F', L"<25victim.txt"},
                                {L'F', inst / L"alpha.exe"}}));
  EXPECT_EQ(RunSilently(inst, Quoted(inst.dir) + L" /PHASE2 /SILENT"), 0u);
  EXPECT_TRUE(FileExists(victim));
  EXPECT_FALSE(FileExists(inst / L"alpha.exe"));
}

TEST(UninstallerSecondPhase, HostileRecordsRemoveNothingTheyDoNotNameInFull) {
  Installation inst;
  TestUninstallKey key(L"HostileLogTest 1.0");
  std::wstring keep = inst / L"keep.txt";
  WriteText(keep, "stays");
  // Each of these would name something else if taken loosely: the path before a NUL,
  // a folder without its ">", a path cut to 259 characters, HKEY_LOCAL_MACHINE itself.
  std::wstring with_nul = keep + std::wstring(1, L'\0') + L".bak";
  std::wstring cut = keep + std::wstring(300, L' ');
  WriteLog(inst.log, LogTextOf({{L'F', with_nul},
                                {L'F', L"<38" + keep},
                                {L'F', cut},
                                {L'R', L""},
                                {L'S', std::wstring(1, L'\0') + inst.dir},
                                {L'F', inst / L"alpha.exe"}}));
  EXPECT_EQ(RunSilently(inst, Quoted(inst.dir) + L" /PHASE2 /SILENT"), 0u);
  EXPECT_TRUE(FileExists(keep));
  EXPECT_TRUE(key.exists());
  EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE"));
  EXPECT_FALSE(FileExists(inst / L"alpha.exe")) << "the walk goes on after them";
}

TEST(UninstallerSecondPhase, LowerCaseArgumentsAreAccepted) {
  Installation inst;
  WriteLog(inst.log, LogTextOf({{L'F', inst / L"alpha.exe"}}));
  // "/silent" in any case silences the phase: a box would make the run time out.
  EXPECT_EQ(RunSilently(inst, Quoted(inst.dir) + L" /phase2 /silent"), 0u);
  EXPECT_FALSE(FileExists(inst / L"alpha.exe"));
}

TEST(UninstallerSecondPhase, FolderWithTrailingBackslashIsAccepted) {
  Installation inst;
  WriteLog(inst.log, LogTextOf({{L'F', inst / L"alpha.exe"}}));
  // Two backslashes before the closing quote reach the program as one.
  EXPECT_EQ(RunSilently(inst, L"\"" + inst.dir + L"\\\\\" /PHASE2 /SILENT"), 0u);
  EXPECT_FALSE(FileExists(inst / L"alpha.exe"));
}

TEST(UninstallerSecondPhase, SilentWithOneMoreArgumentStaysInteractive) {
  Installation inst;
  WriteLog(inst.log, LogTextOf({{L'F', inst / L"alpha.exe"}}));
  Child child =
      StartSecondPhase(Quoted(inst.dir) + L" /PHASE2 /SILENT extra", inst.scratch.path());
  AnswerMessageBox(child.pid, L"Done", kDoneText, {IDOK}, IDOK);
  EXPECT_EQ(FinishChild(child, kRunTimeout), 0u);
  EXPECT_FALSE(FileExists(inst / L"alpha.exe"));
}

TEST(UninstallerSecondPhase, SecondArgumentOtherThanPhase2ChangesNothing) {
  Installation inst;
  WriteLog(inst.log, LogTextOf({{L'F', inst / L"alpha.exe"}}));
  // No box either way: the run ends by itself.
  EXPECT_EQ(RunSilently(inst, Quoted(inst.dir) + L" /PHASE3"), 1u);
  EXPECT_EQ(RunSilently(inst, Quoted(inst.dir) + L" /PHASE2x /SILENT"), 1u);
  EXPECT_EQ(RunSilently(inst, L"/AUTO " + Quoted(inst.dir)), 1u);
  EXPECT_TRUE(FileExists(inst.log));
  EXPECT_TRUE(FileExists(inst / L"alpha.exe"));
}

TEST(UninstallerSecondPhase, MissingLogShowsFatalErrorUnlessSilent) {
  Installation inst;
  Child child = StartSecondPhase(Quoted(inst.dir) + L" /PHASE2", inst.scratch.path());
  AnswerMessageBox(child.pid, L"Fatal error", kNotOpenedText, {IDOK}, IDOK);
  EXPECT_EQ(FinishChild(child, kRunTimeout), 1u);

  EXPECT_EQ(RunSilently(inst, Quoted(inst.dir) + L" /PHASE2 /SILENT"), 1u);
  EXPECT_TRUE(FileExists(inst / L"alpha.exe"));
}

TEST(UninstallerSecondPhase, FolderTooLongForTheLogPathIsNotOpened) {
  Installation inst;
  std::wstring long_folder = inst.dir + L"\\" + std::wstring(250, L'x');
  Child child = StartSecondPhase(Quoted(long_folder) + L" /PHASE2", inst.scratch.path());
  AnswerMessageBox(child.pid, L"Fatal error", kNotOpenedText, {IDOK}, IDOK);
  EXPECT_EQ(FinishChild(child, kRunTimeout), 1u);
}

}  // namespace
