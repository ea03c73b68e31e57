// Whole installations undone: setup executables with the real uninstall.exe as their
// 0xFFFE entry (one built from setup-stub.exe, the sample product packed by pack.exe),
// driven through their dialog, then the uninstaller started the way Windows' list of
// installed programs and Run Once start it.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "setup/resource.h"
#include "harness/console_child.h"
#include "harness/install_run.h"
#include "harness/installation.h"
#include "harness/leftovers.h"
#include "harness/message_boxes.h"
#include "harness/package_builder.h"
#include "harness/registry.h"
#include "harness/scratch.h"
#include "harness/second_phase.h"
#include "harness/setup_session.h"
#include "harness/shell.h"

namespace {

const wchar_t kProduct[] = L"RoundTrip";
const wchar_t kGroup[] = L"RoundTrip 1.0";
const std::wstring kUninstallKey = UninstallKey(kProduct, L"1.0");

// The sample product: roundtrip.exe (alpha.exe's bytes, window class AlphaWnd) with every
// shortcut and the launch flag, a help page in a folder, and the uninstaller first.
TestPackageContents RoundTripPackage() {
  TestPackageContents contents = TestPackage();
  contents.product_name = U16(kProduct);
  contents.product_version = u"1.0";
  contents.window_class = u"AlphaWnd";
  contents.allow_run_once = 1;
  contents.log_executables = 1;
  AddUninstallerEntry(contents, L"uninstall.exe");
  std::string alpha = FileText(AlphaExe());
  EXPECT_FALSE(alpha.empty());
  AddEntry(contents,
           ENTRY_DESKTOP_SHORTCUT | ENTRY_STARTUP_SHORTCUT | ENTRY_PROGRAMS_SHORTCUT | ENTRY_LAUNCH,
           "roundtrip.exe", alpha);
  AddEntry(contents, 0, "help\\index.htm", "<html>help</html>");
  contents.folders.push_back("help");
  return contents;
}

std::vector<std::wstring> Sorted(std::vector<std::wstring> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// What lies in the shell folders that shortcuts go to, to compare before and after.
struct ShellFolders {
  std::wstring desktop = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
  std::wstring startup = SpecialFolder(CSIDL_COMMON_STARTUP);
  std::wstring programs = SpecialFolder(CSIDL_COMMON_PROGRAMS);
  std::vector<std::vector<std::wstring>> Contents() const {
    return {Sorted(FolderContents(desktop)), Sorted(FolderContents(startup)),
            Sorted(FolderContents(programs))};
  }
};

TEST(UninstallerRoundTrip, NormalInstallIsRemovedCompletelyFromTheRegisteredCommand) {
  ScratchFolder scratch;
  SecondPhaseCleanup cleanup;
  ShellFolders shell;
  ASSERT_FALSE(shell.desktop.empty());
  // Whatever a run cut short left, removed before and after.
  Leftovers leftovers;
  leftovers.AddProduct(kProduct, L"1.0", L"roundtrip.lnk");
  leftovers.RemoveNow();
  std::vector<std::vector<std::wstring>> shell_before = shell.Contents();
  WriteText(scratch / L"marker.txt", "not part of the installation");
  std::wstring dir = scratch / L"Apps\\RoundTrip 1.0";
  RecordedStarts record(scratch / L"record.txt");

  {
    SetupSession setup(scratch / L"setup.exe", RoundTripPackage());
    ASSERT_TRUE(setup.ok());
    setup.SetFolder(dir);
    for (int box : {IDC_DESKTOP_SHORTCUT, IDC_STARTUP_SHORTCUT, IDC_PROGRAMS_SHORTCUT}) {
      if (!setup.Checked(box)) setup.Click(box);
      EXPECT_TRUE(setup.Checked(box));
    }
    if (setup.Checked(IDC_LAUNCH_AFTER_INSTALL)) setup.Click(IDC_LAUNCH_AFTER_INSTALL);
    setup.AgreeAndInstall();
    EXPECT_EQ(setup.AnswerLastBox(kSuccessCaption, kSuccessText), 0u);
  }

  // Installed: files, log, shortcuts, group, registration.
  ASSERT_TRUE(FileExists(dir + L"\\roundtrip.exe"));
  EXPECT_TRUE(FileExists(dir + L"\\help\\index.htm"));
  EXPECT_TRUE(FileExists(dir + L"\\uninstall.exe"));
  EXPECT_TRUE(FileExists(dir + L"\\uninstall.dat"));
  EXPECT_TRUE(FileExists(shell.desktop + L"\\roundtrip.lnk"));
  EXPECT_TRUE(FileExists(shell.startup + L"\\roundtrip.lnk"));
  EXPECT_TRUE(FileExists(shell.programs + L"\\" + kGroup + L"\\roundtrip.lnk"));
  EXPECT_TRUE(FileExists(shell.programs + L"\\" + kGroup + L"\\uninstall.lnk"));
  RegistryString command =
      ReadRegistryString(HKEY_LOCAL_MACHINE, kUninstallKey, L"UninstallString");
  ASSERT_TRUE(command.found);
  EXPECT_EQ(lstrcmpiW(command.value.c_str(), Quoted(dir + L"\\uninstall.exe").c_str()), 0)
      << Utf8(command.value);

  // Windows' list of installed programs runs the registered value as a command line, as
  // it stands (CreateProcessW with no application name). The folder has a space: unquoted,
  // the line would first name "...\Apps\RoundTrip", and a program of that name would run.
  Child first = StartChild(command.value, scratch.path().c_str());
  EXPECT_EQ(ConfirmUninstallToTheEnd(first, kProduct, L"1.0", L"Done", kUninstallDoneText), 0u);

  // The program cleaned up after itself first ...
  EXPECT_TRUE(HasStart(record.Now(), dir + L"\\roundtrip.exe", L"/uninstall"));
  // ... and everything the installation made is gone, nothing else.
  EXPECT_FALSE(FolderExists(scratch / L"Apps")) << "every emptied folder is removed";
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_EQ(shell.Contents(), shell_before) << "shortcuts and group removed, nothing else";
  EXPECT_TRUE(FileExists(scratch / L"marker.txt"));
  EXPECT_TRUE(FileExists(scratch / L"setup.exe"));
  EXPECT_EQ(Sorted(FolderContents(scratch.path())),
            (std::vector<std::wstring>{L"marker.txt", L"record.txt", L"setup.exe"}));
}

// Whether this test program, and so the setup it packs, runs as a 32-bit program on a
// 64-bit Windows.
bool RunsUnderWow64() {
  BOOL wow64 = FALSE;
  return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

// Windows' own program, `name`, of the system's width: a 32-bit program reaches the 64-bit
// system folder through "Sysnative", System32 being its own 32-bit one.
std::wstring NativeSystemProgram(const wchar_t* name) {
  wchar_t windows[MAX_PATH];
  GetWindowsDirectoryW(windows, MAX_PATH);
  return std::wstring(windows) + (RunsUnderWow64() ? L"\\Sysnative\\" : L"\\System32\\") + name;
}

// The sample product through its dialog with the folder it proposes, on the Windows this
// test runs on: a 32-bit setup on a 64-bit Windows proposes "Program Files (x86)" and
// registers in the registry's 32-bit view, a 64-bit setup the 64-bit ones. Wine's own
// list of installed programs, its 64-bit uninstaller, which reads both views, shows the
// product and removes it through the registered uninstaller.
TEST(UninstallerRoundTrip, PackedSampleGoesWhereWindowsPutsItsKindAndWinesListRemovesIt) {
  ScratchFolder scratch;
  SecondPhaseCleanup cleanup;
  ShellFolders shell;
  Leftovers leftovers;
  leftovers.AddProduct(L"Alpha", L"1.0", L"alpha.lnk");
  leftovers.RemoveNow();
  std::vector<std::vector<std::wstring>> shell_before = shell.Contents();
  std::wstring setup_exe = scratch / L"alpha-setup.exe";
  ASSERT_TRUE(PackSampleProduct(setup_exe));

  const REGSAM own_view = sizeof(void*) == 8 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
  const REGSAM other_view = sizeof(void*) == 8 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
  RegistryString program_files =
      ReadRegistryString(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion",
                         RunsUnderWow64() ? L"ProgramFilesDir (x86)" : L"ProgramFilesDir",
                         KEY_WOW64_64KEY);
  ASSERT_TRUE(program_files.found);
  if (sizeof(void*) == 4) EXPECT_TRUE(RunsUnderWow64()) << "the tests run on a 64-bit Windows";
  const std::wstring dir = program_files.value + L"\\KOZ Soft\\Alpha 1.0";
  const std::wstring key = UninstallKey(L"Alpha", L"1.0");
  {
    SetupSession setup(setup_exe, L"Alpha 1.0 Installer");
    ASSERT_TRUE(setup.ok());
    EXPECT_EQ(lstrcmpiW(setup.Text(IDC_FOLDER_EDIT).c_str(), dir.c_str()), 0)
        << Utf8(setup.Text(IDC_FOLDER_EDIT));
    setup.Click(IDC_LAUNCH_AFTER_INSTALL);
    setup.AgreeAndInstall();
    EXPECT_EQ(setup.AnswerLastBox(kSuccessCaption, kSuccessText), 0u);
  }
  for (const wchar_t* file : {L"alpha.exe", L"license.htm", L"help\\Alpha Help.htm",
                              L"uninstall.exe", L"uninstall.dat"}) {
    EXPECT_TRUE(FileExists(dir + L"\\" + file)) << Utf8(file);
  }
  EXPECT_TRUE(FileExists(shell.desktop + L"\\alpha.lnk"));
  EXPECT_TRUE(ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"UninstallString", own_view).found);
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, key, other_view));

  std::wstring list = NativeSystemProgram(L"uninstaller.exe");
  std::wstring key_name = key.substr(key.rfind(L'\\') + 1);
  ConsoleRun listed = RunConsoleChild(Quoted(list) + L" --list", kRunTimeoutMs);
  EXPECT_NE(listed.out.find(Utf8(key_name) + "|||Alpha 1.0 (Remove / Re-install only)"),
            std::string::npos)
      << listed.out;
  Child remove = StartChild(Quoted(list) + L" --remove " + Quoted(key_name));
  AnswerMessageBox(0, L"Uninstaller", UninstallerWelcomeText(L"Alpha"), {IDYES, IDNO}, IDYES);
  Child second = WaitForSecondPhaseStart(kWindowTimeoutMs);
  ASSERT_NE(second.process, nullptr);
  AnswerMessageBox(second.pid, L"Done", kUninstallDoneText, {IDOK}, IDOK);
  EXPECT_EQ(FinishChild(second, kRunTimeoutMs), 0u);
  FinishChild(remove, kRunTimeoutMs);

  EXPECT_FALSE(FolderExists(dir));
  EXPECT_FALSE(FolderExists(program_files.value + L"\\KOZ Soft"));
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, key, own_view));
  EXPECT_EQ(shell.Contents(), shell_before);
}

// The sample product as `make demo` ships it, packed by pack.exe from bin/sample: its
// dialog follows the manifest, and a Run Once, undone by the real uninstaller, leaves the
// user's temporary folder as it was and what the product saved beside itself in place.
TEST(UninstallerRoundTrip, PackedSampleRunOnceLeavesTheTemporaryFolderAsItWas) {
  // Every process from here on, the setup, the program and both uninstaller phases, takes
  // this empty folder as its temporary folder.
  SetupScratch scratch;
  SecondPhaseCleanup cleanup;
  ShellFolders shell;
  std::vector<std::vector<std::wstring>> shell_before = shell.Contents();
  std::wstring setup_exe = scratch / L"alpha-setup.exe";
  ASSERT_TRUE(PackSampleProduct(setup_exe));
  std::wstring dir;

  {
    SetupSession setup(setup_exe, L"Alpha 1.0 Installer");
    ASSERT_TRUE(setup.ok());
    EXPECT_EQ(setup.Text(IDC_WELCOME_TEXT),
              L"Welcome at the Alpha setup wizard. This program will guide you through the "
              L"setup process.");
    EXPECT_TRUE(setup.Shown(IDC_MODE_RUN_ONCE));
    EXPECT_TRUE(setup.Checked(IDC_DESKTOP_SHORTCUT));
    EXPECT_FALSE(setup.Checked(IDC_STARTUP_SHORTCUT));
    EXPECT_TRUE(setup.Checked(IDC_PROGRAMS_SHORTCUT));
    EXPECT_TRUE(setup.Checked(IDC_LAUNCH_AFTER_INSTALL));
    setup.Click(IDC_MODE_RUN_ONCE);
    setup.AgreeAndInstall();

    // The program runs from the temporary installation until the user closes it.
    HWND window = WaitForWindow(0, L"AlphaWnd", L"Alpha", kWindowTimeoutMs);
    ASSERT_NE(window, nullptr);
    // "KOZ_Soft_Alpha" in the run's own private folder below the system's temporary
    // folder (setup runs elevated; the uninstaller's copy goes there too).
    std::vector<std::wstring> made = RunOnceFoldersOf(L"Alpha");
    EXPECT_TRUE(PrivateFoldersIn(scratch.temp).empty());
    if (made.size() != 1) PostMessageW(window, WM_CLOSE, 0, 0);
    ASSERT_EQ(made.size(), 1u);
    dir = made[0] + L"\\KOZ_Soft_Alpha";
    for (const wchar_t* file : {L"alpha.exe", L"license.htm", L"help\\Alpha Help.htm",
                                L"uninstall.exe", L"uninstall.dat"}) {
      EXPECT_TRUE(FileExists(dir + L"\\" + file)) << Utf8(file);
    }
    // Files the product leaves beside itself, which no log names.
    WriteText(dir + L"\\settings.ini", "left by the product");
    ASSERT_TRUE(CreateDirectoryW((dir + L"\\cache").c_str(), NULL));
    WriteText(dir + L"\\cache\\page.tmp", "left by the product");
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(setup.WaitForExit(), 0u);
  }
  // The real uninstaller takes over with "/AUTO": Alpha's own clean-up, then the copy in
  // its private folder removes the installation.
  Child second = WaitForSecondPhaseStart(kWindowTimeoutMs);
  ASSERT_NE(second.process, nullptr) << "the uninstaller did not hand over";
  EXPECT_EQ(FinishChild(second, kRunTimeoutMs), 0u) << "silent: no box to answer";

  std::vector<ProgramStart> starts = scratch.starts.Wait(2);
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_TRUE(starts[0].CommandEndsWith(dir + L"\\alpha.exe\" /RUNONCE"))
      << Utf8(starts[0].command);
  EXPECT_TRUE(starts[1].CommandEndsWith(dir + L"\\alpha.exe\" /uninstall"))
      << Utf8(starts[1].command);
  // What the log names is gone; what the product left beside itself stays where it was,
  // with the folders that hold it: no tree is removed with everything in it.
  for (const wchar_t* file : {L"alpha.exe", L"license.htm", L"help\\Alpha Help.htm",
                              L"uninstall.exe", L"uninstall.dat"}) {
    EXPECT_FALSE(FileExists(dir + L"\\" + file)) << Utf8(file);
  }
  EXPECT_FALSE(FolderExists(dir + L"\\help"));
  EXPECT_EQ(FileText(dir + L"\\settings.ini"), "left by the product");
  EXPECT_EQ(FileText(dir + L"\\cache\\page.tmp"), "left by the product");
  EXPECT_EQ(Sorted(FolderContents(dir)), (std::vector<std::wstring>{L"cache", L"settings.ini"}));
  // The newest private folder holds the running copy of the uninstaller, to be deleted at
  // the next restart, in the system's temporary folder where no user can rename it
  // meanwhile; the temporary folder itself stays as it was.
  std::vector<std::wstring> private_folders = SecondPhaseFolders();
  ASSERT_EQ(private_folders.size(), 1u);
  EXPECT_EQ(FolderContents(private_folders.back()),
            (std::vector<std::wstring>{L"koz_uninstaller.exe"}));
  EXPECT_EQ(RunOnceFoldersOf(L"Alpha").size(), 1u) << "kept with what the product left";
  for (const std::wstring& folder : RunOnceFoldersOf(L"Alpha")) RemoveTree(folder);
  EXPECT_TRUE(FolderExists(scratch.temp));
  EXPECT_TRUE(FolderContents(scratch.temp).empty());
  EXPECT_FALSE(PendingDeletionsOfSecondPhaseCopy().empty());
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey(L"Alpha", L"1.0")));
  EXPECT_EQ(shell.Contents(), shell_before);
}

}  // namespace
