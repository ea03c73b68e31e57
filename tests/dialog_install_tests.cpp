// Install and Execute from the dialog, end to end: the success box, the files, the log,
// the shortcuts, the registration and the "/FIRSTRUN" starts of a Normal install; the
// Run Once start, wait and hand-over to "uninstall.exe" "/AUTO"; commands held off while
// an install run is in progress.
#include <gtest/gtest.h>
#include <shlobj.h>

#include "app/resource.h"
#include "dialog_session.h"
#include "harness/scratch.h"

namespace {

const wchar_t kUninstallKeys[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const wchar_t kProgramWindowClass[] = L"AlphaWnd";

std::string AlphaBytes() {
  std::vector<unsigned char> bytes = ReadBytes(BinDir() + L"alpha.exe");
  EXPECT_FALSE(bytes.empty());
  return std::string(bytes.begin(), bytes.end());
}

std::string FileText(const std::wstring& path) {
  std::vector<unsigned char> bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// The uninstall log as text (UTF-16LE without byte-order mark).
std::wstring LogText(const std::wstring& path) {
  std::vector<unsigned char> bytes = ReadBytes(path);
  return std::wstring((const wchar_t*)bytes.data(), bytes.size() / sizeof(wchar_t));
}

// The command line and the working folder of one record line.
struct Start {
  std::wstring command;
  std::wstring folder;
};

Start ParseStart(const std::wstring& line) {
  size_t tab = line.find(L'\t');
  Start start;
  start.command = line.substr(0, tab);
  if (tab != std::wstring::npos) start.folder = line.substr(tab + 1);
  return start;
}

bool EndsWith(const std::wstring& text, const std::wstring& tail) {
  return text.size() >= tail.size() &&
         lstrcmpiW(text.substr(text.size() - tail.size()).c_str(), tail.c_str()) == 0;
}

bool SamePath(std::wstring a, std::wstring b) {
  while (!a.empty() && a.back() == L'\\') a.pop_back();
  while (!b.empty() && b.back() == L'\\') b.pop_back();
  return lstrcmpiW(a.c_str(), b.c_str()) == 0;
}

// Each test's private temporary folder, record file, and the removal of whatever an
// install leaves outside the scratch folder: shortcuts, the Programs group, the
// registration, and the programs it started.
class InstallTest : public ::testing::Test {
 protected:
  InstallTest() { CreateDirectoryW(temp_.c_str(), NULL); }
  ~InstallTest() override {
    CloseWindowsOfClass(kProgramWindowClass);
    for (int csidl : {CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_STARTUP}) {
      for (const std::wstring& link : links_) DeleteFileW((SpecialFolder(csidl) + L"\\" + link).c_str());
    }
    for (const std::wstring& group : groups_) {
      RemoveTree(SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\" + group);
    }
    for (const std::wstring& key : keys_) RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
  }

  // Remembers what an install of `name` may leave: shortcut `link`, group and key.
  void WillLeave(const std::wstring& name, const std::wstring& link) {
    links_.push_back(link);
    groups_.push_back(name + L" 2.5");
    keys_.push_back(std::wstring(kUninstallKeys) + L"KOZ Soft " + name + L" 2.5");
  }

  ScratchFolder scratch_;
  std::wstring temp_ = scratch_ / L"temp";
  std::wstring records_ = scratch_ / L"records.txt";
  ScopedEnvironment tmp_{L"TMP", scratch_ / L"temp"};
  ScopedEnvironment temp_variable_{L"TEMP", scratch_ / L"temp"};
  ScopedEnvironment record_{L"ALPHA_RECORD", scratch_ / L"records.txt"};
  std::vector<std::wstring> links_, groups_, keys_;
};

TEST_F(InstallTest, NormalInstallFromTheDialogEndToEnd) {
  const std::wstring name = L"Dlg Normal";
  WillLeave(name, L"dlgnormal.lnk");
  PackageContents contents = DialogTestPackage(name);
  contents.allow_run_once = 1;
  contents.log_executables = 1;
  contents.default_desktop = contents.default_startup = 1;
  contents.default_programs = contents.default_launch = 1;
  contents.folders = {"help"};
  AddUninstallerEntry(contents, L"alpha.exe");
  AddEntry(contents, 0x0017, "dlgnormal.exe", AlphaBytes());
  AddEntry(contents, ENTRY_LAUNCH, "help\\tool.exe", AlphaBytes());
  AddEntry(contents, ENTRY_PROGRAMS_SHORTCUT | ENTRY_LICENSE_DOCUMENT, "license.htm", "<html/>");
  AddEntry(contents, 0, "help\\dlgnormal.txt", "help text");
  SetupSession setup(scratch_ / L"setup.exe", contents);
  ASSERT_TRUE(setup.ok());
  const std::wstring dir = scratch_ / L"Installed Here";
  setup.SetFolder(dir);
  setup.Click(IDC_LICENSE_AGREE);
  setup.Press(IDOK);

  MessageBoxSeen done = setup.WaitForBox(L"Setup complete");
  ASSERT_NE(done.window, (HWND)NULL);
  EXPECT_EQ(done.text, L"The application has been installed successfully.");
  EXPECT_TRUE(done.has_button[IDOK]);
  EXPECT_FALSE(done.has_button[IDCANCEL]);

  // The box has no owner, so the dialog still gets commands: none may take effect now.
  setup.SendCommand(IDOK);
  setup.Click(IDC_MODE_RUN_ONCE);
  setup.SendCommand(IDC_SHOW_LICENSE);
  setup.SendCommand(IDC_BROWSE);
  setup.Click(IDC_LICENSE_AGREE);
  setup.SendCommand(IDCANCEL);
  DWORD_PTR ignored;
  SendMessageTimeoutW(setup.dialog(), WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, &ignored);
  EXPECT_TRUE(IsWindowVisible(setup.dialog()));
  EXPECT_EQ(DialogWindowCount(setup.pid()), 2);  // the dialog and the one success box
  EXPECT_EQ(setup.Text(IDOK), L"Install");
  EXPECT_FALSE(setup.Shown(IDC_RUN_ONCE_TEXT));
  EXPECT_TRUE(setup.Enabled(IDOK));
  EXPECT_TRUE(FolderContents(temp_).empty()) << "the licence was extracted";

  PressButton(done.window, IDOK);
  EXPECT_EQ(setup.WaitForExit(), 0u);

  // Both launchable files started with "/FIRSTRUN" in their own folders (in package
  // order, but they record concurrently), and nothing else was started.
  std::vector<std::wstring> lines = WaitForRecordLines(records_, 2);
  ASSERT_EQ(lines.size(), 2u);
  bool main_seen = false, tool_seen = false;
  for (const std::wstring& line : lines) {
    Start start = ParseStart(line);
    SCOPED_TRACE(Narrow(line));
    EXPECT_TRUE(EndsWith(start.command, L" /FIRSTRUN"));
    if (start.command.find(L"dlgnormal.exe") != std::wstring::npos) {
      main_seen = true;
      EXPECT_TRUE(SamePath(start.folder, dir));
    } else if (start.command.find(L"tool.exe") != std::wstring::npos) {
      tool_seen = true;
      EXPECT_TRUE(SamePath(start.folder, dir + L"\\help"));
    }
  }
  EXPECT_TRUE(main_seen && tool_seen);

  // The files, byte for byte.
  EXPECT_EQ(FileText(dir + L"\\dlgnormal.exe"), AlphaBytes());
  EXPECT_EQ(FileText(dir + L"\\help\\tool.exe"), AlphaBytes());
  EXPECT_EQ(FileText(dir + L"\\uninstall.exe"), AlphaBytes());
  EXPECT_EQ(FileText(dir + L"\\license.htm"), "<html/>");
  EXPECT_EQ(FileText(dir + L"\\help\\dlgnormal.txt"), "help text");

  // The log: header, executables, files, shortcuts, registration, folders, end marker.
  std::wstring log = LogText(dir + L"\\uninstall.dat");
  // Inside the product's group the symbolic path has no backslash after "<23>".
  const std::wstring group = L"<23>" + name + L" 2.5";
  const std::wstring key = std::wstring(kUninstallKeys) + L"KOZ Soft " + name + L" 2.5";
  EXPECT_EQ(log.find(name + L"#2.5#" + name + L"Wnd#DO NOT REMOVE/EDIT THIS FILE"), 0u);
  for (const std::wstring& record : std::vector<std::wstring>{
           L"|E|" + dir + L"\\dlgnormal.exe|", L"|E|" + dir + L"\\help\\tool.exe|",
        L"|F|" + dir + L"\\dlgnormal.exe|", L"|F|" + dir + L"\\help\\dlgnormal.txt|",
        L"|F|<25>\\dlgnormal.lnk|", L"|F|<24>\\dlgnormal.lnk|",
        L"|F|" + group + L"\\dlgnormal.lnk|", L"|F|" + group + L"\\license.lnk|",
        L"|F|" + group + L"\\uninstall.lnk|", L"|R|" + key + L"|",
        L"|F|" + dir + L"\\uninstall.exe|", L"|F|" + dir + L"\\uninstall.dat|",
        L"|S|" + dir + L"\\help|", L"|S|" + group + L"|"}) {
    EXPECT_NE(log.find(L"\r\n" + record), std::wstring::npos) << Narrow(record);
  }
  EXPECT_TRUE(EndsWith(log, L"\r\n||"));

  // Shortcuts and registration.
  EXPECT_TRUE(FileExists(SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\dlgnormal.lnk"));
  EXPECT_TRUE(FileExists(SpecialFolder(CSIDL_COMMON_STARTUP) + L"\\dlgnormal.lnk"));
  std::wstring programs_group = SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\" + name + L" 2.5";
  EXPECT_TRUE(FileExists(programs_group + L"\\dlgnormal.lnk"));
  EXPECT_TRUE(FileExists(programs_group + L"\\license.lnk"));
  EXPECT_TRUE(FileExists(programs_group + L"\\uninstall.lnk"));
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"UninstallString").value,
            L"\"" + dir + L"\\uninstall.exe\"");
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"DisplayName").value,
            name + L" 2.5 (Remove / Re-install only)");
}

TEST_F(InstallTest, NormalInstallWithoutExecuteAfterInstallationStartsNothing) {
  const std::wstring name = L"Dlg Quiet";
  WillLeave(name, L"dlgquiet.lnk");
  PackageContents contents = DialogTestPackage(name);
  contents.default_launch = 1;
  AddUninstallerEntry(contents, L"alpha.exe");
  AddEntry(contents, ENTRY_LAUNCH, "dlgquiet.exe", AlphaBytes());
  SetupSession setup(scratch_ / L"setup.exe", contents);
  ASSERT_TRUE(setup.ok());
  setup.SetFolder(scratch_ / L"quiet");
  setup.Click(IDC_LAUNCH_AFTER_INSTALL);
  EXPECT_FALSE(setup.Checked(IDC_LAUNCH_AFTER_INSTALL));
  setup.Click(IDC_LICENSE_AGREE);
  setup.Press(IDOK);
  MessageBoxSeen done = setup.WaitForBox(L"Setup complete");
  ASSERT_NE(done.window, (HWND)NULL);
  PressButton(done.window, IDOK);
  EXPECT_EQ(setup.WaitForExit(), 0u);
  EXPECT_TRUE(FileExists(scratch_ / L"quiet\\dlgquiet.exe"));
  EXPECT_TRUE(WaitForRecordLines(records_, 1, 1000).empty());
}

TEST_F(InstallTest, RunOnceRunsTheProgramWaitsAndHandsOverToTheUninstaller) {
  const std::wstring name = L"Dlg Once";
  WillLeave(name, L"dlgonce.lnk");
  PackageContents contents = DialogTestPackage(name);
  contents.allow_run_once = 1;
  contents.default_desktop = contents.default_startup = 1;
  contents.default_programs = contents.default_launch = 1;
  AddUninstallerEntry(contents, L"alpha.exe");  // records its "/AUTO" start
  AddEntry(contents, 0x0017, "dlgonce.exe", AlphaBytes());
  AddEntry(contents, ENTRY_LAUNCH, "second.exe", AlphaBytes());
  SetupSession setup(scratch_ / L"setup.exe", contents);
  ASSERT_TRUE(setup.ok());
  setup.SetFolder(scratch_ / L"ignored in Run Once");
  setup.Click(IDC_MODE_RUN_ONCE);
  setup.Click(IDC_LICENSE_AGREE);
  EXPECT_EQ(setup.Text(IDOK), L"Execute");
  setup.Press(IDOK);

  // The first launchable program runs with "/RUNONCE" from the Run Once folder, made in a
  // private folder ("koz-" and eight hexadecimal digits) below the temporary folder.
  std::vector<std::wstring> lines = WaitForRecordLines(records_, 1);
  ASSERT_EQ(lines.size(), 1u);
  std::vector<std::wstring> made = FolderContents(temp_);
  ASSERT_EQ(made.size(), 1u);
  EXPECT_EQ(made[0].size(), 12u);
  EXPECT_EQ(made[0].compare(0, 4, L"koz-"), 0) << Narrow(made[0]);
  const std::wstring dir = temp_ + L"\\" + made[0] + L"\\KOZ_Soft_" + name;
  Start program = ParseStart(lines[0]);
  EXPECT_TRUE(EndsWith(program.command, L"dlgonce.exe\" /RUNONCE")) << Narrow(lines[0]);
  EXPECT_TRUE(SamePath(program.folder, dir)) << Narrow(lines[0]);
  HWND window = WaitForWindow(0, kProgramWindowClass, NULL, kWindowTimeoutMs);
  ASSERT_NE(window, (HWND)NULL);

  // While it runs the dialog is hidden and holds every command off.
  EXPECT_FALSE(IsWindowVisible(setup.dialog()));
  setup.SendCommand(IDOK);
  setup.Click(IDC_MODE_NORMAL);
  EXPECT_EQ(setup.Text(IDOK), L"Execute");
  EXPECT_EQ(WaitForRecordLines(records_, 2, 1000).size(), 1u) << "started before the end";

  // Its end hands over to "uninstall.exe" "/AUTO" in the installation folder.
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(setup.WaitForExit(), 0u);
  lines = WaitForRecordLines(records_, 2);
  ASSERT_EQ(lines.size(), 2u);
  Start uninstaller = ParseStart(lines[1]);
  EXPECT_TRUE(EndsWith(uninstaller.command, L"uninstall.exe\" /AUTO")) << Narrow(lines[1]);
  EXPECT_TRUE(SamePath(uninstaller.folder, dir)) << Narrow(lines[1]);
  CloseWindowsOfClass(kProgramWindowClass);
  EXPECT_EQ(WaitForRecordLines(records_, 3, 1000).size(), 2u) << "second.exe was started";

  // Extracted into the temporary folder with its log, the folder row ignored; no
  // shortcuts and no registration.
  EXPECT_TRUE(FileExists(dir + L"\\dlgonce.exe"));
  EXPECT_TRUE(FileExists(dir + L"\\uninstall.dat"));
  EXPECT_FALSE(FolderExists(scratch_ / L"ignored in Run Once"));
  EXPECT_FALSE(FileExists(SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\dlgonce.lnk"));
  EXPECT_FALSE(FileExists(SpecialFolder(CSIDL_COMMON_STARTUP) + L"\\dlgonce.lnk"));
  EXPECT_FALSE(FolderExists(SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\" + name + L" 2.5"));
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE,
                                 std::wstring(kUninstallKeys) + L"KOZ Soft " + name + L" 2.5"));
}

TEST_F(InstallTest, RunOnceWithoutTemporaryFolderIsFatal) {
  const std::wstring name = L"Dlg No Temp";
  PackageContents contents = DialogTestPackage(name);
  contents.allow_run_once = 1;
  AddUninstallerEntry(contents, L"alpha.exe");
  ASSERT_TRUE(BuildSetup(scratch_ / L"setup.exe", contents));
  // A temporary folder name longer than any path: the platform gives no temporary folder.
  std::wstring too_long = L"C:\\" + std::wstring(300, L't');
  ScopedEnvironment tmp(L"TMP", too_long);
  ScopedEnvironment temp(L"TEMP", too_long);
  SetupSession setup(scratch_ / L"setup.exe", SetupCaption(contents));
  ASSERT_TRUE(setup.ok());
  setup.Click(IDC_MODE_RUN_ONCE);
  setup.Click(IDC_LICENSE_AGREE);
  setup.Press(IDOK);
  MessageBoxSeen fatal = setup.WaitForBox(L"Fatal error");
  ASSERT_NE(fatal.window, (HWND)NULL);
  EXPECT_EQ(fatal.text, L"Could not find the temporary folder");
  PressButton(fatal.window, IDOK);
  EXPECT_EQ(setup.WaitForExit(), 0u);
  EXPECT_TRUE(WaitForRecordLines(records_, 1, 1000).empty());
}

}  // namespace
