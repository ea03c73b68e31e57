// The sample product Alpha as `make demo` ships it: packed by pack.exe from bin/sample into
// a setup program whose dialog follows the manifest, run once from the temporary folder and
// removed again by the real uninstaller.
#include <gtest/gtest.h>

#include "app/resource.h"
#include "dialog_session.h"
#include "harness/scratch.h"
#include "harness/second_phase.h"

namespace {

TEST(SampleProduct, PackedSetupFollowsTheManifestAndRunsOnceCleanly) {
  ScratchFolder scratch;
  std::wstring setup_exe = scratch / L"alpha-setup.exe";
  ASSERT_EQ(RunChild(Quoted(BinDir() + L"pack.exe") + L" " +
                         Quoted(BinDir() + L"sample\\alpha.ini") + L" -o " + Quoted(setup_exe),
                     kExitTimeoutMs),
            0u);

  std::wstring temp = scratch / L"temp";
  ASSERT_TRUE(CreateDirectoryW(temp.c_str(), NULL));
  ScopedEnvironment tmp(L"TMP", temp);
  ScopedEnvironment temp_variable(L"TEMP", temp);
  std::wstring records = scratch / L"records.txt";
  ScopedEnvironment record(L"ALPHA_RECORD", records);
  SecondPhaseCleanup cleanup;
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
    setup.Click(IDC_LICENSE_AGREE);
    setup.Press(IDOK);
    HWND window = WaitForWindow(0, L"AlphaWnd", L"Alpha", kWindowTimeoutMs);
    ASSERT_NE(window, (HWND)NULL);
    // "KOZ_Soft_Alpha" in the run's own private folder below the temporary folder.
    std::vector<std::wstring> made = SecondPhaseFolders();
    ASSERT_EQ(made.size(), 1u);
    dir = made[0] + L"\\KOZ_Soft_Alpha";
    EXPECT_TRUE(FileExists(dir + L"\\alpha.exe"));
    EXPECT_TRUE(FileExists(dir + L"\\license.htm"));
    EXPECT_TRUE(FileExists(dir + L"\\help\\Alpha Help.htm"));
    EXPECT_TRUE(FileExists(dir + L"\\uninstall.exe"));
    EXPECT_TRUE(FileExists(dir + L"\\uninstall.dat"));
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(setup.WaitForExit(), 0u);
  }

  // The real uninstaller takes over with "/AUTO": Alpha's own clean-up, then the copy in the
  // temporary folder removes the installation.
  Child second = WaitForSecondPhaseStart(kWindowTimeoutMs);
  ASSERT_NE(second.process, (HANDLE)NULL) << "the uninstaller did not hand over";
  EXPECT_EQ(FinishChild(second, kExitTimeoutMs), 0u);
  std::vector<std::wstring> lines = WaitForRecordLines(records, 2);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find(L"alpha.exe\" /RUNONCE\t"), std::wstring::npos) << Narrow(lines[0]);
  EXPECT_NE(lines[1].find(L"alpha.exe\" /uninstall\t"), std::wstring::npos) << Narrow(lines[1]);
  EXPECT_FALSE(FolderExists(dir));
  EXPECT_EQ(SecondPhaseFolders().size(), 1u) << "only the uninstaller's copy is left";
}

}  // namespace
