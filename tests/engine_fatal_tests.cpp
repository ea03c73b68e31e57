// Fatal paths of the install run, met as the user meets them: the probe shows one message
// box titled "Fatal error", the test reads and answers it, and the process exits with 0,
// leaving the log (if it was opened) as far as it was written, completed with the records
// of the uninstaller, the log and the touched folders, without its end marker.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include "harness/install_run.h"
#include "harness/leftovers.h"
#include "harness/log_text.h"
#include "harness/package_builder.h"
#include "harness/scratch.h"
#include "harness/shell.h"

namespace {

// The log of a run into `dir` that failed after logging `records`: they are followed by
// what a failed run appends (the uninstaller, the log and the folders along `dir`, newest
// first), and there is no end marker.
std::wstring InterruptedLog(const std::wstring& header, LogRecords records,
                            const std::wstring& dir) {
  records.push_back({L'F', dir + L"\\uninstall.exe"});
  records.push_back({L'F', dir + L"\\uninstall.dat"});
  AddFolderRecords(records, FolderChain(dir));
  return LogContents(header, records, false);
}

void ExpectFatal(const AnsweredRun& run, const std::wstring& text) {
  ExpectOnlyBox(run, L"Fatal error", text);
}

// A file opened without sharing, as another program holding it would.
class HeldFile {
 public:
  explicit HeldFile(const std::wstring& path)
      : file_(CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL)) {}
  ~HeldFile() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
  }
  bool held() const { return file_ != INVALID_HANDLE_VALUE; }

 private:
  HANDLE file_;
};

TEST(InstallFailure, FileHeldOpenWithoutSharing) {
  ScratchFolder scratch;
  const std::wstring dir = scratch / L"Held";
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), NULL));
  HeldFile held(dir + L"\\locked.exe");
  ASSERT_TRUE(held.held());
  TestPackageContents contents = TestPackage();
  AddEntry(contents, 0, "readme.txt", "read me");
  AddEntry(contents, 0x0010, "locked.exe", "program");
  AddEntry(contents, 0, "after.txt", "never written");

  ExpectFatal(RunInstall(scratch.path(), contents, dir, L"/launch"),
              L"Could not create file\n>" + dir + L"\\locked.exe");
  EXPECT_EQ(ReadLog(dir + L"\\uninstall.dat"),
            InterruptedLog(TestPackageLogHeader(), {{L'F', dir + L"\\readme.txt"}}, dir));
  EXPECT_TRUE(FileExists(dir + L"\\readme.txt"));
  EXPECT_FALSE(FileExists(dir + L"\\after.txt"));
}

TEST(InstallFailure, LogHeldOpenWithoutSharing) {
  ScratchFolder scratch;
  const std::wstring dir = scratch / L"HeldLog";
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), NULL));
  HeldFile held(dir + L"\\uninstall.dat");
  ASSERT_TRUE(held.held());
  TestPackageContents contents = TestPackage();
  contents.folders = {"sub"};
  AddEntry(contents, 0, "readme.txt", "read me");
  ExpectFatal(RunInstall(scratch.path(), contents, dir), L"Could not write the uninstall file");
  EXPECT_TRUE(FolderExists(dir + L"\\sub")) << "folders come before the log";
  EXPECT_FALSE(FileExists(dir + L"\\readme.txt"));
}

TEST(InstallFailure, FolderNameTakenByFile) {
  ScratchFolder scratch;
  const std::wstring dir = scratch / L"Taken";
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), NULL));
  WriteText(dir + L"\\help", "a file, not a folder");
  TestPackageContents contents = TestPackage();
  contents.folders = {"help"};
  AddEntry(contents, 0, "help\\index.htm", "help");
  ExpectFatal(RunInstall(scratch.path(), contents, dir),
              L"Could not create folder [2]\n>" + dir + L"\\help");
  EXPECT_FALSE(FileExists(dir + L"\\uninstall.dat"));
}

TEST(InstallFailure, FolderWhoseParentIsMissing) {
  ScratchFolder scratch;
  const std::wstring dir = scratch / L"Orphan";
  TestPackageContents contents = TestPackage();
  contents.folders = {"missing\\child"};
  ExpectFatal(RunInstall(scratch.path(), contents, dir),
              L"Could not create folder [1]\n>" + dir + L"\\missing\\child");
  EXPECT_TRUE(FolderExists(dir)) << "the installation folder was made first";
  EXPECT_FALSE(FileExists(dir + L"\\uninstall.dat"));
}

TEST(InstallFailure, EntryInAFolderOutsideTheList) {
  ScratchFolder scratch;
  const std::wstring dir = scratch / L"Unlisted";
  TestPackageContents contents = TestPackage();
  AddEntry(contents, 0, "first.txt", "first");
  AddEntry(contents, 0, "nowhere\\file.txt", "lost");
  ExpectFatal(RunInstall(scratch.path(), contents, dir),
              L"Could not create file\n>" + dir + L"\\nowhere\\file.txt");
  EXPECT_EQ(ReadLog(dir + L"\\uninstall.dat"),
            InterruptedLog(TestPackageLogHeader(), {{L'F', dir + L"\\first.txt"}}, dir));
}

TEST(InstallFailure, EmptyInstallationFolder) {
  ScratchFolder scratch;
  TestPackageContents contents = TestPackage();
  AddEntry(contents, 0, "stray.txt", "stray");
  ExpectFatal(RunInstallBytes(scratch.path(), PackageBytes(contents), L""),
              L"Could not create folder [1]\n>");
}

TEST(InstallFailure, ShareWithoutServerFolder) {
  ScratchFolder scratch;
  ExpectFatal(RunInstall(scratch.path(), TestPackage(), L"\\\\nosuchserver\\share\\Product"),
              L"Could not create folder [1]\n>\\\\nosuchserver");
}

TEST(InstallFailure, FilePathOverThePathLimitBeforeAnythingIsWritten) {
  ScratchFolder scratch;
  const std::wstring dir = scratch / L"Long";
  // The name alone fits a name buffer; with the folder in front it passes 259 characters.
  const size_t name_length = 262 - dir.size();
  ASSERT_LT(name_length, 255u);
  const std::string name = std::string(name_length - 4, 'n') + ".txt";
  TestPackageContents contents = TestPackage();
  AddEntry(contents, 0, "short.txt", "fits");
  AddEntry(contents, 0, name, "too long");
  ExpectFatal(RunInstall(scratch.path(), contents, dir),
              L"Could not create file\n>" + dir + L"\\" + Wide(name));
  EXPECT_FALSE(FolderExists(dir)) << "checked before anything was written";
}

TEST(InstallFailure, FolderPathOverThePathLimitIsCutInTheMessage) {
  ScratchFolder scratch;
  const std::wstring dir = scratch / L"LongFolder";
  const std::string folder(255, 'f');
  TestPackageContents contents = TestPackage();
  contents.folders = {folder};
  std::wstring full = L"Could not create folder [1]\n>" + dir + L"\\" + Wide(folder);
  ASSERT_GT(full.size(), 319u);
  ExpectFatal(RunInstall(scratch.path(), contents, dir), full.substr(0, 319));
  EXPECT_FALSE(FolderExists(dir));
}

TEST(InstallFailure, InstallationFolderWithoutRoomForTheLog) {
  ScratchFolder scratch;
  std::wstring dir = scratch / L"";
  dir += std::wstring(250 - dir.size(), L'd');
  ExpectFatal(RunInstall(scratch.path(), TestPackage(), dir),
              L"Could not write the uninstall file");
  EXPECT_FALSE(FolderExists(dir));
}

TEST(InstallFailure, LinkNameOverItsBufferOnlyWhenTheShortcutIsWanted) {
  ScratchFolder scratch;
  const std::wstring dir = scratch / L"LongLink";
  const std::string name = std::string(130, 'l') + ".exe";
  TestPackageContents contents = TestPackage();
  AddEntry(contents, ENTRY_DESKTOP_SHORTCUT, name, "program");
  ExpectFatal(RunInstall(scratch.path(), contents, dir, L"/desktop"),
              L"Could not create shortcut\n>" + dir + L"\\" + Wide(name));
  EXPECT_FALSE(FolderExists(dir));

  // Without "Add to Desktop" no link is made, and the same name installs.
  ExpectOnlyBox(RunInstall(scratch.path(), contents, dir, L"/startup /programs"),
                kSuccessCaption, kSuccessText);
  EXPECT_TRUE(FileExists(dir + L"\\" + Wide(name)));
}

TEST(InstallFailure, ProgramsGroupTakenByFile) {
  ScratchFolder scratch;
  const std::wstring dir = scratch / L"Blocked";
  const std::wstring group = SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Blocked 1.0";
  Leftovers leftovers;
  leftovers.AddPath(group);
  WriteText(group, "a file where the group goes");
  TestPackageContents contents = TestPackage();
  contents.product_name = u"Blocked";
  AddEntry(contents, ENTRY_PROGRAMS_SHORTCUT, "app.exe", "program");
  AddEntry(contents, 0, "later.txt", "later");
  ExpectFatal(RunInstall(scratch.path(), contents, dir, L"/programs"),
              L"Could not create folder [2]\n>" + group);
  EXPECT_EQ(ReadLog(dir + L"\\uninstall.dat"),
            InterruptedLog(LogHeaderLine(L"Blocked", L"1.0", L"TestProductWindow"),
                           {{L'F', dir + L"\\app.exe"}}, dir));
  EXPECT_FALSE(FileExists(dir + L"\\later.txt"));
}

TEST(InstallFailure, MalformedPackageBeforeAnythingIsWritten) {
  ScratchFolder scratch;
  const std::wstring dir = scratch / L"Malformed";
  TestPackageContents contents = TestPackage();
  contents.folders = {"sub"};
  AddEntry(contents, 0, "first.txt", "first");
  AddEntry(contents, 0, "second.txt", "second file's data");
  std::vector<uint8_t> bytes = PackageBytes(contents);
  // Cut inside the last record's data: its size now runs past the package.
  bytes.resize(bytes.size() - 2 - 5);
  ExpectFatal(RunInstallBytes(scratch.path(), bytes, dir), L"Could not extract installation data!");
  EXPECT_FALSE(FolderExists(dir));

  // A folder name whose length byte runs past the package.
  std::vector<uint8_t> folder_list_cut = PackageBytes(TestPackage());
  folder_list_cut.resize(204);
  folder_list_cut.push_back(40);
  folder_list_cut.push_back('x');
  ExpectFatal(RunInstallBytes(scratch.path(), folder_list_cut, dir),
              L"Could not extract installation data!");
  EXPECT_FALSE(FolderExists(dir));
}

}  // namespace
