// The setup dialog as the user first sees it and as its controls react: the package's
// options, the agreement box, the mode radios, the running-application box, closing.
#include <gtest/gtest.h>
#include <shlobj.h>

#include "setup/resource.h"
#include "harness/install_run.h"
#include "harness/leftovers.h"
#include "harness/setup_session.h"
#include "harness/shell.h"

namespace {

const int kOptionBoxes[] = {IDC_PROGRAMS_SHORTCUT, IDC_DESKTOP_SHORTCUT, IDC_STARTUP_SHORTCUT,
                            IDC_LAUNCH_AFTER_INSTALL};
const int kNormalOnly[] = {IDC_PROGRAMS_SHORTCUT, IDC_DESKTOP_SHORTCUT,  IDC_STARTUP_SHORTCUT,
                           IDC_LAUNCH_AFTER_INSTALL, IDC_FOLDER_LABEL, IDC_FOLDER_EDIT,
                           IDC_BROWSE};

// The dialog package `name` with its option bytes: allow_run_once, then the defaults of the
// desktop, startup, Programs and launch boxes.
TestPackageContents PackageWithOptions(const std::wstring& name, uint8_t run_once,
                                       uint8_t desktop, uint8_t startup = 0,
                                       uint8_t programs = 0, uint8_t launch = 0) {
  TestPackageContents contents = DialogTestPackage(name);
  contents.allow_run_once = run_once;
  contents.default_desktop = desktop;
  contents.default_startup = startup;
  contents.default_programs = programs;
  contents.default_launch = launch;
  return contents;
}

// The agreement box, the Install button and the texts every package starts with.
void ExpectCommonStart(SetupSession& setup, const std::wstring& name) {
  SCOPED_TRACE(Utf8(name));
  EXPECT_EQ(WindowText(setup.dialog()), name + L" 2.5 Installer");
  EXPECT_EQ(setup.Text(IDC_WELCOME_TEXT),
            L"Welcome at the " + name +
                L" setup wizard. This program will guide you through the setup process.");
  EXPECT_EQ(setup.Text(IDC_FOLDER_EDIT),
            SpecialFolder(CSIDL_PROGRAM_FILES) + L"\\KOZ Soft\\" + name + L" 2.5");
  EXPECT_FALSE(setup.Checked(IDC_LICENSE_AGREE));
  EXPECT_FALSE(setup.Enabled(IDOK));
  EXPECT_EQ(setup.Text(IDOK), L"Install");
  EXPECT_FALSE(setup.Shown(IDC_RUN_ONCE_TEXT));
  for (int id : kNormalOnly) EXPECT_TRUE(setup.Shown(id)) << id;
}

TEST(SetupDialog, WithoutRunOnceThePromptStandsInPlaceOfTheRadios) {
  ScratchFolder scratch;
  SetupSession setup(scratch / L"setup.exe", DialogTestPackage(L"Dlg Plain"));
  ASSERT_TRUE(setup.ok());
  ExpectCommonStart(setup, L"Dlg Plain");
  EXPECT_FALSE(setup.Shown(IDC_MODE_NORMAL));
  EXPECT_FALSE(setup.Shown(IDC_MODE_RUN_ONCE));
  EXPECT_TRUE(setup.Shown(IDC_OPTIONS_PROMPT));
  EXPECT_EQ(setup.Text(IDC_OPTIONS_PROMPT), L"Select the folder and other installation options:");
  for (int id : kOptionBoxes) EXPECT_FALSE(setup.Checked(id)) << id;
  EXPECT_EQ(setup.PressExit(), 0u);
}

TEST(SetupDialog, WithRunOnceBothRadiosShowNormalInstallSelected) {
  ScratchFolder scratch;
  SetupSession setup(scratch / L"setup.exe",
                     PackageWithOptions(L"Dlg Both", 0x80, 1, 2, 0x7F, 0xFF));
  ASSERT_TRUE(setup.ok());
  ExpectCommonStart(setup, L"Dlg Both");
  EXPECT_TRUE(setup.Shown(IDC_MODE_NORMAL));
  EXPECT_TRUE(setup.Shown(IDC_MODE_RUN_ONCE));
  EXPECT_TRUE(setup.Checked(IDC_MODE_NORMAL));
  EXPECT_FALSE(setup.Checked(IDC_MODE_RUN_ONCE));
  EXPECT_FALSE(setup.Shown(IDC_OPTIONS_PROMPT));
  for (int id : kOptionBoxes) EXPECT_TRUE(setup.Checked(id)) << id;
  EXPECT_EQ(setup.PressExit(), 0u);
}

// Each default byte ticks its own box and no other.
TEST(SetupDialog, EachDefaultByteTicksItsOwnBox) {
  struct Case {
    uint8_t TestPackageContents::*option;
    int box;
  };
  const Case cases[] = {
      {&TestPackageContents::default_desktop, IDC_DESKTOP_SHORTCUT},
      {&TestPackageContents::default_startup, IDC_STARTUP_SHORTCUT},
      {&TestPackageContents::default_programs, IDC_PROGRAMS_SHORTCUT},
      {&TestPackageContents::default_launch, IDC_LAUNCH_AFTER_INSTALL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.box);
    ScratchFolder scratch;
    TestPackageContents contents = DialogTestPackage(L"Dlg Defaults");
    contents.*(c.option) = 1;
    SetupSession setup(scratch / L"setup.exe", contents);
    ASSERT_TRUE(setup.ok());
    for (int id : kOptionBoxes) EXPECT_EQ(setup.Checked(id), id == c.box) << id;
    EXPECT_EQ(setup.PressExit(), 0u);
  }
}

TEST(SetupDialog, AgreementBoxEnablesAndDisablesInstall) {
  ScratchFolder scratch;
  SetupSession setup(scratch / L"setup.exe", DialogTestPackage(L"Dlg Agree"));
  ASSERT_TRUE(setup.ok());
  EXPECT_FALSE(setup.Enabled(IDOK));
  setup.Click(IDC_LICENSE_AGREE);
  EXPECT_TRUE(setup.Checked(IDC_LICENSE_AGREE));
  EXPECT_TRUE(setup.Enabled(IDOK));
  setup.Click(IDC_LICENSE_AGREE);
  EXPECT_FALSE(setup.Checked(IDC_LICENSE_AGREE));
  EXPECT_FALSE(setup.Enabled(IDOK));
  EXPECT_EQ(setup.PressExit(), 0u);
}

TEST(SetupDialog, RunOnceHidesTheFolderRowAndOptionsAndRenamesTheButton) {
  ScratchFolder scratch;
  SetupSession setup(scratch / L"setup.exe", PackageWithOptions(L"Dlg Modes", 1, 1));
  ASSERT_TRUE(setup.ok());
  // Options changed before switching come back unchanged.
  setup.Click(IDC_STARTUP_SHORTCUT);
  setup.Click(IDC_DESKTOP_SHORTCUT);

  setup.Click(IDC_MODE_RUN_ONCE);
  EXPECT_TRUE(setup.Checked(IDC_MODE_RUN_ONCE));
  EXPECT_FALSE(setup.Checked(IDC_MODE_NORMAL));
  for (int id : kNormalOnly) EXPECT_FALSE(setup.Shown(id)) << id;
  EXPECT_TRUE(setup.Shown(IDC_RUN_ONCE_TEXT));
  EXPECT_EQ(setup.Text(IDC_RUN_ONCE_TEXT),
            L"Install and execute the application once and automatically uninstall it after "
            L"use. No registry changes and the like are made.");
  EXPECT_EQ(setup.Text(IDOK), L"Execute");
  EXPECT_FALSE(setup.Enabled(IDOK));  // the radios leave the agreement alone

  // A click on the selected radio applies the same mode again.
  setup.Click(IDC_MODE_RUN_ONCE);
  EXPECT_EQ(setup.Text(IDOK), L"Execute");
  EXPECT_TRUE(setup.Shown(IDC_RUN_ONCE_TEXT));

  setup.Click(IDC_LICENSE_AGREE);
  EXPECT_TRUE(setup.Enabled(IDOK));

  setup.Click(IDC_MODE_NORMAL);
  for (int id : kNormalOnly) EXPECT_TRUE(setup.Shown(id)) << id;
  EXPECT_FALSE(setup.Shown(IDC_RUN_ONCE_TEXT));
  EXPECT_EQ(setup.Text(IDOK), L"Install");
  EXPECT_TRUE(setup.Enabled(IDOK));
  EXPECT_FALSE(setup.Checked(IDC_DESKTOP_SHORTCUT));
  EXPECT_TRUE(setup.Checked(IDC_STARTUP_SHORTCUT));
  EXPECT_FALSE(setup.Checked(IDC_PROGRAMS_SHORTCUT));
  EXPECT_FALSE(setup.Checked(IDC_LAUNCH_AFTER_INSTALL));
  EXPECT_EQ(setup.PressExit(), 0u);
}

// A "#" in the product name would end the name early in the uninstall log's header, so
// the uninstaller would read another name, version and window class: such a package is
// refused before its dialog shows.
TEST(SetupDialog, ProductNameWithHashIsRefusedBeforeTheDialogShows) {
  ScratchFolder scratch;
  TestPackageContents contents = DialogTestPackage(L"Dlg #N##");
  ASSERT_TRUE(BuildSetup(scratch / L"setup.exe", contents));
  Child child = StartChild(Quoted(scratch / L"setup.exe"));
  HWND box = WaitForWindow(child.pid, L"#32770", L"Fatal error", kWindowTimeoutMs);
  ASSERT_NE(box, (HWND)NULL);
  EXPECT_EQ(WindowText(GetDlgItem(box, 0xFFFF)), L"Could not extract installation data!");
  EXPECT_EQ(WaitForWindow(child.pid, L"#32770", SetupCaption(contents).c_str(), 0), (HWND)NULL);
  PressButton(box, IDOK);
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 0u);
}

TEST(SetupDialog, CloseBoxEndsWithCodeZero) {
  ScratchFolder scratch;
  SetupSession setup(scratch / L"setup.exe", DialogTestPackage(L"Dlg Close"));
  ASSERT_TRUE(setup.ok());
  PostMessageW(setup.dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(setup.WaitForExit(), 0u);
}

TEST(SetupDialog, MissingPackageIsFatalBeforeTheDialogShows) {
  Child child = StartChild(Quoted(BinDir() + L"setup-stub.exe"));
  ASSERT_NE(child.process, (HANDLE)NULL);
  HWND box = WaitForWindow(child.pid, L"#32770", L"Fatal error", kWindowTimeoutMs);
  ASSERT_NE(box, (HWND)NULL);
  EXPECT_EQ(WindowText(GetDlgItem(box, 0xFFFF)), L"Could not extract installation data!");
  // The dialog itself never became visible: the box is the process's only window.
  EXPECT_EQ(WaitForWindow(child.pid, L"#32770", L"#N #V Installer", 0), (HWND)NULL);
  PressButton(box, IDOK);
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 0u);
}

TEST(SetupDialog, RunningApplicationIsAskedToCloseWithRetryAndCancel) {
  ScratchFolder scratch;
  TestPackageContents contents = DialogTestPackage(L"Dlg Running");
  contents.allow_run_once = 1;
  AddUninstallerEntry(contents, L"alpha.exe");
  // The install makes a desktop shortcut for nothing (no entry asks for one) and registers
  // the product.
  Leftovers leftovers;
  leftovers.AddProduct(L"Dlg Running", L"2.5");
  SetupSession setup(scratch / L"setup.exe", contents);
  ASSERT_TRUE(setup.ok());
  FakeRunningApplication application(L"Dlg RunningWnd");
  setup.SetFolder(scratch / L"installed");
  setup.Click(IDC_LICENSE_AGREE);
  setup.Click(IDC_DESKTOP_SHORTCUT);

  // Cancel: the dialog stays as it was and nothing is installed.
  setup.Press(IDOK);
  MessageBoxSeen box = setup.WaitForBox(L"Message");
  ASSERT_NE(box.window, (HWND)NULL);
  EXPECT_EQ(box.text, L"Dlg Running is still running, please close the application.");
  EXPECT_TRUE(box.has_button[IDRETRY]);
  EXPECT_TRUE(box.has_button[IDCANCEL]);
  EXPECT_FALSE(box.has_button[IDOK]);
  // The box has no owner; while it is up the dialog holds every command off, so a second
  // Install cannot nest a second check (and later a second install run) inside it.
  setup.SendCommand(IDOK);
  setup.SendCommand(IDC_MODE_RUN_ONCE);
  EXPECT_EQ(DialogWindowCount(setup.pid()), 2);
  EXPECT_FALSE(setup.Shown(IDC_RUN_ONCE_TEXT));
  PressButton(box.window, IDCANCEL);
  ASSERT_TRUE(WaitForWindowGone(box.window, kWindowTimeoutMs));
  EXPECT_TRUE(IsWindowVisible(setup.dialog()));
  EXPECT_TRUE(setup.Enabled(IDOK));
  EXPECT_TRUE(setup.Checked(IDC_DESKTOP_SHORTCUT));
  EXPECT_EQ(setup.Text(IDC_FOLDER_EDIT), scratch / L"installed");
  EXPECT_FALSE(FolderExists(scratch / L"installed"));

  // Retry while the window is still there asks again.
  setup.Press(IDOK);
  box = setup.WaitForBox(L"Message");
  ASSERT_NE(box.window, (HWND)NULL);
  PressButton(box.window, IDRETRY);
  ASSERT_TRUE(WaitForWindowGone(box.window, kWindowTimeoutMs));
  MessageBoxSeen again = setup.WaitForBox(L"Message");
  ASSERT_NE(again.window, (HWND)NULL);
  EXPECT_EQ(again.text, box.text);
  EXPECT_FALSE(FolderExists(scratch / L"installed"));

  // Retry after the application closed goes on with the installation.
  application.Close();
  PressButton(again.window, IDRETRY);
  EXPECT_EQ(setup.AnswerLastBox(kSuccessCaption, kSuccessText), 0u);
  EXPECT_TRUE(FileExists(scratch / L"installed\\uninstall.dat"));
}

}  // namespace
