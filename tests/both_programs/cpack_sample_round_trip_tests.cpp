// The setup that CPack builds with pack from samples/cmake (cpack_sample_fixture.sh makes it
// as `make cpack-sample` does), installed through its dialog and removed by the registered
// uninstaller: what the CPack variables asked for is there, and everything goes again.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "setup/resource.h"
#include "harness/environment.h"
#include "harness/install_run.h"
#include "harness/installation.h"
#include "harness/leftovers.h"
#include "harness/message_boxes.h"
#include "harness/registry.h"
#include "harness/scratch.h"
#include "harness/second_phase.h"
#include "harness/setup_session.h"
#include "harness/shell.h"

namespace {

std::vector<std::wstring> Sorted(std::vector<std::wstring> names) {
  std::sort(names.begin(), names.end());
  return names;
}

// Everything in the shell folders that shortcuts go to, to compare before and after.
std::vector<std::vector<std::wstring>> ShellFolderContents() {
  std::vector<std::vector<std::wstring>> contents;
  for (int folder : {CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_COMMON_STARTUP, CSIDL_COMMON_PROGRAMS}) {
    contents.push_back(Sorted(FolderContents(SpecialFolder(folder))));
  }
  return contents;
}

TEST(CpackSampleRoundTrip, InstallsWhatCPackAskedForAndTheUninstallerRemovesIt) {
  const std::wstring setup_exe = EnvironmentValue(L"CPACK_SAMPLE_SETUP");
  if (setup_exe.empty()) GTEST_SKIP() << "run by cpack_sample_fixture.sh";
  ScratchFolder scratch;
  SecondPhaseCleanup cleanup;
  Leftovers leftovers;
  leftovers.AddProduct(L"Beta", L"2.0", L"beta.lnk");
  leftovers.RemoveNow();
  std::vector<std::vector<std::wstring>> shell_before = ShellFolderContents();
  // The uninstaller removes every folder on the way that it leaves empty: this file keeps
  // the scratch folder, and the temporary folder it lies in, where they are.
  WriteText(scratch / L"marker.txt", "not part of the installation");
  const std::wstring dir = scratch / L"Apps\\Beta 2.0";
  const std::wstring key = UninstallKey(L"Beta", L"2.0");

  {
    SetupSession setup(setup_exe, L"Beta 2.0 Installer");
    ASSERT_TRUE(setup.ok());
    // CPACK_PACKAGE_EXECUTABLES and CPACK_CREATE_DESKTOP_LINKS tick their boxes.
    EXPECT_TRUE(setup.Checked(IDC_PROGRAMS_SHORTCUT));
    EXPECT_TRUE(setup.Checked(IDC_DESKTOP_SHORTCUT));
    EXPECT_FALSE(setup.Checked(IDC_STARTUP_SHORTCUT));
    EXPECT_FALSE(setup.Shown(IDC_MODE_RUN_ONCE));
    setup.SetFolder(dir);
    setup.AgreeAndInstall();
    EXPECT_EQ(setup.AnswerLastBox(kSuccessCaption, kSuccessText), 0u);
  }

  // The staged tree, the licence page made of LICENSE.txt, the uninstaller and its log.
  for (const wchar_t* file : {L"bin\\beta.exe", L"README.txt", L"license.htm", L"uninstall.exe",
                              L"uninstall.dat"}) {
    EXPECT_TRUE(FileExists(dir + L"\\" + file)) << Utf8(file);
  }
  EXPECT_NE(FileText(dir + L"\\license.htm").find("&amp; the &lt;window&gt;"), std::string::npos);
  const std::wstring desktop = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
  const std::wstring programs = SpecialFolder(CSIDL_COMMON_PROGRAMS);
  EXPECT_TRUE(FileExists(desktop + L"\\beta.lnk"));
  EXPECT_TRUE(FileExists(programs + L"\\Beta 2.0\\beta.lnk"));
  RegistryString command = ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"UninstallString");
  ASSERT_TRUE(command.found);

  // Removed the way Windows' list of installed programs starts the uninstaller.
  Child first = StartChild(command.value, scratch.path().c_str());
  AnswerMessageBox(first.pid, L"Uninstaller", UninstallerWelcomeText(L"Beta", L"2.0"),
                   {IDYES, IDNO}, IDYES);
  EXPECT_EQ(FinishChild(first, kRunTimeoutMs), 0u);
  Child second = WaitForSecondPhaseStart(kWindowTimeoutMs);
  ASSERT_NE(second.process, nullptr);
  AnswerMessageBox(second.pid, L"Done", kUninstallDoneText, {IDOK}, IDOK);
  EXPECT_EQ(FinishChild(second, kRunTimeoutMs), 0u);

  EXPECT_FALSE(FolderExists(scratch / L"Apps")) << "every emptied folder is removed";
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, key));
  EXPECT_EQ(ShellFolderContents(), shell_before) << "shortcuts and group removed, nothing else";
  EXPECT_EQ(FolderContents(scratch.path()), std::vector<std::wstring>{L"marker.txt"});
}

}  // namespace
