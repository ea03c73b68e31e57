// The install run end to end: a package embedded into a copy of install_probe.exe is
// installed onto the Wine drive, and the log, the files, the shortcuts and the registry
// key are checked as the uninstaller and the user will meet them.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include "harness/console_child.h"
#include "harness/install_run.h"
#include "harness/leftovers.h"
#include "harness/log_text.h"
#include "harness/package_builder.h"
#include "harness/process.h"
#include "harness/registration.h"
#include "harness/scratch.h"
#include "harness/shell.h"

namespace {

// Product Alpha 1.0 with the folder help, the uninstaller first, help\index.htm (flags 0)
// and alpha.exe (flags 0x0017).
TestPackageContents AlphaPackage() {
  TestPackageContents contents;
  contents.product_name = u"Alpha";
  contents.product_version = u"1.0";
  contents.window_class = u"AlphaWnd";
  contents.folders.push_back("help");
  AddEntry(contents, 0, "help\\index.htm", "<html><body>Alpha help</body></html>");
  AddEntry(contents, 0x0017, "alpha.exe", FileText(AlphaExe()));
  AddUninstallerEntry(contents, L"alpha.exe");
  return contents;
}

void ExpectLink(const std::wstring& link, const std::wstring& target) {
  SCOPED_TRACE(Utf8(link));
  ShellLinkSeen seen = ReadShellLink(link);
  ASSERT_TRUE(seen.loaded);
  EXPECT_EQ(seen.target, target);
  EXPECT_EQ(seen.working_folder, target.substr(0, target.find_last_of(L'\\')));
  EXPECT_EQ(seen.arguments, L"");
  EXPECT_EQ(seen.show_command, SW_SHOWNORMAL);
}

// Where Alpha 1.0 installs when a user keeps the offered folder, below Program Files\KOZ
// Soft, and where its links and registration go; all of it is removed when the object goes.
struct AlphaBelowProgramFiles {
  std::wstring koz_soft = SpecialFolder(CSIDL_PROGRAM_FILES) + L"\\KOZ Soft";
  std::wstring dir = koz_soft + L"\\Alpha 1.0";
  std::wstring desktop = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
  std::wstring startup = SpecialFolder(CSIDL_COMMON_STARTUP);
  std::wstring group = SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Alpha 1.0";
  std::wstring key = UninstallKey(L"Alpha", L"1.0");
  Leftovers leftovers;

  AlphaBelowProgramFiles() {
    leftovers.AddFolderIfNew(koz_soft);
    leftovers.AddPath(dir);
    leftovers.AddProduct(L"Alpha", L"1.0", L"alpha.lnk");
  }
};

// Each test's scratch folder and what its product leaves outside it.
class InstallRun : public ::testing::Test {
 protected:
  // TestPackage() named `name` `version`, whose registration goes when the test ends.
  TestPackageContents Product(const std::wstring& name, const std::wstring& version) {
    leftovers.AddKey(UninstallKey(name, version));
    TestPackageContents contents = TestPackage();
    contents.product_name = U16(name);
    contents.product_version = U16(version);
    return contents;
  }
  // Installs `contents` into `dir` with `options`, answering every box with OK.
  AnsweredRun Install(const TestPackageContents& contents, const std::wstring& dir,
                      const std::wstring& options = L"") {
    return RunInstall(scratch.path(), contents, dir, options);
  }
  // Installs the example product below Program Files with "Add to Desktop" and "Add to
  // Start Menu" ticked and checks everything it leaves.
  void InstallAlphaExample(bool log_executables);

  ScratchFolder scratch;
  Leftovers leftovers;
};

void InstallRun::InstallAlphaExample(bool log_executables) {
  AlphaBelowProgramFiles alpha;
  const std::wstring& dir = alpha.dir;
  ASSERT_FALSE(FolderExists(dir)) << "left over by an earlier run";
  ASSERT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, alpha.key));
  TestPackageContents contents = AlphaPackage();
  contents.log_executables = log_executables ? 1 : 0;
  ExpectOnlyBox(Install(contents, dir, L"/desktop /programs"), kSuccessCaption, kSuccessText);

  LogRecords records;
  if (log_executables) records.push_back({L'E', dir + L"\\alpha.exe"});
  records.push_back({L'R', alpha.key});
  records.push_back({L'F', dir + L"\\help\\index.htm"});
  records.push_back({L'F', dir + L"\\alpha.exe"});
  records.push_back({L'F', L"<25>\\alpha.lnk"});
  records.push_back({L'F', L"<23>Alpha 1.0\\alpha.lnk"});
  records.push_back({L'F', dir + L"\\uninstall.exe"});
  records.push_back({L'F', L"<23>Alpha 1.0\\uninstall.lnk"});
  records.push_back({L'F', dir + L"\\uninstall.dat"});
  AddFolderRecords(records, FolderChain(dir), {dir + L"\\help", L"<23>Alpha 1.0"});
  EXPECT_EQ(ReadLog(dir + L"\\uninstall.dat"), AlphaLog(records));

  EXPECT_EQ(FileText(dir + L"\\help\\index.htm"), "<html><body>Alpha help</body></html>");
  EXPECT_EQ(FileText(dir + L"\\alpha.exe"), FileText(AlphaExe()));
  EXPECT_EQ(FileText(dir + L"\\uninstall.exe"), FileText(AlphaExe()));

  ExpectLink(alpha.desktop + L"\\alpha.lnk", dir + L"\\alpha.exe");
  ExpectLink(alpha.group + L"\\alpha.lnk", dir + L"\\alpha.exe");
  ExpectLink(alpha.group + L"\\uninstall.lnk", dir + L"\\uninstall.exe");
  EXPECT_FALSE(FileExists(alpha.startup + L"\\alpha.lnk")) << "Add to Startup was not ticked";
  ExpectRegistered(L"Alpha", L"1.0", dir + L"\\uninstall.exe");
}

TEST_F(InstallRun, WorkedExampleLogBelowProgramFiles) { InstallAlphaExample(false); }

TEST_F(InstallRun, WorkedExampleWithExecutablesLogged) { InstallAlphaExample(true); }

TEST_F(InstallRun, PackageWithoutEntriesWritesOnlyTheLog) {
  const std::wstring dir = scratch / L"Empty";
  ExpectOnlyBox(Install(TestPackage(), dir + L"\\", L"/desktop /startup /programs"),
                kSuccessCaption, kSuccessText);

  LogRecords records = {{L'F', dir + L"\\uninstall.exe"}, {L'F', dir + L"\\uninstall.dat"}};
  AddFolderRecords(records, FolderChain(dir));
  EXPECT_EQ(ReadLog(dir + L"\\uninstall.dat"), LogContents(TestPackageLogHeader(), records));
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey(L"Test Product", L"1.0")));
  EXPECT_FALSE(FolderExists(SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Test Product 1.0"));
}

// A product without a main window: its log's header carries an empty class, which the
// uninstaller reads as "nothing to look for".
TEST_F(InstallRun, EmptyWindowClassIsLoggedEmpty) {
  const std::wstring dir = scratch / L"No Window";
  TestPackageContents contents = TestPackage();
  contents.window_class = u"";
  ExpectOnlyBox(Install(contents, dir), kSuccessCaption, kSuccessText);
  LogRecords records = {{L'F', dir + L"\\uninstall.exe"}, {L'F', dir + L"\\uninstall.dat"}};
  AddFolderRecords(records, FolderChain(dir));
  EXPECT_EQ(ReadLog(dir + L"\\uninstall.dat"),
            LogContents(LogHeaderLine(L"Test Product", L"1.0", L""), records));
}

TEST_F(InstallRun, ReinstallOverwritesFilesAndLog) {
  const std::wstring dir = scratch / L"Reinstall";
  const std::wstring key = UninstallKey(L"Reinstall Test", L"2.0");
  TestPackageContents contents = Product(L"Reinstall Test", L"2.0");
  contents.folders = {"data", "data\\deep"};
  AddEntry(contents, 0, "data\\deep\\table.bin", std::string("\x01\x02\x00\x03", 4));
  AddEntry(contents, 0, "readme.txt", "read me");
  AddEntry(contents, 0, "empty.txt", "");
  AddUninstallerEntry(contents, L"alpha.exe");

  ExpectOnlyBox(Install(contents, dir), kSuccessCaption, kSuccessText);
  const std::wstring log = ReadLog(dir + L"\\uninstall.dat");
  ASSERT_FALSE(log.empty());
  WriteText(dir + L"\\readme.txt", "changed by the user, and longer than before");
  RemoveTree(dir + L"\\data\\deep\\table.bin");
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());

  ExpectOnlyBox(Install(contents, dir), kSuccessCaption, kSuccessText);
  // Every folder existed this time and is still recorded exactly once.
  EXPECT_EQ(ReadLog(dir + L"\\uninstall.dat"), log);
  EXPECT_EQ(FileText(dir + L"\\readme.txt"), "read me");
  EXPECT_EQ(FileText(dir + L"\\data\\deep\\table.bin"), std::string("\x01\x02\x00\x03", 4));
  EXPECT_TRUE(FileExists(dir + L"\\empty.txt"));
  EXPECT_EQ(ReadBytes(dir + L"\\empty.txt").size(), 0u);
  EXPECT_TRUE(RegistryKeyExists(HKEY_LOCAL_MACHINE, key));

  LogRecords records = {{L'R', key},
                        {L'F', dir + L"\\data\\deep\\table.bin"},
                        {L'F', dir + L"\\readme.txt"},
                        {L'F', dir + L"\\empty.txt"},
                        {L'F', dir + L"\\uninstall.exe"},
                        {L'F', dir + L"\\uninstall.dat"}};
  AddFolderRecords(records, FolderChain(dir), {dir + L"\\data", dir + L"\\data\\deep"});
  EXPECT_EQ(log,
            LogContents(LogHeaderLine(L"Reinstall Test", L"2.0", L"TestProductWindow"), records));
}

TEST_F(InstallRun, ExistingFoldersAreRecordedOnceIgnoringCase) {
  const std::wstring dir = scratch / L"Cased";
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), NULL));
  ASSERT_TRUE(CreateDirectoryW((dir + L"\\Docs").c_str(), NULL));
  TestPackageContents contents = TestPackage();
  // The same existing folder twice in other spellings, and a new one twice.
  contents.folders = {"docs", "DOCS", "new", "NEW"};
  ExpectOnlyBox(Install(contents, dir), kSuccessCaption, kSuccessText);

  LogRecords records = {{L'F', dir + L"\\uninstall.exe"}, {L'F', dir + L"\\uninstall.dat"}};
  AddFolderRecords(records, FolderChain(dir), {dir + L"\\docs", dir + L"\\new"});
  EXPECT_EQ(ReadLog(dir + L"\\uninstall.dat"), LogContents(TestPackageLogHeader(), records));
}

TEST_F(InstallRun, UninstallerUnderAnotherNameIsRegisteredUnderItsOwnPath) {
  const std::wstring dir = scratch / L"Renamed";
  TestPackageContents contents = Product(L"Renamed Test", L"1.0");
  contents.log_executables = 1;
  contents.folders = {"bin"};
  AddEntry(contents, ENTRY_UNINSTALLER, "bin\\remover.exe", "remover");
  ExpectOnlyBox(Install(contents, dir), kSuccessCaption, kSuccessText);

  // Bit 0x0010 is set in 0xFFFE, so the renamed uninstaller gets an "E" record; the fixed
  // "uninstall.exe" record is written all the same.
  LogRecords records = {{L'E', dir + L"\\bin\\remover.exe"},
                        {L'R', UninstallKey(L"Renamed Test", L"1.0")},
                        {L'F', dir + L"\\uninstall.exe"},
                        {L'F', dir + L"\\uninstall.dat"}};
  AddFolderRecords(records, FolderChain(dir), {dir + L"\\bin"});
  EXPECT_EQ(ReadLog(dir + L"\\uninstall.dat"),
            LogContents(LogHeaderLine(L"Renamed Test", L"1.0", L"TestProductWindow"), records));
  ExpectRegistered(L"Renamed Test", L"1.0", dir + L"\\bin\\remover.exe");
  EXPECT_EQ(FileText(dir + L"\\bin\\remover.exe"), "remover");
}

// The sample product as the packing tool builds it, installed from its own package: every
// file flagged for every shortcut, executables logged, the real uninstaller first.
TEST_F(InstallRun, PackedSampleProductInstallsBelowProgramFiles) {
  const std::wstring sample = BinDir() + L"sample";
  const std::wstring setup = scratch / L"alpha-setup.exe";
  ASSERT_TRUE(PackSampleProduct(setup));
  EmbeddedPackage package = ReadEmbeddedPackage(setup);
  ASSERT_TRUE(package.found);

  AlphaBelowProgramFiles alpha;
  const std::wstring& dir = alpha.dir;
  ASSERT_FALSE(FolderExists(dir)) << "left over by an earlier run";
  ExpectOnlyBox(RunInstallBytes(scratch.path(), package.bytes, dir,
                                L"/desktop /startup /programs"),
                kSuccessCaption, kSuccessText);

  LogRecords records = {{L'E', dir + L"\\alpha.exe"},
                        {L'R', alpha.key},
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
  AddFolderRecords(records, FolderChain(dir), {dir + L"\\help", L"<23>Alpha 1.0"});
  EXPECT_EQ(ReadLog(dir + L"\\uninstall.dat"), AlphaLog(records));

  EXPECT_EQ(FileText(dir + L"\\alpha.exe"), FileText(sample + L"\\alpha.exe"));
  EXPECT_EQ(FileText(dir + L"\\license.htm"), FileText(sample + L"\\license.htm"));
  EXPECT_EQ(FileText(dir + L"\\help\\Alpha Help.htm"),
            FileText(sample + L"\\help\\Alpha Help.htm"));
  EXPECT_EQ(FileText(dir + L"\\uninstall.exe"), FileText(UninstallerExe()));

  ExpectLink(alpha.desktop + L"\\alpha.lnk", dir + L"\\alpha.exe");
  ExpectLink(alpha.startup + L"\\alpha.lnk", dir + L"\\alpha.exe");
  ExpectLink(alpha.group + L"\\alpha.lnk", dir + L"\\alpha.exe");
  ExpectLink(alpha.group + L"\\license.lnk", dir + L"\\license.htm");
  ExpectLink(alpha.group + L"\\Alpha Help.lnk", dir + L"\\help\\Alpha Help.htm");
  ExpectLink(alpha.group + L"\\uninstall.lnk", dir + L"\\uninstall.exe");
  ExpectRegistered(L"Alpha", L"1.0", dir + L"\\uninstall.exe");
}

}  // namespace
