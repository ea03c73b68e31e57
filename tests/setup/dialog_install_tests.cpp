// Install and Execute from the dialog, end to end: what a Normal install from the dialog
// leaves (the success box, the files, the log, the shortcuts, the registration and the
// "/FIRSTRUN" starts), Run Once from the temporary folder with the dialog out of the way,
// and commands held off while an install run is in progress. Which programs the launch
// step starts, with which arguments, is tested on the engine (engine_launch_tests).
#include <gtest/gtest.h>
#include <shlobj.h>

#include <memory>

#include "setup/resource.h"
#include "harness/install_run.h"
#include "harness/leftovers.h"
#include "harness/log_text.h"
#include "harness/registration.h"
#include "common/private_folder.h"
#include "harness/second_phase.h"
#include "harness/setup_session.h"
#include "harness/shell.h"

namespace {

const wchar_t kProgramWindowClass[] = L"AlphaWnd";

// One Normal install of "Dlg Normal" 2.5 from its dialog, made once for the tests of this
// suite: the folder typed into the field, the agreement ticked, the package's defaults
// (every shortcut, Execute after installation) kept. While the success box is up the
// dialog is sent every command; what it showed then is kept for the first test.
class NormalInstallFromTheDialog : public ::testing::Test {
 protected:
  struct Run {
    SetupScratch scratch;
    Leftovers leftovers;
    std::wstring dir = scratch / L"Installed Here";
    MessageBoxSeen done;
    // The dialog while the success box was up.
    bool dialog_visible = false;
    int dialog_windows = 0;
    std::wstring install_text;
    bool run_once_text_shown = true;
    bool install_enabled = false;
    std::vector<std::wstring> temp_files;
    DWORD exit_code = kTimedOut;
  };

  static void SetUpTestSuite() {
    run_ = new Run;
    run_->leftovers.AddProduct(kName, L"2.5", L"dlgnormal.lnk");
    SetupSession setup(run_->scratch / L"setup.exe", Package());
    ASSERT_TRUE(setup.ok());
    setup.SetFolder(run_->dir);
    setup.AgreeAndInstall();
    run_->done = setup.WaitForBox(kSuccessCaption);
    ASSERT_NE(run_->done.window, (HWND)NULL);

    // The box has no owner, so the dialog still gets commands: none may take effect now.
    setup.SendCommand(IDOK);
    setup.Click(IDC_MODE_RUN_ONCE);
    setup.SendCommand(IDC_SHOW_LICENSE);
    setup.SendCommand(IDC_BROWSE);
    setup.Click(IDC_LICENSE_AGREE);
    setup.SendCommand(IDCANCEL);
    DWORD_PTR ignored;
    SendMessageTimeoutW(setup.dialog(), WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, &ignored);
    run_->dialog_visible = IsWindowVisible(setup.dialog()) != FALSE;
    run_->dialog_windows = DialogWindowCount(setup.pid());
    run_->install_text = setup.Text(IDOK);
    run_->run_once_text_shown = setup.Shown(IDC_RUN_ONCE_TEXT);
    run_->install_enabled = setup.Enabled(IDOK);
    run_->temp_files = FolderContents(run_->scratch.temp);

    PressButton(run_->done.window, IDOK);
    run_->exit_code = setup.WaitForExit();
  }

  static void TearDownTestSuite() {
    EXPECT_TRUE(CloseWindowsOfClass(kProgramWindowClass, kWindowTimeoutMs));
    delete run_;
    run_ = NULL;
  }

  static TestPackageContents Package() {
    TestPackageContents contents = DialogTestPackage(kName);
    contents.allow_run_once = 1;
    contents.log_executables = 1;
    contents.default_desktop = contents.default_startup = 1;
    contents.default_programs = contents.default_launch = 1;
    contents.folders = {"help"};
    AddUninstallerEntry(contents, L"alpha.exe");
    AddEntry(contents, 0x0017, "dlgnormal.exe", FileText(AlphaExe()));
    AddEntry(contents, ENTRY_LAUNCH, "help\\tool.exe", FileText(AlphaExe()));
    AddEntry(contents, ENTRY_PROGRAMS_SHORTCUT | ENTRY_LICENSE_DOCUMENT, "license.htm", "<html/>");
    AddEntry(contents, 0, "help\\dlgnormal.txt", "help text");
    return contents;
  }

  void SetUp() override { ASSERT_NE(run_->done.window, (HWND)NULL) << "the install failed"; }

  static constexpr const wchar_t* kName = L"Dlg Normal";
  static Run* run_;
  const std::wstring& dir = run_->dir;
};

NormalInstallFromTheDialog::Run* NormalInstallFromTheDialog::run_ = NULL;

TEST_F(NormalInstallFromTheDialog, SuccessBoxHoldsOffEveryCommandUntilAnswered) {
  EXPECT_EQ(run_->done.text, kSuccessText);
  EXPECT_TRUE(run_->done.has_button[IDOK]);
  EXPECT_FALSE(run_->done.has_button[IDCANCEL]);
  EXPECT_TRUE(run_->dialog_visible);
  EXPECT_EQ(run_->dialog_windows, 2);  // the dialog and the one success box
  EXPECT_EQ(run_->install_text, L"Install");
  EXPECT_FALSE(run_->run_once_text_shown);
  EXPECT_TRUE(run_->install_enabled);
  EXPECT_TRUE(run_->temp_files.empty()) << "the licence was extracted";
  EXPECT_EQ(run_->exit_code, 0u);
}

// Both launchable files started with "/FIRSTRUN" in their own folders (in package order,
// but they record concurrently), and nothing else was started.
TEST_F(NormalInstallFromTheDialog, ExecuteAfterInstallationStartsEveryLaunchableFile) {
  std::vector<ProgramStart> starts = run_->scratch.starts.Wait(2);
  ASSERT_EQ(starts.size(), 2u);
  bool main_seen = false, tool_seen = false;
  for (const ProgramStart& start : starts) {
    SCOPED_TRACE(Utf8(start.command));
    EXPECT_TRUE(start.CommandEndsWith(L" /FIRSTRUN"));
    if (start.command.find(L"dlgnormal.exe") != std::wstring::npos) {
      main_seen = true;
      EXPECT_TRUE(start.RanIn(dir));
    } else if (start.command.find(L"tool.exe") != std::wstring::npos) {
      tool_seen = true;
      EXPECT_TRUE(start.RanIn(dir + L"\\help"));
    }
  }
  EXPECT_TRUE(main_seen && tool_seen);
}

TEST_F(NormalInstallFromTheDialog, FilesLandInTheTypedFolderByteForByte) {
  EXPECT_EQ(FileText(dir + L"\\dlgnormal.exe"), FileText(AlphaExe()));
  EXPECT_EQ(FileText(dir + L"\\help\\tool.exe"), FileText(AlphaExe()));
  EXPECT_EQ(FileText(dir + L"\\uninstall.exe"), FileText(AlphaExe()));
  EXPECT_EQ(FileText(dir + L"\\license.htm"), "<html/>");
  EXPECT_EQ(FileText(dir + L"\\help\\dlgnormal.txt"), "help text");
}

// The log: header, executables, files, shortcuts, registration, folders, end marker.
TEST_F(NormalInstallFromTheDialog, LogListsEveryFileShortcutTheKeyAndTheFolders) {
  std::wstring log = ReadLog(dir + L"\\uninstall.dat");
  // Inside the product's group the symbolic path has no backslash after "<23>".
  const std::wstring group = L"<23>" + std::wstring(kName) + L" 2.5";
  EXPECT_EQ(log.find(LogHeaderLine(kName, L"2.5", std::wstring(kName) + L"Wnd")), 0u);
  for (const std::wstring& record : std::vector<std::wstring>{
           L"|E|" + dir + L"\\dlgnormal.exe|", L"|E|" + dir + L"\\help\\tool.exe|",
           L"|F|" + dir + L"\\dlgnormal.exe|", L"|F|" + dir + L"\\help\\dlgnormal.txt|",
           L"|F|<25>\\dlgnormal.lnk|", L"|F|<24>\\dlgnormal.lnk|",
           L"|F|" + group + L"\\dlgnormal.lnk|", L"|F|" + group + L"\\license.lnk|",
           L"|F|" + group + L"\\uninstall.lnk|", L"|R|" + UninstallKey(kName, L"2.5") + L"|",
           L"|F|" + dir + L"\\uninstall.exe|", L"|F|" + dir + L"\\uninstall.dat|",
           L"|S|" + dir + L"\\help|", L"|S|" + group + L"|"}) {
    EXPECT_NE(log.find(L"\r\n" + record), std::wstring::npos) << Utf8(record);
  }
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log.substr(log.size() - 4), L"\r\n||");
}

TEST_F(NormalInstallFromTheDialog, TickedShortcutsAndTheRegistrationAreMade) {
  EXPECT_TRUE(FileExists(SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\dlgnormal.lnk"));
  EXPECT_TRUE(FileExists(SpecialFolder(CSIDL_COMMON_STARTUP) + L"\\dlgnormal.lnk"));
  std::wstring programs_group = SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\" + kName + L" 2.5";
  EXPECT_TRUE(FileExists(programs_group + L"\\dlgnormal.lnk"));
  EXPECT_TRUE(FileExists(programs_group + L"\\license.lnk"));
  EXPECT_TRUE(FileExists(programs_group + L"\\uninstall.lnk"));
  ExpectRegistered(kName, L"2.5", dir + L"\\uninstall.exe");
}

// Each test's private temporary folder and record file, and the removal of whatever an
// install leaves outside the scratch folder and of the programs it started.
class InstallTest : public ::testing::Test {
 protected:
  ~InstallTest() override {
    EXPECT_TRUE(CloseWindowsOfClass(kProgramWindowClass, kWindowTimeoutMs));
  }

  SetupScratch scratch_;
  Leftovers leftovers_;
};

TEST_F(InstallTest, NormalInstallWithoutExecuteAfterInstallationStartsNothing) {
  const std::wstring name = L"Dlg Quiet";
  leftovers_.AddProduct(name, L"2.5", L"dlgquiet.lnk");
  TestPackageContents contents = DialogTestPackage(name);
  contents.default_launch = 1;
  AddUninstallerEntry(contents, L"alpha.exe");
  AddEntry(contents, ENTRY_LAUNCH, "dlgquiet.exe", FileText(AlphaExe()));
  SetupSession setup(scratch_ / L"setup.exe", contents);
  ASSERT_TRUE(setup.ok());
  setup.SetFolder(scratch_ / L"quiet");
  setup.Click(IDC_LAUNCH_AFTER_INSTALL);
  EXPECT_FALSE(setup.Checked(IDC_LAUNCH_AFTER_INSTALL));
  setup.AgreeAndInstall();
  EXPECT_EQ(setup.AnswerLastBox(kSuccessCaption, kSuccessText), 0u);
  EXPECT_TRUE(FileExists(scratch_ / L"quiet\\dlgquiet.exe"));
  EXPECT_TRUE(scratch_.starts.Wait(1, 1000).empty());
}

// Run Once installs below the temporary folder whatever the folder field says, and the
// dialog stays out of the way while the program runs.
TEST_F(InstallTest, RunOnceRunsTheProgramWaitsAndHandsOverToTheUninstaller) {
  const std::wstring name = L"Dlg Once";
  leftovers_.AddProduct(name, L"2.5", L"dlgonce.lnk");
  TestPackageContents contents = DialogTestPackage(name);
  contents.allow_run_once = 1;
  contents.default_desktop = contents.default_startup = 1;
  contents.default_programs = contents.default_launch = 1;
  AddUninstallerEntry(contents, L"alpha.exe");  // records its "/AUTO" start
  AddEntry(contents, 0x0017, "dlgonce.exe", FileText(AlphaExe()));
  AddEntry(contents, ENTRY_LAUNCH, "second.exe", FileText(AlphaExe()));
  SetupSession setup(scratch_ / L"setup.exe", contents);
  ASSERT_TRUE(setup.ok());
  setup.SetFolder(scratch_ / L"ignored in Run Once");
  setup.Click(IDC_MODE_RUN_ONCE);
  setup.Click(IDC_LICENSE_AGREE);
  EXPECT_EQ(setup.Text(IDOK), L"Execute");
  setup.Press(IDOK);

  // The program runs from the Run Once folder, made in a private folder ("koz-" and eight
  // hexadecimal digits) below the system's temporary folder (elevated, as under Wine),
  // where no user can rename it; nothing goes into the user's temporary folder.
  std::vector<ProgramStart> starts = scratch_.starts.Wait(1);
  ASSERT_EQ(starts.size(), 1u);
  std::vector<std::wstring> made = RunOnceFoldersOf(name);
  ASSERT_FALSE(made.empty());
  for (const std::wstring& folder : made) leftovers_.AddPath(folder);
  EXPECT_TRUE(FolderContents(scratch_.temp).empty());
  const std::wstring dir = made.back() + L"\\KOZ_Soft_" + name;
  EXPECT_TRUE(starts[0].RanIn(dir)) << Utf8(starts[0].folder);
  EXPECT_TRUE(starts[0].CommandEndsWith(dir + L"\\dlgonce.exe\" /RUNONCE"))
      << Utf8(starts[0].command);
  HWND window = WaitForWindow(0, kProgramWindowClass, NULL, kWindowTimeoutMs);
  ASSERT_NE(window, (HWND)NULL);

  // While it runs the dialog is hidden and holds every command off.
  EXPECT_FALSE(IsWindowVisible(setup.dialog()));
  setup.SendCommand(IDOK);
  setup.Click(IDC_MODE_NORMAL);
  EXPECT_EQ(setup.Text(IDOK), L"Execute");
  EXPECT_EQ(scratch_.starts.Wait(2, 1000).size(), 1u) << "started before the end";

  // Its end hands over to the uninstaller in the installation folder.
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(setup.WaitForExit(), 0u);
  starts = scratch_.starts.Wait(2);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_TRUE(starts[1].RanIn(dir)) << Utf8(starts[1].folder);
  EXPECT_TRUE(starts[1].CommandEndsWith(dir + L"\\uninstall.exe\" /AUTO"))
      << Utf8(starts[1].command);
  EXPECT_EQ(scratch_.starts.Wait(3, 1000).size(), 2u) << "the second launchable file started";

  // Extracted into the temporary folder with its log, the folder row ignored; with every
  // shortcut box ticked, Run Once still makes no shortcut and no registration.
  EXPECT_TRUE(FileExists(dir + L"\\dlgonce.exe"));
  EXPECT_TRUE(FileExists(dir + L"\\uninstall.dat"));
  EXPECT_FALSE(FolderExists(scratch_ / L"ignored in Run Once"));
  EXPECT_FALSE(FileExists(SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\dlgonce.lnk"));
  EXPECT_FALSE(FileExists(SpecialFolder(CSIDL_COMMON_STARTUP) + L"\\dlgonce.lnk"));
  EXPECT_FALSE(FolderExists(SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\" + name + L" 2.5"));
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey(name, L"2.5")));
}

// Unelevated, Run Once needs the user's temporary folder; elevated (as under Wine), it
// installs below the system's, and the user's does not matter.
TEST_F(InstallTest, RunOnceWithoutTemporaryFolderIsFatalUnlessElevated) {
  const std::wstring name = L"Dlg No Temp";
  TestPackageContents contents = DialogTestPackage(name);
  contents.allow_run_once = 1;
  AddUninstallerEntry(contents, L"alpha.exe");
  ASSERT_TRUE(BuildSetup(scratch_ / L"setup.exe", contents));
  // A temporary folder name longer than any path: the platform gives no temporary folder.
  TemporaryFolderAt too_long(L"C:\\" + std::wstring(300, L't'));
  SetupSession setup(scratch_ / L"setup.exe", SetupCaption(contents));
  ASSERT_TRUE(setup.ok());
  setup.Click(IDC_MODE_RUN_ONCE);
  setup.AgreeAndInstall();
  if (RunsAsAdministrator()) {
    EXPECT_EQ(setup.WaitForExit(), 0u);
    std::vector<std::wstring> made = RunOnceFoldersOf(name);
    ASSERT_FALSE(made.empty());
    for (const std::wstring& folder : made) leftovers_.AddPath(folder);
    std::vector<ProgramStart> starts = scratch_.starts.Wait(1);
    ASSERT_EQ(starts.size(), 1u);
    EXPECT_TRUE(starts[0].CommandEndsWith(L"uninstall.exe\" /AUTO")) << Utf8(starts[0].command);
    // alpha.exe stands in for the uninstaller: its window goes with the test.
    EXPECT_NE(WaitForWindow(0, L"AlphaWnd", NULL, kWindowTimeoutMs), (HWND)NULL);
    EXPECT_TRUE(CloseWindowsOfClass(L"AlphaWnd", kWindowTimeoutMs));
    return;
  }
  EXPECT_EQ(setup.AnswerLastBox(L"Fatal error", L"Could not find the temporary folder"), 0u);
  EXPECT_TRUE(scratch_.starts.Wait(1, 1000).empty());
}

}  // namespace
