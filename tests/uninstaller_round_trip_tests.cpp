// Whole installations undone: a setup executable built from setup-stub.exe with the real
// uninstall.exe as its 0xFFFE entry, driven through its dialog, then the uninstaller
// started the way Windows' list of installed programs and Run Once start it.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/resource.h"
#include "dialog_session.h"
#include "harness/package_builder.h"
#include "harness/process.h"
#include "harness/scratch.h"
#include "harness/second_phase.h"
#include "harness/windows.h"
#include "uninstaller_test_support.h"

namespace {

const wchar_t kProduct[] = L"RoundTrip";
const wchar_t kUninstallKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KOZ Soft RoundTrip 1.0";
const wchar_t kGroup[] = L"RoundTrip 1.0";
constexpr DWORD kRunTimeout = 30000;

// The sample product: roundtrip.exe (alpha.exe's bytes, window class AlphaWnd) with every
// shortcut and the launch flag, a help page in a folder, and the uninstaller first.
PackageContents RoundTripPackage() {
  PackageContents contents = TestPackage();
  contents.product_name = U16(kProduct);
  contents.product_version = u"1.0";
  contents.window_class = u"AlphaWnd";
  contents.allow_run_once = 1;
  contents.log_executables = 1;
  AddUninstallerEntry(contents, L"uninstall.exe");
  std::vector<unsigned char> alpha = ReadBytes(AlphaExe());
  EXPECT_FALSE(alpha.empty());
  AddEntry(contents,
           ENTRY_DESKTOP_SHORTCUT | ENTRY_STARTUP_SHORTCUT | ENTRY_PROGRAMS_SHORTCUT | ENTRY_LAUNCH,
           "roundtrip.exe", std::string(alpha.begin(), alpha.end()));
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
  // Removes what a failed run may have left.
  void RemoveLeftovers() const {
    RemoveTree(desktop + L"\\roundtrip.lnk");
    RemoveTree(startup + L"\\roundtrip.lnk");
    RemoveTree(programs + L"\\" + kGroup);
  }
};

bool HasLineWith(const std::vector<std::vector<std::wstring>>& lines, const std::wstring& program,
                 const std::wstring& argument) {
  for (const auto& line : lines) {
    if (line.empty()) continue;
    std::vector<std::wstring> arguments = SplitCommandLine(line[0]);
    if (arguments.size() == 2 && lstrcmpiW(arguments[0].c_str(), program.c_str()) == 0 &&
        arguments[1] == argument) {
      return true;
    }
  }
  return false;
}

TEST(UninstallerRoundTrip, NormalInstallIsRemovedCompletelyFromTheRegisteredCommand) {
  ScratchFolder scratch;
  SecondPhaseCleanup cleanup;
  ShellFolders shell;
  ASSERT_FALSE(shell.desktop.empty());
  shell.RemoveLeftovers();
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKey);
  std::vector<std::vector<std::wstring>> shell_before = shell.Contents();
  WriteText(scratch / L"marker.txt", "not part of the installation");
  std::wstring dir = scratch / L"Apps\\RoundTrip 1.0";
  std::wstring record = scratch / L"record.txt";
  ScopedVariable variable(L"ALPHA_RECORD", record);

  {
    SetupSession setup(scratch / L"setup.exe", RoundTripPackage());
    ASSERT_TRUE(setup.ok());
    setup.SetFolder(dir);
    for (int box : {IDC_DESKTOP_SHORTCUT, IDC_STARTUP_SHORTCUT, IDC_PROGRAMS_SHORTCUT}) {
      if (!setup.Checked(box)) setup.Click(box);
      EXPECT_TRUE(setup.Checked(box));
    }
    if (setup.Checked(IDC_LAUNCH_AFTER_INSTALL)) setup.Click(IDC_LAUNCH_AFTER_INSTALL);
    setup.Click(IDC_LICENSE_AGREE);
    setup.Press(IDOK);
    AnswerMessageBox(setup.pid(), L"Setup complete",
                     L"The application has been installed successfully.", {IDOK}, IDOK);
    EXPECT_EQ(setup.WaitForExit(), 0u);
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
      << Narrow(command.value);

  // Windows' list of installed programs runs the registered value as a command line, as
  // it stands (CreateProcessW with no application name). The folder has a space: unquoted,
  // the line would first name "...\Apps\RoundTrip", and a program of that name would run.
  Child first = StartChild(command.value, scratch.path().c_str());
  AnswerMessageBox(first.pid,
                   L"Uninstaller",
                   L"Welcome at the RoundTrip uninstaller. Make sure you have closed all running "
                   L"instances of the program to ensure a complete uninstall.\n\nAre you sure you "
                   L"want to uninstall RoundTrip 1.0?",
                   {IDYES, IDNO}, IDYES);
  EXPECT_EQ(FinishChild(first, kRunTimeout), 0u);
  Child second = WaitForSecondPhaseStart(10000);
  ASSERT_NE(second.process, nullptr);
  AnswerMessageBox(second.pid, L"Done",
                   L"Uninstall completed, thank you for using KOZ Soft products", {IDOK}, IDOK);
  EXPECT_EQ(FinishChild(second, kRunTimeout), 0u);

  // The program cleaned up after itself first ...
  EXPECT_TRUE(HasLineWith(RecordLines(record), dir + L"\\roundtrip.exe", L"/uninstall"));
  // ... and everything the installation made is gone, nothing else.
  EXPECT_FALSE(FolderExists(scratch / L"Apps")) << "every emptied folder is removed";
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_EQ(shell.Contents(), shell_before) << "shortcuts and group removed, nothing else";
  EXPECT_TRUE(FileExists(scratch / L"marker.txt"));
  EXPECT_TRUE(FileExists(scratch / L"setup.exe"));
  EXPECT_EQ(Sorted(FolderContents(scratch.path())),
            (std::vector<std::wstring>{L"marker.txt", L"record.txt", L"setup.exe"}));

  shell.RemoveLeftovers();
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, kUninstallKey);
}

TEST(UninstallerRoundTrip, RunOnceLeavesTheTemporaryFolderAsItWas) {
  ScratchFolder scratch;
  std::wstring temp = scratch / L"temp";
  ASSERT_TRUE(CreateDirectoryW(temp.c_str(), NULL));
  // Every process from here on, the setup, the program and both uninstaller phases, takes
  // this empty folder as its temporary folder.
  ScopedVariable tmp(L"TMP", temp);
  ScopedVariable temp_variable(L"TEMP", temp);
  SecondPhaseCleanup cleanup;
  ShellFolders shell;
  std::vector<std::vector<std::wstring>> shell_before = shell.Contents();
  std::wstring record = scratch / L"record.txt";
  ScopedVariable variable(L"ALPHA_RECORD", record);
  std::wstring dir;

  {
    SetupSession setup(scratch / L"setup.exe", RoundTripPackage());
    ASSERT_TRUE(setup.ok());
    setup.Click(IDC_MODE_RUN_ONCE);
    setup.Click(IDC_LICENSE_AGREE);
    setup.Press(IDOK);

    // The program runs from the temporary installation until the user closes it.
    HWND window = WaitForWindow(0, L"AlphaWnd", L"Alpha", kWindowTimeoutMs);
    ASSERT_NE(window, nullptr);
    // "KOZ_Soft_RoundTrip" in the run's own private folder below the temporary folder.
    std::vector<std::wstring> made = SecondPhaseFolders();
    ASSERT_EQ(made.size(), 1u);
    dir = made[0] + L"\\KOZ_Soft_RoundTrip";
    EXPECT_TRUE(FileExists(dir + L"\\roundtrip.exe"));
    EXPECT_TRUE(FileExists(dir + L"\\uninstall.dat"));
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(setup.WaitForExit(), 0u);
  }
  Child second = WaitForSecondPhaseStart(20000);
  ASSERT_NE(second.process, nullptr) << "the uninstaller did not hand over";
  EXPECT_EQ(FinishChild(second, kRunTimeout), 0u) << "silent: no box to answer";

  std::vector<std::vector<std::wstring>> lines = RecordLines(record);
  EXPECT_TRUE(HasLineWith(lines, dir + L"\\roundtrip.exe", L"/RUNONCE"));
  EXPECT_TRUE(HasLineWith(lines, dir + L"\\roundtrip.exe", L"/uninstall"));
  EXPECT_FALSE(FolderExists(dir));
  // Only the private folder with the running copy of the uninstaller is left, both to be
  // deleted at the next restart; the Run Once folder's own private folder went with it,
  // and the temporary folder itself stays.
  std::vector<std::wstring> private_folders = SecondPhaseFolders();
  ASSERT_EQ(private_folders.size(), 1u);
  std::wstring private_name = private_folders[0].substr(temp.size() + 1);
  EXPECT_EQ(FolderContents(temp), (std::vector<std::wstring>{private_name}));
  EXPECT_EQ(FolderContents(private_folders[0]),
            (std::vector<std::wstring>{L"koz_uninstaller.exe"}));
  EXPECT_FALSE(PendingDeletionsOfSecondPhaseCopy().empty());
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_EQ(shell.Contents(), shell_before);
}

}  // namespace
