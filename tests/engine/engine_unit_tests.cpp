// Focused tests of the engine's parts, run inside the test process: link names, the
// touched-folder list as the log receives it, shell links read back, and the registration
// key with its values.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include "common/bounded_text.h"
#include "common/held_files.h"
#include "engine/folders.h"
#include "engine/registration.h"
#include "engine/shortcuts.h"
#include "harness/leftovers.h"
#include "harness/log_text.h"
#include "harness/package_builder.h"
#include "harness/registration.h"
#include "harness/scratch.h"
#include "harness/shell.h"
#include "harness/unix_side.h"
#include "package/package.h"
#include "uninstall_log/log_writer.h"

namespace {

TEST(LinkName, ReplacesTheLastExtension) {
  wchar_t name[kLinkNameCapacity];
  ASSERT_TRUE(BuildLinkName(L"C:\\Program Files\\Alpha\\alpha.exe", name, kLinkNameCapacity));
  EXPECT_STREQ(name, L"alpha.lnk");
  ASSERT_TRUE(BuildLinkName(L"C:\\x\\tool.v2.htm", name, kLinkNameCapacity));
  EXPECT_STREQ(name, L"tool.v2.lnk");
  ASSERT_TRUE(BuildLinkName(L"C:\\dir.d\\readme", name, kLinkNameCapacity));
  EXPECT_STREQ(name, L"readme.lnk") << "a dot in a folder name does not count";
  ASSERT_TRUE(BuildLinkName(L"plain", name, kLinkNameCapacity));
  EXPECT_STREQ(name, L"plain.lnk");
}

TEST(LinkName, RefusesANameOverItsBuffer) {
  wchar_t name[kLinkNameCapacity];
  std::wstring fits = L"C:\\x\\" + std::wstring(123, L'a') + L".exe";  // 127 characters
  ASSERT_TRUE(BuildLinkName(fits.c_str(), name, kLinkNameCapacity));
  EXPECT_EQ(lstrlenW(name), 127);
  std::wstring over = L"C:\\x\\" + std::wstring(124, L'a') + L".exe";
  EXPECT_FALSE(BuildLinkName(over.c_str(), name, kLinkNameCapacity));
  EXPECT_STREQ(name, L"");
  std::wstring no_extension = L"C:\\x\\" + std::wstring(124, L'a');
  EXPECT_FALSE(BuildLinkName(no_extension.c_str(), name, kLinkNameCapacity));
}

// Runs `steps` with a log open in `scratch`, which the run holds as a trusted folder, and
// returns what the touched folders wrote. Every folder held is let go afterwards.
template <typename Steps>
std::wstring FolderLog(const ScratchFolder& scratch, Steps steps) {
  std::wstring path = scratch / L"folders.dat";
  EXPECT_TRUE(OpenUninstallLog(path.c_str()));
  EXPECT_TRUE(HoldTrustedFolder(scratch.path().c_str()));
  steps();
  ReleaseRunFolders();
  WriteTouchedFolders();
  CloseUninstallLog();
  return ReadLog(path);
}

// The "S" records of `folders`, as the log lists them.
std::wstring SRecords(const std::vector<std::wstring>& folders) {
  LogRecords records;
  AddFolderRecords(records, folders);
  return LogContents(L"", records, false);
}

TEST(TouchedFolders, PathIsCreatedParentsFirstAndLoggedChildrenFirst) {
  ScratchFolder scratch;
  const std::wstring deep = scratch / L"A\\B\\C";
  std::wstring log = FolderLog(scratch, [&] { CreateFolderPath(deep.c_str()); });
  EXPECT_TRUE(FolderExists(deep));
  std::vector<std::wstring> chain = FolderChain(deep);
  ASSERT_GE(chain.size(), 4u);
  EXPECT_EQ(chain[chain.size() - 3], scratch / L"A");
  EXPECT_EQ(log, SRecords(chain));
  EXPECT_EQ(g_touched_folders.head, nullptr);
  EXPECT_EQ(g_touched_folders.tail, nullptr);
}

// A folder ensured twice in one run is recorded once, under the name first given: one that
// existed before (met again in lower case), one the run made, and one logged under a
// symbolic name (met again in another case).
TEST(TouchedFolders, FolderEnsuredTwiceIsRecordedOnceUnderItsFirstName) {
  ScratchFolder scratch;
  const std::wstring existing = scratch / L"Existing", fresh = scratch / L"Fresh";
  const std::wstring group = scratch / L"Group 1.0";
  ASSERT_TRUE(CreateDirectoryW(existing.c_str(), NULL));
  std::wstring lower = existing;
  CharLowerW(&lower[0]);
  const struct {
    std::wstring path, name, path_again, name_again;
  } cases[] = {{existing, existing, lower, lower},
               {fresh, fresh, fresh, fresh},
               {group, L"<23>Group 1.0", group, L"<23>group 1.0"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.name));
    std::wstring log = FolderLog(scratch, [&] {
      EnsureFolder(c.path.c_str(), c.name.c_str());
      EnsureFolder(c.path_again.c_str(), c.name_again.c_str());
    });
    EXPECT_TRUE(FolderExists(c.path));
    EXPECT_EQ(log, SRecords({c.name}));
  }
}

TEST(TouchedFolders, SingleSeparatorPathEnsuresOnlyItself) {
  ScratchFolder scratch;
  std::wstring log = FolderLog(scratch, [&] { CreateFolderPath(L"C:\\windows"); });
  EXPECT_EQ(log, SRecords({L"C:\\windows"}));
}

TEST(TouchedFolders, EmptyListWritesNothing) {
  ScratchFolder scratch;
  EXPECT_EQ(FolderLog(scratch, [] {}), L"");
}

// Another user's process swaps a package folder the run holds for a link, on the Unix side
// (Wine lets a Unix process rename a folder a Windows process holds; Windows refuses the
// rename outright). The run's files still go into the folder it holds, never through the
// link, and a folder ensured again by that name is refused as a link.
TEST(HeldFolders, FilesGoIntoTheHeldFolderWhenItsNameIsSwappedForALink) {
  ScratchFolder scratch;
  const std::wstring install = scratch / L"inst", bin = install + L"\\bin";
  const std::wstring victim = scratch / L"victim";
  ASSERT_TRUE(CreateDirectoryW(victim.c_str(), NULL));
  FolderLog(scratch, [&] {
    CreateFolderPath(install.c_str());
    EnsureFolder(bin.c_str(), bin.c_str());
    ASSERT_TRUE(RunUnixScript("mv " + ShellQuoted(UnixPath(bin)) + " " +
                              ShellQuoted(UnixPath(bin) + ".moved") + " && ln -s " +
                              ShellQuoted(UnixPath(victim)) + " " + ShellQuoted(UnixPath(bin))));
    HANDLE file = CreateFileInHeldFolder((bin + L"\\app.exe").c_str());
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    HANDLE again = INVALID_HANDLE_VALUE;
    EXPECT_EQ(HoldFolderIn(HeldFolderFor(install.c_str()), L"bin", 3, &again), HELD_LINK);
  });
  EXPECT_FALSE(FileExists(victim + L"\\app.exe"));
  EXPECT_TRUE(FileExists(bin + L".moved\\app.exe"));
}

// A name already there in a folder the run holds is replaced only when it is a plain file
// with no other name; through a folder's handle, names Win32 would change keep their form,
// so the run never makes them (the package check refuses them first).
TEST(HeldFolders, PlainFileIsReplacedThroughItsFolder) {
  ScratchFolder scratch;
  const std::wstring install = scratch / L"inst";
  FolderLog(scratch, [&] {
    CreateFolderPath(install.c_str());
    WriteText(install + L"\\old.txt", "old bytes");
    HANDLE file = CreateFileInHeldFolder((install + L"\\old.txt").c_str());
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(file, "new", 3, &written, NULL);
    CloseHandle(file);
    EXPECT_EQ(CreateFileInHeldFolder((install + L"\\sub\\x.txt").c_str()), INVALID_HANDLE_VALUE)
        << "a folder that is not there is not made on the way";
  });
  EXPECT_EQ(FileText(install + L"\\old.txt"), "new");
}

TEST(ShellLink, ReadsBackTargetFolderAndShowCommand) {
  ScratchFolder scratch;
  const std::wstring target = scratch / L"tool.exe";
  WriteText(target, "program");
  const std::wstring link = scratch / L"tool.lnk";
  ASSERT_TRUE(HoldTrustedFolder(scratch.path().c_str()));
  ASSERT_TRUE(CreateShellLink(target.c_str(), link.c_str()));
  ShellLinkSeen seen = ReadShellLink(link);
  ASSERT_TRUE(seen.loaded);
  EXPECT_EQ(seen.target, target);
  EXPECT_EQ(seen.working_folder, scratch.path());
  EXPECT_EQ(seen.arguments, L"");
  EXPECT_EQ(seen.show_command, SW_SHOWNORMAL);

  // Saving again over the same name replaces the link.
  const std::wstring other = scratch / L"tool.htm";
  WriteText(other, "<html></html>");
  ASSERT_TRUE(CreateShellLink(other.c_str(), link.c_str()));
  EXPECT_EQ(ReadShellLink(link).target, other);
  ReleaseRunFolders();
}

TEST(ShellLink, UnwritableLinkIsNotReported) {
  ScratchFolder scratch;
  const std::wstring target = scratch / L"tool.exe";
  EXPECT_FALSE(CreateShellLink(target.c_str(), (scratch / L"missing\\tool.lnk").c_str()));
  EXPECT_FALSE(FileExists(scratch / L"missing\\tool.lnk"));
}

// Points the package view at a package built in memory, as LocatePackage would.
class PackageInMemory {
 public:
  explicit PackageInMemory(const TestPackageContents& contents) : bytes_(PackageBytes(contents)) {
    g_package.header = bytes_.data();
    g_package.cursor = bytes_.data() + kStoredHeaderSize;
    g_package.payload_length = (DWORD)bytes_.size() - kStoredHeaderSize;
    g_package.end = bytes_.data() + bytes_.size();
  }
  ~PackageInMemory() { g_package = PackageView(); }

 private:
  std::vector<uint8_t> bytes_;
};

TEST(Registration, WritesTheKeyItsFourValuesAndTheRecord) {
  ScratchFolder scratch;
  TestPackageContents contents = TestPackage();
  contents.product_name = u"Engine Unit";
  contents.product_version = u"3.1";
  PackageInMemory package(contents);
  const std::wstring key = UninstallKey(L"Engine Unit", L"3.1");
  Leftovers leftovers;
  leftovers.AddKey(key);


  const std::wstring log = scratch / L"registration.dat";
  ASSERT_TRUE(OpenUninstallLog(log.c_str()));
  RegisterUninstaller(L"C:\\Program Files\\Engine Unit\\uninstall.exe");
  CloseUninstallLog();
  EXPECT_EQ(ReadLog(log), LogContents(L"", {{L'R', key}}, false));

  ExpectRegistered(L"Engine Unit", L"3.1", L"C:\\Program Files\\Engine Unit\\uninstall.exe");

  // The data sizes count the terminator.
  HKEY opened;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(RegQueryValueExW(opened, L"Publisher", NULL, NULL, NULL, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, sizeof(L"KOZ Soft"));
  RegCloseKey(opened);
}

TEST(Shortcuts, GroupIsCreatedRecordedAndLinksLoggedSymbolically) {
  ScratchFolder scratch;
  TestPackageContents contents = TestPackage();
  contents.product_name = u"Shortcut Unit";
  PackageInMemory package(contents);
  const std::wstring desktop = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
  const std::wstring startup = SpecialFolder(CSIDL_COMMON_STARTUP);
  const std::wstring group = SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\Shortcut Unit 1.0";
  Leftovers leftovers;
  leftovers.AddPath(desktop + L"\\unit_tool.lnk");
  leftovers.AddPath(startup + L"\\unit_readme.lnk");
  leftovers.AddPath(group);
  const std::wstring tool = scratch / L"unit_tool.exe";
  const std::wstring page = scratch / L"unit_tool.htm";
  const std::wstring readme = scratch / L"unit_readme";

  std::wstring log = FolderLog(scratch, [&] {
    CreateShortcutInSpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY, tool.c_str());
    CreateShortcutInSpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY, page.c_str());
    CreateShortcutInSpecialFolder(CSIDL_COMMON_STARTUP, readme.c_str());
    CreateShortcutInSpecialFolder(CSIDL_COMMON_PROGRAMS, tool.c_str());
    CreateShortcutInSpecialFolder(CSIDL_COMMON_PROGRAMS, readme.c_str());
  });
  EXPECT_EQ(log, LogContents(L"",
                         {{L'F', L"<25>\\unit_tool.lnk"},
                          {L'F', L"<25>\\unit_tool.lnk"},
                          {L'F', L"<24>\\unit_readme.lnk"},
                          {L'F', L"<23>Shortcut Unit 1.0\\unit_tool.lnk"},
                          {L'F', L"<23>Shortcut Unit 1.0\\unit_readme.lnk"},
                          {L'S', L"<23>Shortcut Unit 1.0"}},
                         false));
  // The second desktop link of the same base name replaced the first.
  EXPECT_EQ(ReadShellLink(desktop + L"\\unit_tool.lnk").target, page);
  EXPECT_EQ(ReadShellLink(startup + L"\\unit_readme.lnk").target, readme);
  EXPECT_EQ(ReadShellLink(group + L"\\unit_tool.lnk").target, tool);
  EXPECT_EQ(ReadShellLink(group + L"\\unit_readme.lnk").working_folder, scratch.path());
}

}  // namespace
