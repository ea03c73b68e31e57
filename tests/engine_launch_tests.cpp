// The launch step after the install run, and Run Once: which programs start, with which
// argument and folder, the wait for the Run Once program and the hand-over to the
// uninstaller. The sample program alpha.exe stands in for every started program: it records
// each start (ALPHA_RECORD) and keeps a window of class AlphaWnd open until closed.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <sstream>

#include "engine_support.h"
#include "harness/package_builder.h"
#include "harness/process.h"
#include "harness/scratch.h"

namespace {

std::string ProgramBytes(const wchar_t* program) {
  std::vector<unsigned char> bytes = ReadBytes(BinDir() + program);
  return std::string(bytes.begin(), bytes.end());
}

// Points alpha.exe's start records at a file for the life of the object.
class StartRecord {
 public:
  explicit StartRecord(const std::wstring& path) : path_(path) {
    SetEnvironmentVariableW(L"ALPHA_RECORD", path.c_str());
  }
  ~StartRecord() { SetEnvironmentVariableW(L"ALPHA_RECORD", NULL); }
  // Each start: the command line and the working folder.
  std::vector<std::pair<std::wstring, std::wstring>> Starts() const {
    std::vector<std::pair<std::wstring, std::wstring>> starts;
    std::vector<unsigned char> bytes = ReadBytes(path_);
    std::istringstream lines(std::string(bytes.begin(), bytes.end()));
    std::string line;
    while (std::getline(lines, line)) {
      size_t tab = line.find('\t');
      starts.push_back({Wide(line.substr(0, tab)),
                        tab == std::string::npos ? L"" : Wide(line.substr(tab + 1))});
    }
    return starts;
  }

 private:
  std::wstring path_;
};

// Waits for an AlphaWnd window, closes it and waits until its process has ended.
bool CloseAlphaWindow() {
  HWND window = WaitForWindow(0, L"AlphaWnd", NULL, 20000);
  if (window == NULL) return false;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  PostMessageW(window, WM_CLOSE, 0, 0);
  bool ended = WaitForWindowGone(window, 10000);
  if (process != NULL) {
    ended = WaitForSingleObject(process, 10000) == WAIT_OBJECT_0 && ended;
    CloseHandle(process);
  }
  return ended;
}

// The folder as GetCurrentDirectoryW reports it: no trailing backslash below a root.
std::wstring WithoutBackslash(std::wstring folder) {
  if (folder.size() > 3 && folder.back() == L'\\') folder.pop_back();
  return folder;
}

PackageContents LaunchPackage(const char* name) {
  PackageContents contents = TestPackage();
  contents.product_name = U16(Wide(name));
  contents.folders = {"bin"};
  AddEntry(contents, 0x0017, "first.exe", ProgramBytes(L"alpha.exe"));
  AddEntry(contents, 0, "notes.txt", "notes");
  AddEntry(contents, 0x0010, "bin\\second.exe", ProgramBytes(L"alpha.exe"));
  AddUninstallerEntry(contents, L"alpha.exe");
  return contents;
}

TEST(Launch, NormalInstallStartsEveryLaunchableFileWithFirstRun) {
  ScratchFolder scratch;
  const std::wstring dir = scratch / L"Launched";
  Leftovers leftovers;
  leftovers.AddKey(UninstallKey(L"Launch Test", L"1.0"));
  StartRecord record(scratch / L"starts.txt");
  AnsweredRun run = RunInstall(scratch.path(), LaunchPackage("Launch Test"), dir, L"/launch");
  EXPECT_EQ(run.exit_code, 0u);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].caption, L"Setup complete");
  EXPECT_TRUE(CloseAlphaWindow());
  EXPECT_TRUE(CloseAlphaWindow());

  // Both started without being waited for, so either may have recorded first.
  auto starts = record.Starts();
  ASSERT_EQ(starts.size(), 2u);
  if (starts[0].first.find(L"second.exe") != std::wstring::npos) std::swap(starts[0], starts[1]);
  EXPECT_NE(starts[0].first.find(dir + L"\\first.exe"), std::wstring::npos);
  EXPECT_NE(starts[0].first.find(L" /FIRSTRUN"), std::wstring::npos) << Narrow(starts[0].first);
  EXPECT_EQ(starts[0].second, dir);
  EXPECT_NE(starts[1].first.find(dir + L"\\bin\\second.exe"), std::wstring::npos);
  EXPECT_NE(starts[1].first.find(L" /FIRSTRUN"), std::wstring::npos) << Narrow(starts[1].first);
  EXPECT_EQ(starts[1].second, dir + L"\\bin");
}

TEST(Launch, NormalInstallWithoutTheTickStartsNothing) {
  ScratchFolder scratch;
  const std::wstring dir = scratch / L"NotLaunched";
  Leftovers leftovers;
  leftovers.AddKey(UninstallKey(L"Quiet Test", L"1.0"));
  StartRecord record(scratch / L"starts.txt");
  AnsweredRun run = RunInstall(scratch.path(), LaunchPackage("Quiet Test"), dir);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_EQ(run.boxes.size(), 1u);
  EXPECT_TRUE(FileExists(dir + L"\\first.exe"));
  EXPECT_TRUE(record.Starts().empty());
  EXPECT_EQ(WaitForWindow(0, L"AlphaWnd", NULL, 0), (HWND)NULL);
}

TEST(Launch, RunOnceWaitsForTheFirstProgramThenStartsTheUninstaller) {
  ScratchFolder scratch;
  const std::wstring dir = scratch / L"KOZ_Soft_RunOnce";
  const std::wstring desktop = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
  Leftovers leftovers;
  leftovers.AddKey(UninstallKey(L"Run Once Test", L"1.0"));
  leftovers.AddPath(desktop + L"\\first.lnk");
  leftovers.AddPath(SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Run Once Test 1.0");
  StartRecord record(scratch / L"starts.txt");
  PackageContents contents = LaunchPackage("Run Once Test");
  contents.log_executables = 1;
  std::wstring installer = BuildProbeInstaller(scratch.path(), PackageBytes(contents));
  ASSERT_FALSE(installer.empty());
  Child child = StartChild(ProbeCommand(installer, dir, L"/runonce /desktop /programs /launch"));

  // The first launchable program runs and the install run waits for it.
  HWND window = WaitForWindow(0, L"AlphaWnd", NULL, 20000);
  ASSERT_NE(window, (HWND)NULL);
  EXPECT_EQ(WaitForSingleObject(child.process, 0), (DWORD)WAIT_TIMEOUT);
  auto starts = record.Starts();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_NE(starts[0].first.find(dir + L"\\first.exe"), std::wstring::npos);
  EXPECT_NE(starts[0].first.find(L" /RUNONCE"), std::wstring::npos) << Narrow(starts[0].first);
  EXPECT_EQ(starts[0].second, dir);
  EXPECT_TRUE(CloseAlphaWindow());

  // Then the uninstaller is started with "/AUTO" in the installation folder.
  AnsweredRun run = FinishAnsweringMessageBoxes(child, 30000);
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_TRUE(run.boxes.empty()) << "Run Once shows no success message";
  EXPECT_TRUE(CloseAlphaWindow());
  starts = record.Starts();
  ASSERT_EQ(starts.size(), 2u);
  EXPECT_NE(starts[1].first.find(dir + L"\\uninstall.exe"), std::wstring::npos);
  EXPECT_NE(starts[1].first.find(L" /AUTO"), std::wstring::npos) << Narrow(starts[1].first);
  EXPECT_EQ(WithoutBackslash(starts[1].second), dir);

  // The log still lists everything, with executables, but nothing outside the folders.
  std::vector<LogRecordText> records = {{L'E', dir + L"\\first.exe"},
                                        {L'E', dir + L"\\bin\\second.exe"},
                                        {L'F', dir + L"\\first.exe"},
                                        {L'F', dir + L"\\notes.txt"},
                                        {L'F', dir + L"\\bin\\second.exe"},
                                        {L'F', dir + L"\\uninstall.exe"},
                                        {L'F', dir + L"\\uninstall.dat"}};
  std::vector<std::wstring> folders = FolderChain(dir);
  folders.push_back(dir + L"\\bin");
  for (const LogRecordText& folder : FolderRecords(folders)) records.push_back(folder);
  EXPECT_EQ(ReadLog(dir + L"\\uninstall.dat"),
            LogText(L"Run Once Test#1.0#TestProductWindow#DO NOT REMOVE/EDIT THIS FILE",
                    records));
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey(L"Run Once Test", L"1.0")));
  EXPECT_FALSE(FileExists(desktop + L"\\first.lnk"));
  EXPECT_FALSE(FolderExists(SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Run Once Test 1.0"));
}

TEST(Launch, RunOnceWithoutLaunchableFileStartsTheUninstallerAtOnce) {
  ScratchFolder scratch;
  const std::wstring dir = scratch / L"KOZ_Soft_Plain";
  Leftovers leftovers;
  leftovers.AddKey(UninstallKey(L"Plain Test", L"1.0"));
  StartRecord record(scratch / L"starts.txt");
  PackageContents contents = TestPackage();
  contents.product_name = u"Plain Test";
  AddEntry(contents, 0x0007, "plain.txt", "plain");
  AddUninstallerEntry(contents, L"alpha.exe");
  AnsweredRun run = RunInstall(scratch.path(), contents, dir, L"/runonce /desktop /startup /programs");
  EXPECT_EQ(run.exit_code, 0u);
  EXPECT_TRUE(run.boxes.empty());
  EXPECT_TRUE(CloseAlphaWindow());
  auto starts = record.Starts();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_NE(starts[0].first.find(dir + L"\\uninstall.exe"), std::wstring::npos);
  EXPECT_NE(starts[0].first.find(L" /AUTO"), std::wstring::npos);

  std::wstring log = ReadLog(dir + L"\\uninstall.dat");
  std::vector<LogRecordText> records = {{L'F', dir + L"\\plain.txt"},
                                        {L'F', dir + L"\\uninstall.exe"},
                                        {L'F', dir + L"\\uninstall.dat"}};
  for (const LogRecordText& folder : FolderRecords(FolderChain(dir))) records.push_back(folder);
  EXPECT_EQ(log, LogText(L"Plain Test#1.0#TestProductWindow#DO NOT REMOVE/EDIT THIS FILE",
                         records));
  EXPECT_EQ(log.find(L"|R|"), std::wstring::npos);
  EXPECT_EQ(log.find(L'<'), std::wstring::npos);
}

}  // namespace
