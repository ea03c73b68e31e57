// What an uninstall leaves, told as it is: real setups built from setup-stub.exe with the
// real uninstall.exe, installed through their dialog, then uninstalled the way Windows'
// list of installed programs starts it; a file in use, a log cut short, a link of the same
// name from another installation, the uninstaller started twice, a drive root and a short
// folder name.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "harness/console_child.h"
#include "harness/install_run.h"
#include "harness/installation.h"
#include "harness/leftovers.h"
#include "harness/log_text.h"
#include "harness/message_boxes.h"
#include "harness/package_builder.h"
#include "harness/registry.h"
#include "harness/scratch.h"
#include "harness/second_phase.h"
#include "harness/setup_session.h"
#include "harness/shell.h"
#include "harness/unix_side.h"
#include "setup/resource.h"

namespace {

// Product `name` `version`: tool.exe (alpha.exe's bytes) with a desktop shortcut when
// `desktop`, a help page in a folder, and the uninstaller.
TestPackageContents Product(const std::wstring& name, const std::wstring& version,
                            const std::u16string& window_class) {
  TestPackageContents contents = TestPackage();
  contents.product_name = U16(name);
  contents.product_version = U16(version);
  contents.window_class = window_class;
  AddUninstallerEntry(contents, L"uninstall.exe");
  AddEntry(contents, ENTRY_DESKTOP_SHORTCUT, "tool.exe", FileText(AlphaExe()));
  AddEntry(contents, 0, "help\\index.htm", "<html>help</html>");
  contents.folders.push_back("help");
  return contents;
}

// Installs `contents` through the setup dialog into `dir` (typed as given), the desktop
// shortcut ticked or not, nothing launched.
void InstallThroughDialog(const std::wstring& scratch, const TestPackageContents& contents,
                          const std::wstring& dir, bool desktop) {
  SetupSession setup(scratch + L"\\setup.exe", contents);
  ASSERT_TRUE(setup.ok());
  setup.SetFolder(dir);
  if (setup.Checked(IDC_DESKTOP_SHORTCUT) != desktop) setup.Click(IDC_DESKTOP_SHORTCUT);
  if (setup.Checked(IDC_LAUNCH_AFTER_INSTALL)) setup.Click(IDC_LAUNCH_AFTER_INSTALL);
  setup.AgreeAndInstall();
  EXPECT_EQ(setup.AnswerLastBox(kSuccessCaption, kSuccessText), 0u);
}

// Starts the uninstall of `name` `version` as Windows' list does (its UninstallString as a
// command line), answers its question with Yes, and answers the second phase's last box,
// which must be titled `caption` and say `text`. Returns the second phase's exit code.
DWORD UninstallFromList(const std::wstring& name, const std::wstring& version,
                        const std::wstring& caption, const std::wstring& text) {
  RegistryString command =
      ReadRegistryString(HKEY_LOCAL_MACHINE, UninstallKey(name, version), L"UninstallString");
  EXPECT_TRUE(command.found);
  if (!command.found) return kTimedOut;
  Child first = StartChild(command.value);
  return ConfirmUninstallToTheEnd(first, name, version, caption, text);
}

// A run that refused with the one "Fatal error" box saying `text` and exit code 1.
void ExpectRefused(const AnsweredRun& run, const std::wstring& text) {
  EXPECT_EQ(run.exit_code, 1u);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].caption, L"Fatal error");
  EXPECT_EQ(run.boxes[0].text, text);
}

DWORD UninstallFromListToTheEnd(const std::wstring& name, const std::wstring& version) {
  return UninstallFromList(name, version, L"Done", kUninstallDoneText);
}

// Each test's scratch folder, with the second phase's leftovers and every product it names
// removed before and after.
class UninstallOutcome : public ::testing::Test {
 protected:
  void Product(const std::wstring& name, const std::wstring& version) {
    leftovers.AddProduct(name, version, L"tool.lnk");
    leftovers.RemoveNow();
  }

  ScratchFolder scratch;
  SecondPhaseCleanup cleanup;
  Leftovers leftovers;
  std::wstring desktop = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
};

TEST_F(UninstallOutcome, ASameNamedLinkOfAnotherInstallationStays) {
  Product(L"Twin", L"2.4");
  Product(L"Twin", L"2.5");
  std::wstring older = scratch / L"Twin 2.4", newer = scratch / L"Twin 2.5";
  InstallThroughDialog(scratch.path(), ::Product(L"Twin", L"2.4", u"TwinWnd"), older, true);
  InstallThroughDialog(scratch.path(), ::Product(L"Twin", L"2.5", u"TwinWnd"), newer, true);
  ASSERT_EQ(ReadShellLink(desktop + L"\\tool.lnk").target, newer + L"\\tool.exe");

  EXPECT_EQ(UninstallFromListToTheEnd(L"Twin", L"2.4"), 0u);
  EXPECT_FALSE(FolderExists(older));
  EXPECT_EQ(ReadShellLink(desktop + L"\\tool.lnk").target, newer + L"\\tool.exe")
      << "the link now leads into the other installation and stays";

  EXPECT_EQ(UninstallFromListToTheEnd(L"Twin", L"2.5"), 0u);
  EXPECT_FALSE(FileExists(desktop + L"\\tool.lnk"));
  EXPECT_FALSE(FolderExists(newer));
}

// A file that another program holds open cannot be deleted: it is counted, the box names
// the folder, and the key, the uninstaller and the log stay so that the uninstall can be
// started again from Windows' list, which then removes the rest.
TEST_F(UninstallOutcome, AFileInUseIsToldAndTheUninstallCanBeStartedAgain) {
  Product(L"Busy", L"1.0");
  std::wstring dir = scratch / L"Apps\\Busy 1.0";
  InstallThroughDialog(scratch.path(), ::Product(L"Busy", L"1.0", u"BusyWnd"), dir, true);
  ASSERT_TRUE(FileExists(dir + L"\\help\\index.htm"));
  HANDLE held = CreateFileW((dir + L"\\help\\index.htm").c_str(), GENERIC_READ, FILE_SHARE_READ,
                            NULL, OPEN_EXISTING, 0, NULL);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);

  // Wine keeps no access lists, so no folder there keeps users out: nothing is scheduled
  // for restart, and the file simply stays.
  const std::wstring stays_text =
      L"Some items could not be removed now, they stay in " + dir +
      L". Close the programs that use them, then uninstall again from the list of installed "
      L"programs.";
  EXPECT_EQ(UninstallFromList(L"Busy", L"1.0", L"Done", stays_text), 2u);
  EXPECT_TRUE(FileExists(dir + L"\\help\\index.htm"));
  EXPECT_FALSE(FileExists(dir + L"\\tool.exe")) << "what could go is gone";
  EXPECT_FALSE(FileExists(desktop + L"\\tool.lnk"));
  EXPECT_TRUE(FileExists(dir + L"\\uninstall.exe"));
  EXPECT_TRUE(FileExists(dir + L"\\uninstall.dat"));
  EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey(L"Busy", L"1.0")));

  CloseHandle(held);
  EXPECT_EQ(UninstallFromListToTheEnd(L"Busy", L"1.0"), 0u);
  EXPECT_FALSE(FolderExists(scratch / L"Apps"));
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey(L"Busy", L"1.0")));
}

// An install killed before it finished leaves a log whose last record is unfinished:
// every complete record is applied, the rest is skipped, and the uninstall ends as usual.
TEST_F(UninstallOutcome, ALogCutShortIsAppliedAsFarAsItGoes) {
  Product(L"Cut", L"1.0");
  std::wstring dir = scratch / L"Cut 1.0";
  InstallThroughDialog(scratch.path(), ::Product(L"Cut", L"1.0", u"CutWnd"), dir, false);
  std::wstring log = ReadLog(dir + L"\\uninstall.dat");
  size_t help = log.find(L"help\\index.htm|");
  ASSERT_NE(help, std::wstring::npos);
  ASSERT_LT(log.find(L"tool.exe|"), help) << "setup logs the files in package order";
  // Cut inside the help page's record: tool.exe's record stays whole.
  WriteLog(dir + L"\\uninstall.dat", log.substr(0, help + 4));

  EXPECT_EQ(UninstallFromListToTheEnd(L"Cut", L"1.0"), 0u);
  EXPECT_FALSE(FileExists(dir + L"\\tool.exe"));
  EXPECT_FALSE(FileExists(dir + L"\\uninstall.dat")) << "the log read goes";
  // Setup logs them after the files: no complete record names them now.
  EXPECT_TRUE(FileExists(dir + L"\\help\\index.htm"));
  EXPECT_TRUE(FileExists(dir + L"\\uninstall.exe"));
}

// A second start while the first uninstall runs says so at once; a second phase for a
// folder that is gone says the log cannot be opened, not that a link was met.
TEST_F(UninstallOutcome, TheUninstallerStartedTwiceAndAfterTheFolderIsGone) {
  Product(L"Twice", L"1.0");
  std::wstring dir = scratch / L"Twice 1.0";
  InstallThroughDialog(scratch.path(), ::Product(L"Twice", L"1.0", u""), dir, false);
  std::wstring uninstaller = Quoted(dir + L"\\uninstall.exe");
  Child first = StartChild(uninstaller);
  MessageBoxSeen question = WaitForMessageBox(first.pid, kWindowTimeoutMs, L"Uninstaller");
  ASSERT_NE(question.window, nullptr);
  AnsweredRun again = RunAnsweringMessageBoxes(uninstaller, kRunTimeoutMs);
  ExpectRefused(again,
                L"Another uninstall of this installation is still running, uninstall aborted!");
  EXPECT_EQ(ConfirmUninstallToTheEnd(first, L"Twice", L"1.0", L"Done", kUninstallDoneText), 0u);
  EXPECT_FALSE(FolderExists(dir)) << "the empty window class skips the running check only";

  CopyForTest(UninstallerExe(), scratch / L"copy.exe");
  AnsweredRun gone =
      RunAnsweringMessageBoxes(Quoted(scratch / L"copy.exe") + L" " + Quoted(dir) + L" /PHASE2",
                               kRunTimeoutMs);
  ExpectRefused(gone, kLogNotOpenedText);
}

// A Run Once whose program saves into its working folder, the installation folder: once
// the run is over, what the log names is gone, and the saved file stays, readable.
TEST_F(UninstallOutcome, ARunOnceKeepsWhatTheProductSavedInItsWorkingFolder) {
  SetupScratch run;
  TestPackageContents contents = TestPackage();
  contents.product_name = u"Saver";
  contents.window_class = u"";
  contents.allow_run_once = 1;
  contents.log_executables = 0;
  AddUninstallerEntry(contents, L"uninstall.exe");
  AddEntry(contents, ENTRY_LAUNCH, "save.bat", "@echo saved by the product> saved.txt\r\n");
  {
    SetupSession setup(run / L"setup.exe", contents);
    ASSERT_TRUE(setup.ok());
    setup.Click(IDC_MODE_RUN_ONCE);
    setup.AgreeAndInstall();
    EXPECT_EQ(setup.WaitForExit(), 0u);
  }
  Child second = WaitForSecondPhaseStart(kWindowTimeoutMs);
  ASSERT_NE(second.process, nullptr) << "the uninstaller did not hand over";
  EXPECT_EQ(FinishChild(second, kRunTimeoutMs), 0u);

  std::vector<std::wstring> made = RunOnceFoldersOf(L"Saver");
  ASSERT_EQ(made.size(), 1u);
  std::wstring dir = made[0] + L"\\KOZ_Soft_Saver";
  EXPECT_EQ(FolderContents(dir), (std::vector<std::wstring>{L"saved.txt"}));
  EXPECT_EQ(FileText(dir + L"\\saved.txt").substr(0, 20), "saved by the product");
  RemoveTree(made[0]);
}

// A drive letter of this Wine prefix mapped to a scratch folder, removed again.
class ScratchDrive {
 public:
  explicit ScratchDrive(const std::wstring& folder) {
    for (wchar_t letter = L'Q'; letter <= L'Y' && root_.empty(); ++letter) {
      std::wstring root = std::wstring(1, letter) + L":\\";
      if (GetDriveTypeW(root.c_str()) != DRIVE_NO_ROOT_DIR) continue;
      link_ = "\"$WINEPREFIX\"/dosdevices/" + std::string(1, (char)(letter - L'A' + 'a')) + ":";
      if (RunOnUnixSide("ln -s " + ShellQuoted(UnixPath(folder)) + " " + link_) &&
          FolderExists(root)) {
        root_ = root;
      }
    }
  }
  ~ScratchDrive() {
    if (!link_.empty()) RunOnUnixSide("rm -f " + link_);
  }
  ScratchDrive(const ScratchDrive&) = delete;
  ScratchDrive& operator=(const ScratchDrive&) = delete;
  const std::wstring& root() const { return root_; }

 private:
  std::wstring root_;
  std::string link_;
};

// Setup into a drive root: the log lies in the root, its files are removed, the root stays.
TEST_F(UninstallOutcome, SetupIntoADriveRootAndBack) {
  Product(L"Rooted", L"1.0");
  std::wstring drive_folder = scratch / L"drive";
  ASSERT_TRUE(CreateDirectoryW(drive_folder.c_str(), NULL));
  ScratchDrive drive(drive_folder);
  ASSERT_FALSE(drive.root().empty()) << "no free drive letter could be mapped";
  InstallThroughDialog(scratch.path(), ::Product(L"Rooted", L"1.0", u"RootedWnd"), drive.root(),
                       false);
  EXPECT_TRUE(FileExists(drive.root() + L"tool.exe"));
  RegistryString command = ReadRegistryString(HKEY_LOCAL_MACHINE, UninstallKey(L"Rooted", L"1.0"),
                                              L"UninstallString");
  EXPECT_EQ(command.value, Quoted(drive.root() + L"uninstall.exe"));

  EXPECT_EQ(UninstallFromListToTheEnd(L"Rooted", L"1.0"), 0u);
  EXPECT_TRUE(FolderContents(drive_folder).empty());
  EXPECT_TRUE(FolderExists(drive_folder));
}

// A folder given with a short name on its way is installed into and registered in its
// long form, and the uninstall started from that registration removes it.
TEST_F(UninstallOutcome, SetupGivenAShortFolderName) {
  Product(L"Shorty", L"1.0");
  std::wstring parent = scratch / L"A Rather Long Folder Name";
  ASSERT_TRUE(CreateDirectoryW(parent.c_str(), NULL));
  wchar_t short_form[MAX_PATH];
  DWORD length = GetShortPathNameW(parent.c_str(), short_form, MAX_PATH);
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, (DWORD)MAX_PATH);
  ASSERT_NE(std::wstring(short_form), parent) << "the system gives no short name";
  InstallThroughDialog(scratch.path(), ::Product(L"Shorty", L"1.0", u"ShortyWnd"),
                       std::wstring(short_form) + L"\\Shorty", false);
  std::wstring dir = parent + L"\\Shorty";
  EXPECT_TRUE(FileExists(dir + L"\\tool.exe"));
  RegistryString command = ReadRegistryString(HKEY_LOCAL_MACHINE, UninstallKey(L"Shorty", L"1.0"),
                                              L"UninstallString");
  EXPECT_EQ(command.value, Quoted(dir + L"\\uninstall.exe"));

  EXPECT_EQ(UninstallFromListToTheEnd(L"Shorty", L"1.0"), 0u);
  // Setup logs the folders along the installation folder as well, in their long form: the
  // emptied parent goes too, which it would not if the log named it by its short form.
  EXPECT_FALSE(FolderExists(dir));
  EXPECT_FALSE(FolderExists(parent));
}

}  // namespace
