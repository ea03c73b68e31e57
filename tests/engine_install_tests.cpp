// The install run end to end: a package embedded into a copy of install_probe.exe is
// installed onto the Wine drive, and the log, the files, the shortcuts and the registry
// key are checked as the uninstaller and the user will meet them.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include "engine_support.h"
#include "harness/package_builder.h"
#include "harness/process.h"
#include "harness/scratch.h"

namespace {

const wchar_t kSuccessText[] = L"The application has been installed successfully.";
const wchar_t kSuccessCaption[] = L"Setup complete";

std::string FileContent(const std::wstring& path) {
  std::vector<unsigned char> bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

std::string ProgramBytes(const wchar_t* program) { return FileContent(BinDir() + program); }

// Product Alpha 1.0 with the folder help, the uninstaller first, help\index.htm (flags 0)
// and alpha.exe (flags 0x0017).
PackageContents AlphaPackage() {
  PackageContents contents;
  contents.product_name = u"Alpha";
  contents.product_version = u"1.0";
  contents.window_class = u"AlphaWnd";
  contents.folders.push_back("help");
  AddEntry(contents, 0, "help\\index.htm", "<html><body>Alpha help</body></html>");
  AddEntry(contents, 0x0017, "alpha.exe", ProgramBytes(L"alpha.exe"));
  AddUninstallerEntry(contents, L"alpha.exe");
  return contents;
}

void ExpectSuccessBoxOnly(const AnsweredRun& run) {
  EXPECT_EQ(run.exit_code, 0u);
  ASSERT_EQ(run.boxes.size(), 1u);
  EXPECT_EQ(run.boxes[0].caption, kSuccessCaption);
  EXPECT_EQ(run.boxes[0].text, kSuccessText);
}

void ExpectLink(const std::wstring& link, const std::wstring& target) {
  SCOPED_TRACE(Narrow(link));
  ShellLinkSeen seen = ReadShellLink(link);
  ASSERT_TRUE(seen.loaded);
  EXPECT_EQ(seen.target, target);
  EXPECT_EQ(seen.working_folder, target.substr(0, target.find_last_of(L'\\')));
  EXPECT_EQ(seen.arguments, L"");
  EXPECT_EQ(seen.show_command, SW_SHOWNORMAL);
}

// Installs the example product below Program Files with "Add to Desktop" and "Add to Start
// Menu" ticked and checks everything it leaves.
void InstallAlphaExample(bool log_executables) {
  ScratchFolder scratch;
  const std::wstring koz_soft = SpecialFolder(CSIDL_PROGRAM_FILES) + L"\\KOZ Soft";
  const std::wstring dir = koz_soft + L"\\Alpha 1.0";
  const std::wstring desktop = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
  const std::wstring startup = SpecialFolder(CSIDL_COMMON_STARTUP);
  const std::wstring group = SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Alpha 1.0";
  const std::wstring key = UninstallKey(L"Alpha", L"1.0");
  ASSERT_FALSE(FolderExists(dir)) << "left over by an earlier run";
  ASSERT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, key));
  Leftovers leftovers;
  leftovers.AddFolderIfNew(koz_soft);
  leftovers.AddPath(dir);
  leftovers.AddPath(desktop + L"\\alpha.lnk");
  leftovers.AddPath(startup + L"\\alpha.lnk");
  leftovers.AddPath(group);
  leftovers.AddKey(key);

  PackageContents contents = AlphaPackage();
  contents.log_executables = log_executables ? 1 : 0;
  AnsweredRun run = RunInstall(scratch.path(), contents, dir, L"/desktop /programs");
  ExpectSuccessBoxOnly(run);

  std::vector<LogRecordText> records;
  if (log_executables) records.push_back({L'E', dir + L"\\alpha.exe"});
  records.push_back({L'R', key});
  records.push_back({L'F', dir + L"\\help\\index.htm"});
  records.push_back({L'F', dir + L"\\alpha.exe"});
  records.push_back({L'F', L"<25>\\alpha.lnk"});
  records.push_back({L'F', L"<23>Alpha 1.0\\alpha.lnk"});
  records.push_back({L'F', dir + L"\\uninstall.exe"});
  records.push_back({L'F', L"<23>Alpha 1.0\\uninstall.lnk"});
  records.push_back({L'F', dir + L"\\uninstall.dat"});
  std::vector<std::wstring> folders = FolderChain(dir);
  folders.push_back(dir + L"\\help");
  folders.push_back(L"<23>Alpha 1.0");
  for (const LogRecordText& record : FolderRecords(folders)) records.push_back(record);
  EXPECT_EQ(ReadLog(dir + L"\\uninstall.dat"),
            LogText(L"Alpha#1.0#AlphaWnd#DO NOT REMOVE/EDIT THIS FILE", records));

  EXPECT_EQ(FileContent(dir + L"\\help\\index.htm"), "<html><body>Alpha help</body></html>");
  EXPECT_EQ(FileContent(dir + L"\\alpha.exe"), ProgramBytes(L"alpha.exe"));
  EXPECT_EQ(FileContent(dir + L"\\uninstall.exe"), ProgramBytes(L"alpha.exe"));

  ExpectLink(desktop + L"\\alpha.lnk", dir + L"\\alpha.exe");
  ExpectLink(group + L"\\alpha.lnk", dir + L"\\alpha.exe");
  ExpectLink(group + L"\\uninstall.lnk", dir + L"\\uninstall.exe");
  EXPECT_FALSE(FileExists(startup + L"\\alpha.lnk")) << "Add to Startup was not ticked";

  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"UninstallString").value,
            L"\"" + dir + L"\\uninstall.exe\"");
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"DisplayName").value,
            L"Alpha 1.0 (Remove / Re-install only)");
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"Publisher").value, L"KOZ Soft");
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"URLInfoAbout").value,
            L"https://www.example.com/");
}

TEST(InstallRun, WorkedExampleLogBelowProgramFiles) { InstallAlphaExample(false); }

TEST(InstallRun, WorkedExampleWithExecutablesLogged) { InstallAlphaExample(true); }

TEST(InstallRun, PackageWithoutEntriesWritesOnlyTheLog) {
  ScratchFolder scratch;
  const std::wstring dir = scratch / L"Empty";
  PackageContents contents = TestPackage();
  AnsweredRun run = RunInstall(scratch.path(), contents, dir + L"\\", L"/desktop /startup /programs");
  ExpectSuccessBoxOnly(run);

  std::vector<LogRecordText> records = {{L'F', dir + L"\\uninstall.exe"},
                                        {L'F', dir + L"\\uninstall.dat"}};
  for (const LogRecordText& record : FolderRecords(FolderChain(dir))) records.push_back(record);
  EXPECT_EQ(ReadLog(dir + L"\\uninstall.dat"),
            LogText(L"Test Product#1.0#TestProductWindow#DO NOT REMOVE/EDIT THIS FILE", records));
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey(L"Test Product", L"1.0")));
  EXPECT_FALSE(FolderExists(SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Test Product 1.0"));
}

TEST(InstallRun, ReinstallOverwritesFilesAndLog) {
  ScratchFolder scratch;
  const std::wstring dir = scratch / L"Reinstall";
  const std::wstring key = UninstallKey(L"Reinstall Test", L"2.0");
  Leftovers leftovers;
  leftovers.AddKey(key);
  PackageContents contents = TestPackage();
  contents.product_name = u"Reinstall Test";
  contents.product_version = u"2.0";
  contents.folders = {"data", "data\\deep"};
  AddEntry(contents, 0, "data\\deep\\table.bin", std::string("\x01\x02\x00\x03", 4));
  AddEntry(contents, 0, "readme.txt", "read me");
  AddEntry(contents, 0, "empty.txt", "");
  AddUninstallerEntry(contents, L"alpha.exe");

  ExpectSuccessBoxOnly(RunInstall(scratch.path(), contents, dir));
  const std::wstring log = ReadLog(dir + L"\\uninstall.dat");
  ASSERT_FALSE(log.empty());
  WriteText(dir + L"\\readme.txt", "changed by the user, and longer than before");
  RemoveTree(dir + L"\\data\\deep\\table.bin");
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());

  ExpectSuccessBoxOnly(RunInstall(scratch.path(), contents, dir));
  // Every folder existed this time and is still recorded exactly once.
  EXPECT_EQ(ReadLog(dir + L"\\uninstall.dat"), log);
  EXPECT_EQ(FileContent(dir + L"\\readme.txt"), "read me");
  EXPECT_EQ(FileContent(dir + L"\\data\\deep\\table.bin"), std::string("\x01\x02\x00\x03", 4));
  EXPECT_TRUE(FileExists(dir + L"\\empty.txt"));
  EXPECT_EQ(ReadBytes(dir + L"\\empty.txt").size(), 0u);
  EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, key));

  std::vector<LogRecordText> records = {
      {L'R', key},
      {L'F', dir + L"\\data\\deep\\table.bin"},
      {L'F', dir + L"\\readme.txt"},
      {L'F', dir + L"\\empty.txt"},
      {L'F', dir + L"\\uninstall.exe"},
      {L'F', dir + L"\\uninstall.dat"}};
  std::vector<std::wstring> folders = FolderChain(dir);
  folders.push_back(dir + L"\\data");
  folders.push_back(dir + L"\\data\\deep");
  for (const LogRecordText& record : FolderRecords(folders)) records.push_back(record);
  EXPECT_EQ(log, LogText(L"Reinstall Test#2.0#TestProductWindow#DO NOT REMOVE/EDIT THIS FILE",
                         records));
}

TEST(InstallRun, ExistingFoldersAreRecordedOnceIgnoringCase) {
  ScratchFolder scratch;
  const std::wstring dir = scratch / L"Cased";
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), NULL));
  ASSERT_TRUE(CreateDirectoryW((dir + L"\\Docs").c_str(), NULL));
  PackageContents contents = TestPackage();
  // The same existing folder twice in other spellings, and a new one twice.
  contents.folders = {"docs", "DOCS", "new", "NEW"};
  AnsweredRun run = RunInstall(scratch.path(), contents, dir);
  ExpectSuccessBoxOnly(run);

  std::vector<LogRecordText> records = {{L'F', dir + L"\\uninstall.exe"},
                                        {L'F', dir + L"\\uninstall.dat"}};
  std::vector<std::wstring> folders = FolderChain(dir);
  folders.push_back(dir + L"\\docs");
  folders.push_back(dir + L"\\new");
  for (const LogRecordText& record : FolderRecords(folders)) records.push_back(record);
  EXPECT_EQ(ReadLog(dir + L"\\uninstall.dat"),
            LogText(L"Test Product#1.0#TestProductWindow#DO NOT REMOVE/EDIT THIS FILE", records));
}

TEST(InstallRun, UninstallerUnderAnotherNameIsRegisteredUnderItsOwnPath) {
  ScratchFolder scratch;
  const std::wstring dir = scratch / L"Renamed";
  const std::wstring key = UninstallKey(L"Renamed Test", L"1.0");
  Leftovers leftovers;
  leftovers.AddKey(key);
  PackageContents contents = TestPackage();
  contents.product_name = u"Renamed Test";
  contents.log_executables = 1;
  contents.folders = {"bin"};
  AddEntry(contents, ENTRY_UNINSTALLER, "bin\\remover.exe", "remover");
  ExpectSuccessBoxOnly(RunInstall(scratch.path(), contents, dir));

  // Bit 0x0010 is set in 0xFFFE, so the renamed uninstaller gets an "E" record; the fixed
  // "uninstall.exe" record is written all the same.
  std::vector<LogRecordText> records = {{L'E', dir + L"\\bin\\remover.exe"},
                                        {L'R', key},
                                        {L'F', dir + L"\\uninstall.exe"},
                                        {L'F', dir + L"\\uninstall.dat"}};
  std::vector<std::wstring> folders = FolderChain(dir);
  folders.push_back(dir + L"\\bin");
  for (const LogRecordText& record : FolderRecords(folders)) records.push_back(record);
  EXPECT_EQ(ReadLog(dir + L"\\uninstall.dat"),
            LogText(L"Renamed Test#1.0#TestProductWindow#DO NOT REMOVE/EDIT THIS FILE", records));
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"UninstallString").value,
            L"\"" + dir + L"\\bin\\remover.exe\"");
  EXPECT_EQ(FileContent(dir + L"\\bin\\remover.exe"), "remover");
}

// The sample product as the packing tool builds it, installed from its own package: every
// file flagged for every shortcut, executables logged, the real uninstaller first.
TEST(InstallRun, PackedSampleProductInstallsBelowProgramFiles) {
  ScratchFolder scratch;
  const std::wstring sample = BinDir() + L"sample";
  const std::wstring setup = scratch / L"alpha-setup.exe";
  ASSERT_EQ(RunChild(Quoted(BinDir() + L"pack.exe") + L" " + Quoted(sample + L"\\alpha.ini") +
                         L" -o " + Quoted(setup),
                     60000),
            0u);
  EmbeddedPackage package = ReadEmbeddedPackage(setup);
  ASSERT_TRUE(package.found);

  const std::wstring koz_soft = SpecialFolder(CSIDL_PROGRAM_FILES) + L"\\KOZ Soft";
  const std::wstring dir = koz_soft + L"\\Alpha 1.0";
  const std::wstring desktop = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
  const std::wstring startup = SpecialFolder(CSIDL_COMMON_STARTUP);
  const std::wstring group = SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Alpha 1.0";
  const std::wstring key = UninstallKey(L"Alpha", L"1.0");
  ASSERT_FALSE(FolderExists(dir)) << "left over by an earlier run";
  Leftovers leftovers;
  leftovers.AddFolderIfNew(koz_soft);
  leftovers.AddPath(dir);
  leftovers.AddPath(desktop + L"\\alpha.lnk");
  leftovers.AddPath(startup + L"\\alpha.lnk");
  leftovers.AddPath(group);
  leftovers.AddKey(key);

  ExpectSuccessBoxOnly(RunInstallBytes(scratch.path(), package.bytes, dir,
                                       L"/desktop /startup /programs"));

  std::vector<LogRecordText> records = {
      {L'E', dir + L"\\alpha.exe"},
      {L'R', key},
      {L'F', dir + L"\\alpha.exe"},
      {L'F', L"<25>\\alpha.lnk"},
      {L'F', L"<24>\\alpha.lnk"},
      {L'F', L"<23>Alpha 1.0\\alpha.lnk"},
      {L'F', dir + L"\\license.htm"},
      {L'F', L"<23>Alpha 1.0\\license.lnk"},
      {L'F', dir + L"\\help\\Alpha Help.htm"},
      {L'F', L"<23>Alpha 1.0\\Alpha Help.lnk"},
      {L'F', dir + L"\\uninstall.exe"},
      {L'F', L"<23>Alpha 1.0\\uninstall.lnk"},
      {L'F', dir + L"\\uninstall.dat"}};
  std::vector<std::wstring> folders = FolderChain(dir);
  folders.push_back(dir + L"\\help");
  folders.push_back(L"<23>Alpha 1.0");
  for (const LogRecordText& record : FolderRecords(folders)) records.push_back(record);
  EXPECT_EQ(ReadLog(dir + L"\\uninstall.dat"),
            LogText(L"Alpha#1.0#AlphaWnd#DO NOT REMOVE/EDIT THIS FILE", records));

  EXPECT_EQ(FileContent(dir + L"\\alpha.exe"), FileContent(sample + L"\\alpha.exe"));
  EXPECT_EQ(FileContent(dir + L"\\license.htm"), FileContent(sample + L"\\license.htm"));
  EXPECT_EQ(FileContent(dir + L"\\help\\Alpha Help.htm"),
            FileContent(sample + L"\\help\\Alpha Help.htm"));
  EXPECT_EQ(FileContent(dir + L"\\uninstall.exe"), ProgramBytes(L"uninstall.exe"));

  ExpectLink(desktop + L"\\alpha.lnk", dir + L"\\alpha.exe");
  ExpectLink(startup + L"\\alpha.lnk", dir + L"\\alpha.exe");
  ExpectLink(group + L"\\alpha.lnk", dir + L"\\alpha.exe");
  ExpectLink(group + L"\\license.lnk", dir + L"\\license.htm");
  ExpectLink(group + L"\\Alpha Help.lnk", dir + L"\\help\\Alpha Help.htm");
  ExpectLink(group + L"\\uninstall.lnk", dir + L"\\uninstall.exe");
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"UninstallString").value,
            L"\"" + dir + L"\\uninstall.exe\"");
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"DisplayName").value,
            L"Alpha 1.0 (Remove / Re-install only)");
}

}  // namespace
