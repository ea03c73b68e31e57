// DLLs planted beside the programs: the setup executable in a download folder, the
// uninstaller in its installation folder and its copy below the temporary folder. The
// planted DLL (planted_dll.cpp) records every process that maps it. It is planted
// as "uxtheme.dll", which user32 loads on demand when a program's first window appears,
// long after the program's entry point has run.
//
// Wine prefers its own builtin DLLs to native ones of the same name wherever they lie, so
// on Wine alone a planted system DLL would never be loaded and these tests would prove
// nothing. They tell Wine, through its per-program settings, to prefer a native uxtheme.dll
// for the programs they start, as Windows does: a program without the restriction then
// maps the planted one (the first test shows it with alpha.exe), a program with it finds
// only the system folder's.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "setup/resource.h"
#include "harness/environment.h"
#include "harness/installation.h"
#include "harness/leftovers.h"
#include "harness/message_boxes.h"
#include "harness/process.h"
#include "harness/registry.h"
#include "harness/scratch.h"
#include "harness/second_phase.h"
#include "harness/setup_session.h"
#include "harness/start_records.h"

namespace {

// Records loads of the planted DLL into a file of the test's scratch folder, and makes Wine
// prefer a native uxtheme.dll for the programs named `programs` (file names) while it
// lives (HKCU\Software\Wine\AppDefaults\<program>\DllOverrides, which Wine reads when a
// program starts; the setting in the environment is not passed on to programs started
// from a Windows program).
class PlantedDll {
 public:
  PlantedDll(const ScratchFolder& scratch, std::vector<std::wstring> programs)
      : record_(scratch / L"planted-loads.txt"),
        record_variable_(L"PLANTED_DLL_RECORD", record_),
        programs_(std::move(programs)) {
    for (const std::wstring& program : programs_) {
      std::wstring key = kAppDefaults + program;
      existed_.push_back(RegistryKeyExists(HKEY_CURRENT_USER, key));
      HKEY overrides;
      EXPECT_EQ(RegCreateKeyW(HKEY_CURRENT_USER, (key + L"\\DllOverrides").c_str(), &overrides),
                ERROR_SUCCESS);
      const wchar_t order[] = L"native,builtin";
      RegSetValueExW(overrides, L"uxtheme", 0, REG_SZ, (const BYTE*)order, sizeof(order));
      RegCloseKey(overrides);
    }
  }
  ~PlantedDll() {
    for (size_t i = 0; i < programs_.size(); ++i) {
      std::wstring key = kAppDefaults + programs_[i];
      if (existed_[i]) {
        RegDeleteKeyValueW(HKEY_CURRENT_USER, (key + L"\\DllOverrides").c_str(), L"uxtheme");
      } else {
        RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
      }
    }
  }
  PlantedDll(const PlantedDll&) = delete;
  PlantedDll& operator=(const PlantedDll&) = delete;

  // Puts the planted DLL into `folder` as uxtheme.dll.
  void PlantIn(const std::wstring& folder) const {
    CopyForTest(BinDir() + L"planted_dll.dll", folder + L"\\uxtheme.dll");
  }

  // One entry per time a process mapped the planted DLL: "<dll path>\t<program path>".
  std::vector<std::wstring> Loads() const {
    std::vector<std::wstring> loads;
    for (const RecordLine& fields : RecordLines(record_)) {
      if (fields.size() == 2) loads.push_back(fields[0] + L"\t" + fields[1]);
    }
    return loads;
  }

 private:
  static constexpr const wchar_t* kAppDefaults = L"Software\\Wine\\AppDefaults\\";
  std::wstring record_;
  ScopedVariable record_variable_;
  std::vector<std::wstring> programs_;
  std::vector<bool> existed_;
};

// An installation folder with uninstall.exe, a program and its log, which also names the
// DLL planted beside them.
struct PlantedInstallation : Installation {
  PlantedInstallation() : Installation(L"Planted", {L"planted.exe"}) {
    WriteLog(Records({{L'F', *this / L"uxtheme.dll"}}));
  }
};

const std::wstring kWelcomeText = UninstallerWelcomeText(L"Planted");

TEST(DllSearch, AProgramWithoutTheRestrictionMapsThePlantedDll) {
  ScratchFolder scratch;
  PlantedDll planted(scratch, {L"alpha.exe"});
  CopyForTest(AlphaExe(), scratch / L"alpha.exe");
  planted.PlantIn(scratch.path());

  Child alpha = StartChild(Quoted(scratch / L"alpha.exe"), scratch.path().c_str());
  HWND window = WaitForWindow(alpha.pid, L"AlphaWnd", L"Alpha", kWindowTimeoutMs);
  ASSERT_NE(window, (HWND)NULL);
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(FinishChild(alpha, kRunTimeoutMs), 0u);
  // Without this the other tests would pass for the wrong reason.
  std::vector<std::wstring> loads = planted.Loads();
  ASSERT_EQ(loads.size(), 1u) << Utf8Lines(loads);
  EXPECT_NE(loads[0].find(scratch / L"uxtheme.dll"), std::wstring::npos) << Utf8Lines(loads);
}

TEST(DllSearch, SetupExecutableNeverMapsADllBesideIt) {
  ScratchFolder scratch;
  PlantedDll planted(scratch, {L"setup.exe"});
  TestPackageContents contents = DialogTestPackage(L"Dll Planted");
  std::wstring setup_exe = scratch / L"setup.exe";
  ASSERT_TRUE(BuildSetup(setup_exe, contents));
  planted.PlantIn(scratch.path());
  {
    SetupSession setup(setup_exe, SetupCaption(contents));
    ASSERT_TRUE(setup.ok());
    // The folder browser brings in the shell's namespace and COM objects.
    setup.Press(IDC_BROWSE);
    HWND browser = setup.WaitForOtherDialog(kWindowTimeoutMs);
    ASSERT_NE(browser, (HWND)NULL);
    PressButton(browser, IDCANCEL);
    ASSERT_TRUE(WaitForWindowGone(browser, kWindowTimeoutMs));
    EXPECT_EQ(setup.PressExit(), 0u);
  }
  EXPECT_TRUE(planted.Loads().empty()) << Utf8Lines(planted.Loads());
}

TEST(DllSearch, UninstallerNeverMapsADllBesideIt) {
  PlantedInstallation inst;
  SecondPhaseCleanup cleanup;
  PlantedDll planted(inst.scratch, {L"uninstall.exe"});
  planted.PlantIn(inst.dir);

  Child child = inst.Start(L"");
  AnswerMessageBox(child.pid, L"Uninstaller", kWelcomeText, {IDYES, IDNO}, IDNO);
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 0u);
  EXPECT_TRUE(planted.Loads().empty()) << Utf8Lines(planted.Loads());
}

// The copy's private folder is closed to unelevated processes on Windows; Wine keeps no
// access lists on files, so here the test can play an intruder who got in anyway and plant
// the DLL as soon as the second phase runs, long before its first window (it waits for the
// first phase to end, then removes the installation).
TEST(DllSearch, SecondPhaseNeverMapsADllBesideItsCopy) {
  PlantedInstallation inst;
  SecondPhaseCleanup cleanup;
  PlantedDll planted(inst.scratch, {L"uninstall.exe", L"koz_uninstaller.exe"});
  planted.PlantIn(inst.dir);
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring old_place = std::wstring(temp) + L"uxtheme.dll";
  ASSERT_FALSE(FileExists(old_place));
  Leftovers leftovers;
  leftovers.AddPath(old_place);
  planted.PlantIn(std::wstring(temp, lstrlenW(temp) - 1));

  Child child = inst.Start(L"");
  AnswerMessageBox(child.pid, L"Uninstaller", kWelcomeText, {IDYES, IDNO}, IDYES);
  Child second = WaitForSecondPhaseStart(kWindowTimeoutMs);
  ASSERT_NE(second.process, (HANDLE)NULL);
  std::wstring copy = SecondPhaseCopyPath();
  ASSERT_FALSE(copy.empty());
  planted.PlantIn(copy.substr(0, copy.rfind(L'\\')));
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 0u);

  AnsweredRun run = FinishAnsweringMessageBoxes(second, kRunTimeoutMs);
  EXPECT_EQ(run.exit_code, 0u);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].caption, L"Done");
  EXPECT_TRUE(planted.Loads().empty()) << Utf8Lines(planted.Loads());
  EXPECT_FALSE(FolderExists(inst.dir)) << "the uninstall itself went through";
}

// In the running process: after RestrictDllSearch a DLL named without a path is looked for
// in the system folder only, so one beside the program is not found while the system's
// own still loads.
TEST(DllSearch, RestrictionLeavesOnlyTheSystemFolder) {
  ScratchFolder scratch;
  PlantedDll planted(scratch, {});
  CopyForTest(BinDir() + L"dll_planting_probe.exe", scratch / L"probe.exe");
  CopyForTest(BinDir() + L"planted_dll.dll", scratch / L"planted_dll.dll");

  EXPECT_EQ(RunChild(Quoted(scratch / L"probe.exe"), kRunTimeoutMs, scratch.path().c_str()), 0u);
  ASSERT_EQ(planted.Loads().size(), 1u) << "without the restriction the probe finds it";

  EXPECT_EQ(RunChild(Quoted(scratch / L"probe.exe") + L" /restrict", kRunTimeoutMs,
                     scratch.path().c_str()),
            0u)
      << "version.dll must still load from the system folder";
  EXPECT_EQ(planted.Loads().size(), 1u) << Utf8Lines(planted.Loads());
}

}  // namespace
