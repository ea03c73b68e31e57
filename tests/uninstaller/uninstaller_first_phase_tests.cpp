// The uninstaller as Windows' list of installed programs, the Programs-menu shortcut and
// Run Once start it: uninstall.exe beside its log in an installation folder, without
// arguments or with "/AUTO". The first phase asks, checks for the running application,
// lets the logged programs clean up and hands over to its copy in the temporary folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "harness/installation.h"
#include "harness/leftovers.h"
#include "harness/message_boxes.h"
#include "harness/process.h"
#include "harness/process_view.h"
#include "harness/registration.h"
#include "harness/scratch.h"
#include "harness/second_phase.h"
#include "harness/start_records.h"
#include "harness/timeouts.h"
#include "harness/window_driving.h"

namespace {

const wchar_t kRunningText[] = L"Alpha is still running, please close the application.";
const wchar_t kAbortedText[] = L"Uninstall aborted. No changes were made.";
const std::wstring kWelcomeText = UninstallerWelcomeText(L"Alpha");

// Each test's installation, and no copy of the uninstaller before or after it.
class UninstallerFirstPhase : public ::testing::Test {
 protected:
  Installation inst;
  SecondPhaseCleanup cleanup;
};

TEST_F(UninstallerFirstPhase, NoLogShowsFatalErrorInBothModes) {
  for (const wchar_t* arguments : {L"", L"/AUTO"}) {
    SCOPED_TRACE(Utf8(arguments));
    Child child = inst.Start(arguments);
    AnswerMessageBox(child.pid, L"Fatal error", kLogNotOpenedText, {IDOK}, IDOK);
    EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 1u);
    EXPECT_TRUE(SecondPhaseFolders().empty()) << "no copy in the temporary folder";
  }
}

TEST_F(UninstallerFirstPhase, AnsweringNoChangesAndStartsNothing) {
  CopyForTest(FakeCleanupExe(), inst / L"cleanup.exe");
  inst.WriteLog(inst.Records({{L'E', inst / L"cleanup.exe"}}));

  Child child = inst.Start(L"");
  AnswerMessageBox(child.pid, L"Uninstaller", kWelcomeText, {IDYES, IDNO}, IDNO);
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 0u) << "no further message after No";
  EXPECT_TRUE(inst.Untouched());
  EXPECT_FALSE(FileExists(inst.record)) << "no application was started";
  EXPECT_TRUE(SecondPhaseFolders().empty());
  EXPECT_TRUE(PendingDeletionsOfSecondPhaseCopy().empty());
}

TEST_F(UninstallerFirstPhase, LowerCaseAutoStillAsks) {
  inst.WriteLog(inst.Records());
  Child child = inst.Start(L"/auto");
  AnswerMessageBox(child.pid, L"Uninstaller", kWelcomeText, {IDYES, IDNO}, IDNO);
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 0u);
  EXPECT_TRUE(inst.Untouched());
}

TEST_F(UninstallerFirstPhase, AnsweringYesRemovesTheInstallationThroughTheCopy) {
  // The key the log's header names, registered for this installation.
  TestUninstallKey key(L"Alpha", L"1.0", inst / L"uninstall.exe");
  inst.WriteLog(inst.Records({{L'R', key.subkey()}}));

  Child child = inst.Start(L"");
  AnswerMessageBox(child.pid, L"Uninstaller", kWelcomeText, {IDYES, IDNO}, IDYES);
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 0u);

  Child second = WaitForSecondPhaseStart(kWindowTimeoutMs);
  ASSERT_NE(second.process, nullptr) << "the copy in the temporary folder was not started";
  AnswerMessageBox(second.pid, L"Done", kUninstallDoneText, {IDOK}, IDOK);
  EXPECT_EQ(FinishChild(second, kRunTimeoutMs), 0u);

  EXPECT_FALSE(FolderExists(inst.dir)) << "every file, the log and the folder are gone";
  EXPECT_FALSE(key.exists());
  EXPECT_TRUE(FolderExists(inst.scratch.path()));
  EXPECT_TRUE(SameBytes(SecondPhaseCopyPath(), UninstallerExe()));
  EXPECT_FALSE(PendingDeletionsOfSecondPhaseCopy().empty())
      << "the copy is to be deleted at the next restart";
}

TEST_F(UninstallerFirstPhase, AutoRemovesSilentlyAndLeavesAnOldCopyAlone) {
  WriteText(UnprotectedCopyPath(), "left over by an earlier uninstall");
  inst.WriteLog(inst.Records());

  // Neither phase shows a box: both runs end by themselves.
  Child child = inst.Start(L"/AUTO");
  EXPECT_EQ(FinishBothPhases(child, kRunTimeoutMs), 0u);

  EXPECT_FALSE(FolderExists(inst.dir));
  EXPECT_TRUE(SameBytes(SecondPhaseCopyPath(), UninstallerExe()));
  // The copy goes into a folder of its own; whatever lies in the temporary folder itself
  // is neither reused nor overwritten.
  std::vector<unsigned char> old_copy = ReadBytes(UnprotectedCopyPath());
  EXPECT_EQ(std::string(old_copy.begin(), old_copy.end()), "left over by an earlier uninstall");
}

// Alpha running as the user left it, its window of class AlphaWnd open.
struct RunningAlpha {
  Child process = StartChild(Quoted(AlphaExe()));
  HWND window = WaitForWindow(process.pid, L"AlphaWnd", L"Alpha", kWindowTimeoutMs);
  // Closes the window as the user would; Alpha then ends with 0.
  DWORD Close() {
    PostMessageW(window, WM_CLOSE, 0, 0);
    return FinishChild(process, 10000);
  }
};

TEST_F(UninstallerFirstPhase, RunningApplicationRetryThenCancelChangesNothing) {
  inst.WriteLog(inst.Records());
  RunningAlpha alpha;
  ASSERT_NE(alpha.window, nullptr);

  // "/AUTO" skips the welcome question, not the running check.
  Child child = inst.Start(L"/AUTO");
  AnswerMessageBox(child.pid, L"Message", kRunningText, {IDRETRY, IDCANCEL}, IDRETRY);
  AnswerMessageBox(child.pid, L"Message", kRunningText, {IDRETRY, IDCANCEL}, IDCANCEL);
  AnswerMessageBox(child.pid, L"Message", kAbortedText, {IDOK}, IDOK);
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 0u);
  EXPECT_TRUE(inst.Untouched());
  EXPECT_TRUE(SecondPhaseFolders().empty());
  EXPECT_EQ(alpha.Close(), 0u);
}

TEST_F(UninstallerFirstPhase, RetryAfterClosingTheApplicationGoesOn) {
  inst.WriteLog(inst.Records());
  RunningAlpha alpha;
  ASSERT_NE(alpha.window, nullptr);

  Child child = inst.Start(L"/AUTO");
  MessageBoxSeen box = WaitForMessageBox(child.pid, kWindowTimeoutMs);
  ASSERT_NE(box.window, nullptr);
  EXPECT_EQ(box.text, kRunningText);
  EXPECT_EQ(alpha.Close(), 0u);
  PressButton(box.window, IDRETRY);

  EXPECT_EQ(FinishBothPhases(child, kRunTimeoutMs), 0u);
  EXPECT_FALSE(FolderExists(inst.dir));
}

TEST_F(UninstallerFirstPhase, LoggedApplicationsCleanUpOneAfterAnotherBeforeTheHandOver) {
  CopyForTest(FakeCleanupExe(), inst / L"one.exe");
  CopyForTest(FakeCleanupExe(), inst / L"two.exe");
  inst.WriteLog(inst.Records({{L'E', inst / L"one.exe"},
                              {L'E', inst / L"two.exe"},
                              {L'F', inst / L"one.exe"},
                              {L'F', inst / L"two.exe"}}));

  Child child = inst.Start(L"/AUTO");
  EXPECT_EQ(FinishBothPhases(child, kRunTimeoutMs), 0u);

  // Each program ends before the next starts, and the copy is made only after both.
  std::vector<RecordLine> lines = RecordLines(inst.record);
  ASSERT_EQ(lines.size(), 4u);
  const wchar_t* names[] = {L"one.exe", L"two.exe"};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(Utf8(names[i]));
    const RecordLine& start = lines[2 * i];
    ASSERT_EQ(start.size(), 3u);
    EXPECT_EQ(start[0], L"start");
    std::vector<std::wstring> arguments = SplitCommandLine(start[1]);
    ASSERT_EQ(arguments.size(), 2u) << Utf8(start[1]);
    EXPECT_EQ(lstrcmpiW(arguments[0].c_str(), (inst / names[i]).c_str()), 0)
        << Utf8(arguments[0]);
    EXPECT_EQ(arguments[1], L"/uninstall");
    EXPECT_EQ(lstrcmpiW(start[2].c_str(), inst.scratch.path().c_str()), 0)
        << "no working directory is given: the uninstaller's own is inherited";
    EXPECT_EQ(lines[2 * i + 1], (std::vector<std::wstring>{L"end", L"0"}));
  }
  EXPECT_FALSE(FolderExists(inst.dir));
}

// How the second phase was started, read from the running copy; then the copy is let
// finish, its message boxes answered with OK. Called while the first phase runs: that
// ends only once the copy holds the installation, and the copy ends soon after it.
ProcessView WatchSecondPhase() {
  ProcessView view;
  Child second = WaitForSecondPhaseStart(kWindowTimeoutMs);
  EXPECT_NE(second.process, nullptr) << "the copy was not started";
  if (second.process == NULL) return view;
  view = ReadProcessView(second.process);
  EXPECT_TRUE(view.read);
  EXPECT_EQ(FinishAnsweringMessageBoxes(second, kRunTimeoutMs).exit_code, 0u);
  return view;
}

void ExpectSecondPhaseLine(const ProcessView& view, const std::wstring& expected_end,
                           const std::vector<std::wstring>& expected_arguments) {
  const std::wstring& line = view.command_line;
  ASSERT_GE(line.size(), expected_end.size());
  EXPECT_EQ(line.substr(line.size() - expected_end.size()), expected_end) << Utf8(line);
  std::vector<std::wstring> arguments = SplitCommandLine(line);
  ASSERT_EQ(arguments.size(), expected_arguments.size() + 1) << Utf8(line);
  std::wstring copy = SecondPhaseCopyPath();
  ASSERT_FALSE(copy.empty());
  EXPECT_EQ(lstrcmpiW(arguments[0].c_str(), copy.c_str()), 0) << Utf8(arguments[0]);
  EXPECT_EQ(lstrcmpiW(view.image_path.c_str(), copy.c_str()), 0) << Utf8(view.image_path);
  for (size_t i = 0; i < expected_arguments.size(); ++i) {
    EXPECT_EQ(arguments[i + 1], expected_arguments[i]);
  }
  std::wstring folder = copy.substr(0, copy.rfind(L'\\') + 1);
  EXPECT_EQ(lstrcmpiW(view.current_directory.c_str(), folder.c_str()), 0)
      << "working directory " << Utf8(view.current_directory);
  EXPECT_FALSE(PendingDeletionsOfSecondPhaseCopy().empty());
}

TEST_F(UninstallerFirstPhase, SilentHandOverPassesQuotedFolderPhase2AndSilent) {
  inst.WriteLog(inst.Records());
  Child child = inst.Start(L"/AUTO");
  ProcessView view = WatchSecondPhase();
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 0u);
  ExpectSecondPhaseLine(view, L"\"" + inst.dir + L"\" /PHASE2 /SILENT ",
                        {inst.dir, L"/PHASE2", L"/SILENT"});
}

TEST_F(UninstallerFirstPhase, InteractiveHandOverPassesQuotedFolderAndPhase2) {
  inst.WriteLog(inst.Records());
  Child child = inst.Start(L"");
  AnswerMessageBox(child.pid, L"Uninstaller", kWelcomeText, {IDYES, IDNO}, IDYES);
  ProcessView view = WatchSecondPhase();
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 0u);
  ExpectSecondPhaseLine(view, L"\"" + inst.dir + L"\" /PHASE2", {inst.dir, L"/PHASE2"});
}

// An installation in a drive root is handed over with the root's backslash, doubled before
// the closing quote ("C:\" alone would escape it), and removed completely.
TEST_F(UninstallerFirstPhase, DriveRootIsHandedOverWithItsBackslashAndRemoved) {
  ScratchFolder scratch;
  wchar_t windows[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 3u);
  std::wstring root(windows, 3);  // "C:\"
  std::wstring uninstaller = root + L"uninstall.exe";
  std::wstring log = root + L"uninstall.dat";
  std::wstring file = root + L"koz_root_test.txt";
  for (const std::wstring& path : {uninstaller, log, file}) ASSERT_FALSE(FileExists(path));
  Leftovers leftovers;
  for (const std::wstring& path : {uninstaller, log, file}) leftovers.AddPath(path);
  CopyForTest(UninstallerExe(), uninstaller);
  WriteText(file, "installed");
  WriteLog(log, AlphaLog({{L'F', file}, {L'F', uninstaller}, {L'F', log}, {L'S', root}}));
  Child child = StartChild(Quoted(uninstaller) + L" /AUTO", scratch.path().c_str());
  ProcessView view = WatchSecondPhase();
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 0u);
  ExpectSecondPhaseLine(view, L"\"" + root + L"\\\" /PHASE2 /SILENT ",
                        {root, L"/PHASE2", L"/SILENT"});
  for (const std::wstring& path : {uninstaller, log, file}) {
    EXPECT_FALSE(FileExists(path)) << Utf8(path);
  }
}

// Started by its short 8.3 path, as some launchers do, the uninstaller still finds its
// installation under the long names setup logged, and removes it.
TEST_F(UninstallerFirstPhase, StartedByItsShortPathRemovesTheInstallation) {
  inst.WriteLog(inst.Records());
  wchar_t short_path[MAX_PATH];
  DWORD length = GetShortPathNameW((inst / L"uninstall.exe").c_str(), short_path, MAX_PATH);
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, (DWORD)MAX_PATH);
  ASSERT_EQ(std::wstring(short_path).find(L"Alpha 1.0"), std::wstring::npos) << Utf8(short_path);
  Child child = StartChild(Quoted(short_path) + L" /AUTO", inst.scratch.path().c_str());
  EXPECT_EQ(FinishBothPhases(child, kRunTimeoutMs), 0u);
  EXPECT_FALSE(FolderExists(inst.dir));
}

TEST_F(UninstallerFirstPhase, HeaderWithoutThreeFieldsChangesAndStartsNothing) {
  CopyForTest(FakeCleanupExe(), inst / L"cleanup.exe");
  WriteLog(inst.log, L"Alpha#1.0 DO NOT REMOVE/EDIT THIS FILE\r\n|E|" + inst / L"cleanup.exe" +
                         L"|\r\n|F|" + inst / L"alpha.exe" + L"|\r\n||");
  for (const wchar_t* arguments : {L"/AUTO", L""}) {
    SCOPED_TRACE(Utf8(arguments));
    Child child = inst.Start(arguments);
    AnswerMessageBox(child.pid, L"Fatal error", kLogNotOpenedText, {IDOK}, IDOK);
    EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 1u);
  }
  EXPECT_TRUE(inst.Untouched());
  EXPECT_FALSE(FileExists(inst.record));
  EXPECT_TRUE(SecondPhaseFolders().empty());
}

TEST_F(UninstallerFirstPhase, TwoArgumentsAreASecondPhaseLine) {
  inst.WriteLog(inst.Records());
  // "/AUTO x": a second phase for folder "/AUTO" without "/PHASE2": ends with 1, no box.
  Child child = inst.Start(L"/AUTO x");
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 1u);
  // "/AUTO /PHASE2": a second phase for folder "/AUTO", which holds no log.
  child = inst.Start(L"/AUTO /PHASE2");
  AnswerMessageBox(child.pid, L"Fatal error", kLogNotOpenedText, {IDOK}, IDOK);
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 1u);
  EXPECT_TRUE(inst.Untouched());
  EXPECT_TRUE(SecondPhaseFolders().empty());
}

}  // namespace
