// The rules setup and the uninstaller share, in common/, one table each: the installation
// folder's normal form, the shape of paths from packages and logs, the uninstall command's
// quoting, and held folders (a held level cannot be renamed; a link is refused).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/held_files.h"
#include "common/held_folders.h"
#include "common/installation_identity.h"
#include "common/path_syntax.h"
#include "harness/scratch.h"
#include "harness/unix_side.h"
#include "packer/windows/windows_text.h"

namespace {

std::wstring Normal(const std::wstring& folder) {
  wchar_t out[kPathCapacity];
  return NormalizeInstallationFolder(folder.c_str(), out) ? out : L"(refused)";
}

TEST(InstallationFolder, NormalFormTable) {
  ScratchFolder scratch;
  const std::wstring made = scratch / L"Long Folder Name";
  ASSERT_TRUE(CreateDirectoryW(made.c_str(), NULL));
  wchar_t short_form[kPathCapacity];
  ASSERT_GT(GetShortPathNameW(made.c_str(), short_form, kPathCapacity), 0u);
  const struct {
    std::wstring given, normal;
  } cases[] = {
      {short_form, made},                                  // 8.3 becomes long
      {made + L"\\", made},                                // trailing backslash goes
      {made + L"\\\\\\", made},                            // all of them
      {L"C:\\", L"C:\\"},                                  // a drive root keeps its own
      {L"c:\\", L"c:\\"},
      {L"C:\\X\\..\\Y\\.\\Z", L"C:\\Y\\Z"},                // no "." or ".." parts
      {L"C:\\Missing Part\\Deeper", L"C:\\Missing Part\\Deeper"},  // not there: as given
      {L"\\\\server\\share\\dir", L"\\\\server\\share\\dir"},
      {L"C:\\Trailing dots...", L"C:\\Trailing dots"},     // the system drops them
      {L"relative\\dir", L"(refused)"},
      {L"C:relative", L"(refused)"},
      {L"\\rooted", L"(refused)"},
      {L"\\\\?\\C:\\device", L"(refused)"},
      {L"", L"(refused)"},
      {L"C:\\" + std::wstring(300, L'x'), L"(refused)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.given));
    EXPECT_EQ(Normal(c.given), c.normal);
  }
}

TEST(PathSyntax, NamesBelowAFolderTable) {
  const struct {
    const wchar_t* name;
    bool below, plain;
  } cases[] = {
      {L"readme.txt", true, true},
      {L"help\\en\\index.htm", true, true},
      {L"..\\evil.txt", false, false},
      {L"sub\\..\\..\\evil", false, false},
      {L"C:\\evil", false, false},
      {L"\\evil", false, false},
      {L"a\\\\b", false, false},           // an empty part
      {L"stream.txt:hidden", false, false},
      {L"sub/evil.txt", true, false},     // "/" is a separator to Win32, never in a name
      {L"readme.", true, false},          // Win32 drops the dot
      {L"readme ", true, false},          // and the space
      {L"dir.\\file", true, false},
      {L"CON", true, false},
      {L"aux.txt", true, false},
      {L"Nul .log", true, false},
      {L"com9", true, false},
      {L"LPT1.x.y", true, false},
      {L"COM10", true, true},             // no device
      {L"console.txt", true, true},
      {L"star*.txt", true, false},
      {L"what?.txt", true, false},
      {L"tab\tname", true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(Utf8(c.name));
    size_t length = (size_t)lstrlenW(c.name);
    EXPECT_EQ(IsPathBelowFolder(c.name, length), c.below);
    EXPECT_EQ(IsPlainWindowsPath(c.name, length), c.plain);
  }
}

TEST(UninstallCommand, QuotedAndReadBack) {
  wchar_t command[kPathCapacity + 2], read[kPathCapacity];
  ASSERT_TRUE(FormatUninstallCommand(L"C:\\Program Files\\A B\\uninstall.exe", command,
                                     kPathCapacity + 2));
  EXPECT_STREQ(command, L"\"C:\\Program Files\\A B\\uninstall.exe\"");
  ASSERT_TRUE(ReadUninstallCommand(command, read));
  EXPECT_STREQ(read, L"C:\\Program Files\\A B\\uninstall.exe");
  for (const wchar_t* refused : {L"C:\\x\\uninstall.exe", L"\"C:\\x\\uninstall.exe",
                                 L"\"a\" \"b\"", L"\"\""}) {
    SCOPED_TRACE(Utf8(refused));
    EXPECT_FALSE(ReadUninstallCommand(refused, read));
  }
  EXPECT_FALSE(FormatUninstallCommand(L"C:\\x", command, 4)) << "no room";
  EXPECT_STREQ(command, L"");
}

TEST(TrailingBackslash, RootKeepsItsOwn) {
  const struct {
    const wchar_t *given, *kept;
  } cases[] = {{L"C:\\", L"C:\\"}, {L"C:\\\\", L"C:\\"}, {L"C:\\x\\", L"C:\\x"},
               {L"C:\\x\\\\", L"C:\\x"}, {L"\\\\s\\x\\", L"\\\\s\\x"}, {L"", L""}};
  for (const auto& c : cases) {
    wchar_t path[kPathCapacity];
    lstrcpyW(path, c.given);
    RemoveTrailingBackslash(path);
    EXPECT_STREQ(path, c.kept) << Utf8(c.given);
  }
}

// A held level cannot be renamed by another Windows program, though files can still be
// moved into it; a level that is a link (made on the Unix side, as Wine cannot make one)
// is refused, and nothing below it is held.
TEST(HeldFolders, HeldLevelCannotBeRenamedAndALinkIsRefused) {
  ScratchFolder scratch;
  const std::wstring outer = scratch / L"outer", inner = outer + L"\\inner";
  ASSERT_TRUE(CreateDirectoryW(outer.c_str(), NULL));
  ASSERT_TRUE(CreateDirectoryW(inner.c_str(), NULL));
  HeldFolders held = {};
  ASSERT_EQ(HoldFolderLevels(&held, inner.c_str(), 0, true, NULL), HOLD_DONE);
  EXPECT_FALSE(MoveFileW(outer.c_str(), (scratch / L"moved").c_str()));
  EXPECT_FALSE(MoveFileW(inner.c_str(), (outer + L"\\moved").c_str()));
  WriteText(scratch / L"incoming.txt", "moved in");
  EXPECT_TRUE(MoveFileW((scratch / L"incoming.txt").c_str(), (inner + L"\\incoming.txt").c_str()))
      << "held levels share writing";
  ReleaseHeldFolders(&held);
  EXPECT_TRUE(MoveFileW(inner.c_str(), (outer + L"\\renamed").c_str())) << "let go";

  const std::wstring victim = scratch / L"victim", link = outer + L"\\link";
  ASSERT_TRUE(CreateDirectoryW(victim.c_str(), NULL));
  ASSERT_TRUE(RunUnixScript("ln -s " + ShellQuoted(UnixPath(victim)) + " " +
                            ShellQuoted(UnixPath(outer) + "/link")));
  size_t stopped = 0;
  EXPECT_EQ(HoldFolderLevels(&held, (link + L"\\below").c_str(), 0, true, &stopped), HOLD_LINK);
  EXPECT_EQ(stopped, link.size());
  ReleaseHeldFolders(&held);
  HANDLE folder = CreateFileW(outer.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
  ASSERT_NE(folder, INVALID_HANDLE_VALUE);
  EXPECT_EQ(DeleteFileIn(folder, L"link", 4), HELD_LINK) << "a link is never deleted through";
  EXPECT_EQ(RemoveFolderIn(folder, L"link", 4, NULL), HELD_LINK);
  EXPECT_EQ(DeleteFileIn(folder, L"..", 2), HELD_FAILED);
  CloseHandle(folder);
  DeleteFileW(link.c_str());
}

// A folder goes only when empty, told from its own listing: one holding a file whose name
// takes 255 units (so "." and ".." and that name fill a listing's first batch) or only a
// folder stays, whole; an empty one goes, and so does one emptied afterwards.
TEST(HeldFiles, AFolderIsRemovedOnlyWhenItsOwnListingIsEmpty) {
  ScratchFolder scratch;
  const std::wstring long_name(255, L'n');
  struct Case {
    const wchar_t* folder;
    std::wstring inside;  // a file, or a folder when it ends with a backslash
  } cases[] = {{L"long", long_name}, {L"short", L"a"}, {L"nested", L"sub\\"}};
  HANDLE parent = CreateFileW(scratch.path().c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, NULL);
  ASSERT_NE(parent, INVALID_HANDLE_VALUE);
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.folder));
    const std::wstring folder = scratch / c.folder, inside = folder + L"\\" + c.inside;
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), NULL));
    if (inside.back() == L'\\') {
      ASSERT_TRUE(CreateDirectoryW(inside.c_str(), NULL));
    } else {
      WriteText(inside, "x");
    }
    EXPECT_EQ(RemoveFolderIn(parent, c.folder, lstrlenW(c.folder), NULL), HELD_NOT_EMPTY);
    EXPECT_TRUE(FolderExists(folder));
    EXPECT_EQ(FolderContents(folder).size(), 1u);
    if (inside.back() == L'\\') {
      ASSERT_TRUE(RemoveDirectoryW(inside.c_str()));
    } else {
      ASSERT_TRUE(DeleteFileW(inside.c_str()));
    }
    EXPECT_EQ(RemoveFolderIn(parent, c.folder, lstrlenW(c.folder), NULL), HELD_DONE);
    EXPECT_FALSE(FolderExists(folder));
  }
  EXPECT_EQ(RemoveFolderIn(parent, L"never", 5, NULL), HELD_MISSING);
  CloseHandle(parent);
}

}  // namespace
