// The uninstaller's second phase started directly, as the temporary copy is started:
// installation folder, "/PHASE2", optionally "/SILENT", with the first phase's hand-over
// beside it (harness/second_phase.h). It checks the folder against the hand-over, reads and
// deletes the log and removes what the records name, folder records last. How the records are read and applied is
// tested in process (uninstaller_replay_tests); these tests show the program around it.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "harness/installation.h"
#include "harness/shell.h"
#include "harness/leftovers.h"
#include "harness/message_boxes.h"
#include "harness/process.h"
#include "harness/environment.h"
#include "harness/registration.h"
#include "harness/scratch.h"
#include "harness/second_phase.h"
#include "harness/shell.h"
#include "harness/timeouts.h"

namespace {

// Each test's installation, and how its second phase is run when no box is expected.
class UninstallerSecondPhase : public ::testing::Test {
 protected:
  DWORD RunSecondPhase(const std::wstring& arguments) {
    Child child = inst.StartSecondPhase(arguments);
    return FinishChild(child, kRunTimeoutMs);
  }
  Installation inst;
};

TEST_F(UninstallerSecondPhase, RemovesFilesKeyAndEmptiedFolders) {
  // Beside the installation, in the working directory of the run: nothing may touch it.
  std::wstring outsider = inst.scratch / L"outsider.txt";
  WriteText(outsider, "not ours");
  // The key the log's header names, registered for this installation.
  TestUninstallKey key(L"Alpha", L"1.0", inst / L"uninstall.exe");
  inst.WriteLog(inst.Records({{L'R', key.subkey()}}));
  EXPECT_EQ(RunSecondPhase(Quoted(inst.dir) + L" /PHASE2 /SILENT"), 0u);

  EXPECT_FALSE(FolderExists(inst.dir));
  EXPECT_FALSE(key.exists());
  EXPECT_TRUE(FileExists(outsider));
  EXPECT_TRUE(FolderExists(inst.scratch.path())) << "a folder the log does not name stays";
}

TEST_F(UninstallerSecondPhase, ExecutableRecordsArePassedOver) {
  CopyForTest(FakeCleanupExe(), inst / L"cleanup.exe");
  inst.WriteLog({{L'E', inst / L"cleanup.exe"},
                 {L'E', inst / L"alpha.exe"},
                 {L'F', inst / L"help\\index.htm"}});
  EXPECT_EQ(RunSecondPhase(Quoted(inst.dir) + L" /PHASE2 /SILENT"), 0u);

  EXPECT_TRUE(FileExists(inst / L"cleanup.exe"));
  EXPECT_TRUE(FileExists(inst / L"alpha.exe"));
  EXPECT_FALSE(FileExists(inst / L"help\\index.htm"));
  EXPECT_FALSE(FileExists(inst.record)) << "no program is started in this phase";
}

// A log that cannot be the one setup wrote for this folder (no header, or not its own
// record in this folder) is kept with every file, and the user is told instead of "Done".
TEST_F(UninstallerSecondPhase, LogThatDoesNotBelongToTheFolderIsKeptWithEverything) {
  const std::wstring elsewhere = inst.scratch / L"Elsewhere\\uninstall.dat";
  // No header, or records of which none is this installation's (a log copied from another).
  const std::wstring logs[] = {L"", AlphaLog({{L'F', elsewhere}, {L'S', inst.scratch / L"Elsewhere"}})};
  for (const std::wstring& text : logs) {
    SCOPED_TRACE(Utf8(text));
    WriteLog(inst.log, text);
    Child child = inst.StartSecondPhase(Quoted(inst.dir) + L" /PHASE2");
    AnswerMessageBox(child.pid, L"Fatal error",
                     L"uninstall.dat does not belong to this installation folder, uninstall "
                     L"aborted!",
                     {IDOK}, IDOK);
    EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 1u);
    EXPECT_EQ(ReadLog(inst.log), text);
    EXPECT_TRUE(inst.Untouched());
  }
}

// A log cut short (an install killed before it wrote its last records, the log's own among
// them) is applied as far as it goes: its complete records are this installation's.
TEST_F(UninstallerSecondPhase, LogCutShortIsAppliedAsFarAsItGoes) {
  std::wstring log =
      AlphaLog({{L'F', inst / L"alpha.exe"}, {L'F', inst / L"help\\index.htm"}}, false);
  log.pop_back();  // no end marker, and the last record unfinished
  WriteLog(inst.log, log);
  EXPECT_EQ(RunSecondPhase(Quoted(inst.dir) + L" /PHASE2 /SILENT"), 0u);
  EXPECT_FALSE(FileExists(inst / L"alpha.exe"));
  EXPECT_TRUE(FileExists(inst / L"help\\index.htm")) << "an unfinished record is not applied";
  EXPECT_FALSE(FileExists(inst.log));
}

// The log is deleted though no record but its own names anything.
TEST_F(UninstallerSecondPhase, HeaderAndOwnRecordOnlyDeleteTheLog) {
  inst.WriteLog({});
  EXPECT_EQ(RunSecondPhase(Quoted(inst.dir) + L" /PHASE2 /SILENT"), 0u);
  EXPECT_FALSE(FileExists(inst.log));
  EXPECT_TRUE(FileExists(inst / L"alpha.exe"));
  EXPECT_TRUE(FileExists(inst / L"help\\index.htm"));
  EXPECT_TRUE(FileExists(inst / L"uninstall.exe"));
}

TEST_F(UninstallerSecondPhase, SymbolicPathsAreResolvedThroughTheShell) {
  std::wstring desktop = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
  std::wstring programs = SpecialFolder(CSIDL_COMMON_PROGRAMS);
  ASSERT_FALSE(desktop.empty());
  ASSERT_FALSE(programs.empty());
  std::wstring group_name = L"KOZ Uninstaller Test " + std::to_wstring(GetCurrentProcessId());
  std::wstring group = programs + L"\\" + group_name;
  std::wstring desktop_link = desktop + L"\\" + group_name + L".lnk";
  Leftovers leftovers;
  leftovers.AddPath(group);
  leftovers.AddPath(desktop_link);
  CreateDirectoryW(group.c_str(), NULL);
  ASSERT_TRUE(MakeShellLink(inst / L"alpha.exe", group + L"\\alpha.lnk"));
  ASSERT_TRUE(MakeShellLink(inst / L"alpha.exe", desktop_link));

  inst.WriteLog({{L'F', L"<25>\\" + group_name + L".lnk"},
                 {L'F', L"<23>" + group_name + L"\\alpha.lnk"},
                 {L'S', L"<23>" + group_name}});
  EXPECT_EQ(RunSecondPhase(Quoted(inst.dir) + L" /PHASE2 /SILENT"), 0u);
  EXPECT_FALSE(FileExists(desktop_link));
  EXPECT_FALSE(FolderExists(group));
  EXPECT_TRUE(FolderExists(programs));
}

// Folder records are applied after every other record, whatever the log's order: a log
// that lists them first still leaves no folder behind.
TEST_F(UninstallerSecondPhase, FolderRecordsListedFirstGoAfterTheFiles) {
  inst.WriteLog({{L'S', inst / L"help"},
                 {L'S', inst.dir},
                 {L'F', inst / L"help\\index.htm"},
                 {L'F', inst / L"alpha.exe"},
                 {L'F', inst / L"uninstall.exe"}});
  EXPECT_EQ(RunSecondPhase(Quoted(inst.dir) + L" /PHASE2 /SILENT"), 0u);
  EXPECT_FALSE(FolderExists(inst.dir));
}

// The second phase removes only in the folder that the first phase held until then: with
// a hand-over that names another folder, or none at all, it changes nothing, keeps the log
// and says so.
TEST_F(UninstallerSecondPhase, HandOverForAnotherFolderOrNoneRemovesNothing) {
  inst.WriteLog(inst.Records());
  const std::wstring text = ReadLog(inst.log);
  TestHandOver other(inst.scratch / L"other phase");
  Child child = other.Start(inst.scratch.path(), Quoted(inst.dir) + L" /PHASE2",
                            inst.scratch.path().c_str());
  AnswerMessageBox(child.pid, L"Fatal error", kFolderChangedText, {IDOK}, IDOK);
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 1u);
  EXPECT_FALSE(other.Signalled()) << "the first phase was let go";
  EXPECT_EQ(ReadLog(inst.log), text);
  EXPECT_TRUE(inst.Untouched());

  // build/bin holds no hand-over beside uninstall.exe.
  child = StartChild(Quoted(UninstallerExe()) + L" " + Quoted(inst.dir) + L" /PHASE2 /SILENT",
                     inst.scratch.path().c_str());
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 1u);
  EXPECT_EQ(ReadLog(inst.log), text);
  EXPECT_TRUE(inst.Untouched());
}

// Once it holds the folder and found it unchanged, the second phase tells the first phase
// (its event) and waits for it to end, since its holds keep the folders, before anything
// is removed. A clean-up program that lingers three seconds stands in for the first phase.
TEST_F(UninstallerSecondPhase, SignalsTheFirstPhaseAndRemovesOnlyAfterItsEnd) {
  inst.WriteLog(inst.Records());
  ScopedVariable linger(L"FAKE_CLEANUP_LINGER_MS", L"3000");
  Child stand_in = StartChild(Quoted(FakeCleanupExe()));
  ASSERT_NE(stand_in.process, (HANDLE)NULL);
  TestHandOver hand_over(inst.scratch / L"second phase");
  hand_over.Write(inst.dir, stand_in.pid);
  Child second = StartChild(Quoted(hand_over.copy()) + L" " + Quoted(inst.dir) +
                                L" /PHASE2 /SILENT",
                            inst.scratch.path().c_str());
  DWORD start = GetTickCount();
  while (!hand_over.Signalled() && GetTickCount() - start < kWindowTimeoutMs) Sleep(10);
  EXPECT_TRUE(hand_over.Signalled());
  bool untouched = inst.Untouched();
  ASSERT_EQ(WaitForSingleObject(stand_in.process, 0), (DWORD)WAIT_TIMEOUT)
      << "the stand-in ended too early to tell";
  EXPECT_TRUE(untouched) << "removed while the first phase still ran";

  EXPECT_EQ(FinishChild(stand_in, kRunTimeoutMs), 0u);
  EXPECT_EQ(FinishChild(second, kRunTimeoutMs), 0u);
  EXPECT_FALSE(FolderExists(inst.dir));
}

TEST_F(UninstallerSecondPhase, LowerCaseArgumentsAreAccepted) {
  inst.WriteLog({{L'F', inst / L"alpha.exe"}});
  // "/silent" in any case silences the phase: a box would make the run time out.
  EXPECT_EQ(RunSecondPhase(Quoted(inst.dir) + L" /phase2 /silent"), 0u);
  EXPECT_FALSE(FileExists(inst / L"alpha.exe"));
}

TEST_F(UninstallerSecondPhase, FolderWithTrailingBackslashIsAccepted) {
  inst.WriteLog({{L'F', inst / L"alpha.exe"}});
  // Two backslashes before the closing quote reach the program as one.
  EXPECT_EQ(RunSecondPhase(L"\"" + inst.dir + L"\\\\\" /PHASE2 /SILENT"), 0u);
  EXPECT_FALSE(FileExists(inst / L"alpha.exe"));
}

TEST_F(UninstallerSecondPhase, SilentWithOneMoreArgumentStaysInteractive) {
  inst.WriteLog({{L'F', inst / L"alpha.exe"}});
  Child child = inst.StartSecondPhase(Quoted(inst.dir) + L" /PHASE2 /SILENT extra");
  AnswerMessageBox(child.pid, L"Done", kUninstallDoneText, {IDOK}, IDOK);
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 0u);
  EXPECT_FALSE(FileExists(inst / L"alpha.exe"));
}

TEST_F(UninstallerSecondPhase, SecondArgumentOtherThanPhase2ChangesNothing) {
  inst.WriteLog({{L'F', inst / L"alpha.exe"}});
  // No box either way: the run ends by itself.
  EXPECT_EQ(RunSecondPhase(Quoted(inst.dir) + L" /PHASE3"), 1u);
  EXPECT_EQ(RunSecondPhase(Quoted(inst.dir) + L" /PHASE2x /SILENT"), 1u);
  EXPECT_EQ(RunSecondPhase(L"/AUTO " + Quoted(inst.dir)), 1u);
  EXPECT_TRUE(FileExists(inst.log));
  EXPECT_TRUE(FileExists(inst / L"alpha.exe"));
}

TEST_F(UninstallerSecondPhase, MissingLogShowsFatalErrorUnlessSilent) {
  Child child = inst.StartSecondPhase(Quoted(inst.dir) + L" /PHASE2");
  AnswerMessageBox(child.pid, L"Fatal error", kLogNotOpenedText, {IDOK}, IDOK);
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 1u);

  EXPECT_EQ(RunSecondPhase(Quoted(inst.dir) + L" /PHASE2 /SILENT"), 1u);
  EXPECT_TRUE(FileExists(inst / L"alpha.exe"));
}

TEST_F(UninstallerSecondPhase, FolderTooLongForTheLogPathIsNotOpened) {
  std::wstring long_folder = inst.dir + L"\\" + std::wstring(250, L'x');
  Child child = inst.StartSecondPhase(Quoted(long_folder) + L" /PHASE2");
  AnswerMessageBox(child.pid, L"Fatal error", kLogNotOpenedText, {IDOK}, IDOK);
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 1u);
}

}  // namespace
