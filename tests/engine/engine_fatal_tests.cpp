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
#include "harness/unix_side.h"
#include "packer/windows/windows_text.h"

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

// Each test's scratch folder and the package it installs, TestPackage() unless it says
// otherwise.
class InstallFailure : public ::testing::Test {
 protected:
  // Installs `contents` into `dir` with `options`, answering every box with OK.
  AnsweredRun Install(const std::wstring& dir, const std::wstring& options = L"") {
    return RunInstall(scratch.path(), contents, dir, options);
  }
  AnsweredRun InstallBytes(const std::vector<uint8_t>& bytes, const std::wstring& dir) {
    return RunInstallBytes(scratch.path(), bytes, dir);
  }

  ScratchFolder scratch;
  TestPackageContents contents = TestPackage();
};

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

TEST_F(InstallFailure, FileHeldOpenWithoutSharing) {
  const std::wstring dir = scratch / L"Held";
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), NULL));
  HeldFile held(dir + L"\\locked.exe");
  ASSERT_TRUE(held.held());
  AddEntry(contents, 0, "readme.txt", "read me");
  AddEntry(contents, 0x0010, "locked.exe", "program");
  AddEntry(contents, 0, "after.txt", "never written");

  ExpectFatal(Install(dir, L"/launch"), L"Could not create file\n>" + dir + L"\\locked.exe");
  EXPECT_EQ(ReadLog(dir + L"\\uninstall.dat"),
            InterruptedLog(TestPackageLogHeader(), {{L'F', dir + L"\\readme.txt"}}, dir));
  EXPECT_TRUE(FileExists(dir + L"\\readme.txt"));
  EXPECT_FALSE(FileExists(dir + L"\\after.txt"));
}

// Names planted in a folder the run did not create, where the package puts its files: a
// pipe (opening it would wait for a writer) and a hard link to a file elsewhere (writing
// through it would change that file). Both are refused and left as they are; the file
// the link leads to keeps its bytes. Made on the Unix side: Windows programs cannot make
// either under Wine.
TEST_F(InstallFailure, PlantedPipeOrHardLinkIsNeverWrittenThrough) {
  const std::wstring victim = scratch / L"victim.txt";
  WriteText(victim, "the victim's own bytes");
  const struct {
    const char* name;
    std::string plant;
  } cases[] = {{"pipe.exe", "mkfifo "}, {"linked.txt", "ln " + ShellQuoted(UnixPath(victim)) + " "}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::wstring dir = scratch / (L"Planted-" + Utf16(c.name));
    ASSERT_TRUE(CreateDirectoryW(dir.c_str(), NULL));
    const std::wstring planted = dir + L"\\" + Utf16(c.name);
    ASSERT_TRUE(RunUnixScript(c.plant + ShellQuoted(UnixPath(planted))));
    TestPackageContents planted_contents = TestPackage();
    AddEntry(planted_contents, 0, c.name, "the package's bytes");
    ExpectFatal(RunInstall(scratch.path(), planted_contents, dir),
                L"Could not create file\n>" + planted);
    EXPECT_EQ(FileText(victim), "the victim's own bytes");
  }
  // A symbolic link to a file elsewhere: however the run deals with the name, the file the
  // link leads to keeps its bytes and its place.
  const std::wstring dir = scratch / L"Planted-symlink";
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), NULL));
  ASSERT_TRUE(RunUnixScript("ln -s " + ShellQuoted(UnixPath(victim)) + " " +
                            ShellQuoted(UnixPath(dir) + "/linked.txt")));
  TestPackageContents linked_contents = TestPackage();
  AddEntry(linked_contents, 0, "linked.txt", "the package's bytes");
  RunInstall(scratch.path(), linked_contents, dir);
  EXPECT_EQ(FileText(victim), "the victim's own bytes");
}

TEST_F(InstallFailure, LogHeldOpenWithoutSharing) {
  const std::wstring dir = scratch / L"HeldLog";
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), NULL));
  HeldFile held(dir + L"\\uninstall.dat");
  ASSERT_TRUE(held.held());
  contents.folders = {"sub"};
  AddEntry(contents, 0, "readme.txt", "read me");
  ExpectFatal(Install(dir), L"Could not write the uninstall file");
  EXPECT_TRUE(FolderExists(dir + L"\\sub")) << "folders come before the log";
  EXPECT_FALSE(FileExists(dir + L"\\readme.txt"));
}

TEST_F(InstallFailure, FolderNameTakenByFile) {
  const std::wstring dir = scratch / L"Taken";
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), NULL));
  WriteText(dir + L"\\help", "a file, not a folder");
  contents.folders = {"help"};
  AddEntry(contents, 0, "help\\index.htm", "help");
  ExpectFatal(Install(dir), L"Could not create folder [2]\n>" + dir + L"\\help");
  EXPECT_FALSE(FileExists(dir + L"\\uninstall.dat"));
}

TEST_F(InstallFailure, FolderWhoseParentIsMissing) {
  const std::wstring dir = scratch / L"Orphan";
  contents.folders = {"missing\\child"};
  ExpectFatal(Install(dir), L"Could not create folder [1]\n>" + dir + L"\\missing\\child");
  EXPECT_TRUE(FolderExists(dir)) << "the installation folder was made first";
  EXPECT_FALSE(FileExists(dir + L"\\uninstall.dat"));
}

TEST_F(InstallFailure, EntryInAFolderOutsideTheList) {
  const std::wstring dir = scratch / L"Unlisted";
  AddEntry(contents, 0, "first.txt", "first");
  AddEntry(contents, 0, "nowhere\\file.txt", "lost");
  ExpectFatal(Install(dir), L"Could not create file\n>" + dir + L"\\nowhere\\file.txt");
  EXPECT_EQ(ReadLog(dir + L"\\uninstall.dat"),
            InterruptedLog(TestPackageLogHeader(), {{L'F', dir + L"\\first.txt"}}, dir));
}

TEST_F(InstallFailure, EmptyInstallationFolder) {
  AddEntry(contents, 0, "stray.txt", "stray");
  ExpectFatal(InstallBytes(PackageBytes(contents), L""), L"Could not create folder [1]\n>");
}

TEST_F(InstallFailure, ShareWithoutServerFolder) {
  ExpectFatal(Install(L"\\\\nosuchserver\\share\\Product"),
              L"Could not create folder [1]\n>\\\\nosuchserver");
}

TEST_F(InstallFailure, FilePathOverThePathLimitBeforeAnythingIsWritten) {
  const std::wstring dir = scratch / L"Long";
  // The name alone fits a name buffer; with the folder in front it passes 259 characters.
  const size_t name_length = 262 - dir.size();
  ASSERT_LT(name_length, 255u);
  const std::string name = std::string(name_length - 4, 'n') + ".txt";
  AddEntry(contents, 0, "short.txt", "fits");
  AddEntry(contents, 0, name, "too long");
  ExpectFatal(Install(dir), L"Could not create file\n>" + dir + L"\\" + Utf16(name));
  EXPECT_FALSE(FolderExists(dir)) << "checked before anything was written";
}

TEST_F(InstallFailure, FolderPathOverThePathLimitIsCutInTheMessage) {
  const std::wstring dir = scratch / L"LongFolder";
  const std::string folder(255, 'f');
  contents.folders = {folder};
  std::wstring full = L"Could not create folder [1]\n>" + dir + L"\\" + Utf16(folder);
  ASSERT_GT(full.size(), 319u);
  ExpectFatal(Install(dir), full.substr(0, 319));
  EXPECT_FALSE(FolderExists(dir));
}

TEST_F(InstallFailure, InstallationFolderWithoutRoomForTheLog) {
  std::wstring dir = scratch / L"";
  dir += std::wstring(250 - dir.size(), L'd');
  ExpectFatal(Install(dir), L"Could not write the uninstall file");
  EXPECT_FALSE(FolderExists(dir));
}

TEST_F(InstallFailure, LinkNameOverItsBufferOnlyWhenTheShortcutIsWanted) {
  const std::wstring dir = scratch / L"LongLink";
  const std::string name = std::string(130, 'l') + ".exe";
  AddEntry(contents, ENTRY_DESKTOP_SHORTCUT, name, "program");
  ExpectFatal(Install(dir, L"/desktop"),
              L"Could not create shortcut\n>" + dir + L"\\" + Utf16(name));
  EXPECT_FALSE(FolderExists(dir));

  // Without "Add to Desktop" no link is made, and the same name installs.
  ExpectOnlyBox(Install(dir, L"/startup /programs"), kSuccessCaption, kSuccessText);
  EXPECT_TRUE(FileExists(dir + L"\\" + Utf16(name)));
}

TEST_F(InstallFailure, ProgramsGroupTakenByFile) {
  const std::wstring dir = scratch / L"Blocked";
  const std::wstring group = SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Blocked 1.0";
  Leftovers leftovers;
  leftovers.AddPath(group);
  WriteText(group, "a file where the group goes");
  contents.product_name = u"Blocked";
  AddEntry(contents, ENTRY_PROGRAMS_SHORTCUT, "app.exe", "program");
  AddEntry(contents, 0, "later.txt", "later");
  ExpectFatal(Install(dir, L"/programs"), L"Could not create folder [2]\n>" + group);
  EXPECT_EQ(ReadLog(dir + L"\\uninstall.dat"),
            InterruptedLog(LogHeaderLine(L"Blocked", L"1.0", L"TestProductWindow"),
                           {{L'F', dir + L"\\app.exe"}}, dir));
  EXPECT_FALSE(FileExists(dir + L"\\later.txt"));
}

TEST_F(InstallFailure, MalformedPackageBeforeAnythingIsWritten) {
  const std::wstring dir = scratch / L"Malformed";
  contents.folders = {"sub"};
  AddEntry(contents, 0, "first.txt", "first");
  AddEntry(contents, 0, "second.txt", "second file's data");
  std::vector<uint8_t> bytes = PackageBytes(contents);
  // Cut inside the last record's data: its size now runs past the package.
  bytes.resize(bytes.size() - 2 - 5);
  ExpectFatal(InstallBytes(bytes, dir), L"Could not extract installation data!");
  EXPECT_FALSE(FolderExists(dir));

  // A folder name whose length byte runs past the package.
  std::vector<uint8_t> folder_list_cut = PackageBytes(TestPackage());
  folder_list_cut.resize(204);
  folder_list_cut.push_back(40);
  folder_list_cut.push_back('x');
  ExpectFatal(InstallBytes(folder_list_cut, dir), L"Could not extract installation data!");
  EXPECT_FALSE(FolderExists(dir));
}

// The uninstaller follows backslashes only and skips a record with "/": a package name
// with one would install a file that no uninstall removes, so setup refuses it whole.
TEST_F(InstallFailure, SlashInAPackageNameBeforeAnythingIsWritten) {
  const std::wstring dir = scratch / L"Slashed";
  TestPackageContents in_entry = TestPackage();
  in_entry.folders = {"docs"};
  AddEntry(in_entry, 0, "docs/readme.txt", "read me");
  TestPackageContents in_folder = TestPackage();
  in_folder.folders = {"docs", "docs/old"};
  AddEntry(in_folder, 0, "docs\\readme.txt", "read me");
  for (const TestPackageContents& slashed : {in_entry, in_folder}) {
    ExpectFatal(InstallBytes(PackageBytes(slashed), dir), L"Could not extract installation data!");
    EXPECT_FALSE(FolderExists(dir));
  }
}

}  // namespace
