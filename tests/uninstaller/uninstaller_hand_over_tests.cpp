// In process: the hand-over file between the phases, the removal of a held folder through
// its parent, and where a Run Once's private folder may lie. The phases around them are
// tested with the real uninstall.exe (uninstaller_second_phase_tests, the attack tests).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "common/held_files.h"
#include "common/held_folders.h"
#include "common/installation_identity.h"
#include "common/private_folder.h"
#include "harness/environment.h"
#include "harness/scratch.h"
#include "harness/unix_side.h"
#include "uninstaller/hand_over.h"
#include "uninstaller/held_removal.h"
#include "uninstaller/run_once_folder.h"

namespace {

// A folder opened by its path for listing and as a parent, closed when it goes.
struct OpenFolder {
  explicit OpenFolder(const std::wstring& path)
      : handle(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL)) {}
  ~OpenFolder() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  HANDLE handle;
};

HandOver SampleHandOver() {
  HandOver hand_over = {};
  hand_over.marker = kHandOverMarker;
  hand_over.first_phase_id = 1234;
  hand_over.installation = {0x1234ABCD, 7, 42};
  lstrcpynW(hand_over.event_name, L"koz-01234567-hand-over", kHandOverEventCapacity);
  return hand_over;
}

TEST(HandOverFile, IsReadBackAsWritten) {
  ScratchFolder scratch;
  OpenFolder folder(scratch.path());
  ASSERT_NE(folder.handle, INVALID_HANDLE_VALUE);
  HandOver written = SampleHandOver();
  ASSERT_TRUE(WriteHandOverIn(folder.handle, written));
  EXPECT_EQ(ReadBytes(scratch / HAND_OVER_FILE_NAME).size(), sizeof(HandOver));
  HandOver read = {};
  ASSERT_TRUE(ReadHandOverIn(folder.handle, &read));
  EXPECT_EQ(read.first_phase_id, 1234u);
  EXPECT_TRUE(SameFileIdentity(read.installation, written.installation));
  EXPECT_EQ(std::wstring(read.event_name), L"koz-01234567-hand-over");
}

// Anything but one whole hand-over naming a folder is no hand-over: the second phase then
// removes nothing.
TEST(HandOverFile, AnythingElseIsRefused) {
  ScratchFolder scratch;
  OpenFolder folder(scratch.path());
  const std::wstring path = scratch / HAND_OVER_FILE_NAME;
  HandOver read;
  EXPECT_FALSE(ReadHandOverIn(folder.handle, &read)) << "none there";

  HandOver sample = SampleHandOver();
  std::string bytes((const char*)&sample, sizeof(sample));
  WriteBytes(path, bytes.data(), bytes.size() - 1);
  EXPECT_FALSE(ReadHandOverIn(folder.handle, &read)) << "one byte short";
  WriteBytes(path, (bytes + "x").data(), bytes.size() + 1);
  EXPECT_FALSE(ReadHandOverIn(folder.handle, &read)) << "one byte more";

  HandOver other_marker = sample;
  other_marker.marker ^= 1;
  HandOver no_identity = sample;
  no_identity.installation = {0, 0, 0};
  HandOver unterminated = sample;
  for (wchar_t& unit : unterminated.event_name) unit = L'x';
  for (const HandOver& wrong : {other_marker, no_identity, unterminated}) {
    WriteBytes(path, &wrong, sizeof(wrong));
    EXPECT_FALSE(ReadHandOverIn(folder.handle, &read));
  }

  // A folder under its name is not read either.
  DeleteFileW(path.c_str());
  ASSERT_TRUE(CreateDirectoryW(path.c_str(), NULL));
  EXPECT_FALSE(ReadHandOverIn(folder.handle, &read));
}

TEST(HandOverEvent, EachHasAFreshNameOfItsOwn) {
  HandOver first = {}, second = {};
  HANDLE one = CreateHandOverEvent(&first);
  HANDLE two = CreateHandOverEvent(&second);
  ASSERT_NE(one, (HANDLE)NULL);
  ASSERT_NE(two, (HANDLE)NULL);
  EXPECT_NE(std::wstring(first.event_name), std::wstring(second.event_name));
  // The second phase finds it by the name the hand-over gives, and signals it.
  HANDLE opened = OpenEventW(EVENT_MODIFY_STATE, FALSE, first.event_name);
  ASSERT_NE(opened, (HANDLE)NULL) << Utf8(first.event_name);
  EXPECT_EQ(WaitForSingleObject(one, 0), (DWORD)WAIT_TIMEOUT);
  SetEvent(opened);
  EXPECT_EQ(WaitForSingleObject(one, 0), (DWORD)WAIT_OBJECT_0);
  CloseHandle(opened);
  CloseHandle(one);
  CloseHandle(two);
}

// ---- Removing a held folder ----

// "a\b" below a scratch folder, held from the drive root down.
struct HeldPair {
  ScratchFolder scratch;
  std::wstring a = scratch / L"a", b = a + L"\\b";
  HeldFolders held = {};
  HeldPair() {
    CreateDirectoryW(a.c_str(), NULL);
    CreateDirectoryW(b.c_str(), NULL);
    EXPECT_EQ(HoldFolderLevels(&held, b.c_str(), 0, true, NULL), HOLD_DONE);
  }
  ~HeldPair() { ReleaseHeldFolders(&held); }
};

TEST(HeldRemoval, AnEmptyFolderGoesThroughItsParent) {
  HeldPair pair;
  unsigned count = pair.held.count;
  EXPECT_FALSE(RemoveDirectoryW(pair.b.c_str())) << "held, it cannot be removed by others";
  EXPECT_EQ(RemoveDeepestHeldFolder(&pair.held), FOLDER_REMOVED);
  EXPECT_FALSE(FolderExists(pair.b));
  EXPECT_EQ(pair.held.count, count - 1) << "its parent is held still";
  EXPECT_FALSE(RemoveDirectoryW(pair.a.c_str()));
}

TEST(HeldRemoval, AFolderThatIsNotEmptyStaysHeld) {
  HeldPair pair;
  WriteText(pair.b + L"\\mine.txt", "the user's");
  unsigned count = pair.held.count;
  EXPECT_EQ(RemoveDeepestHeldFolder(&pair.held), FOLDER_KEPT);
  EXPECT_TRUE(FileExists(pair.b + L"\\mine.txt"));
  EXPECT_EQ(pair.held.count, count);
  EXPECT_FALSE(MoveFileW(pair.b.c_str(), (pair.a + L"\\moved").c_str())) << "held again";
}

// Renamed away on the Unix side (which no hold stops under Wine) and replaced by another
// empty folder: that one is not the folder held, so it stays, and is not held either.
TEST(HeldRemoval, AnotherFolderUnderItsNameStaysAndIsLetGo) {
  HeldPair pair;
  if (UnixPath(pair.b).empty()) GTEST_SKIP() << "needs Wine's Unix side";
  ASSERT_TRUE(SwapOnUnixSide(pair.b, pair.a + L"\\moved"));
  ASSERT_TRUE(CreateDirectoryW(pair.b.c_str(), NULL));
  unsigned count = pair.held.count;
  EXPECT_EQ(RemoveDeepestHeldFolder(&pair.held), FOLDER_LET_GO);
  EXPECT_TRUE(FolderExists(pair.b)) << "the other folder was removed";
  EXPECT_TRUE(FolderExists(pair.a + L"\\moved"));
  EXPECT_EQ(pair.held.count, count - 1);
}

TEST(HeldRemoval, ARootOrNothingHeldIsNotRemoved) {
  HeldFolders held = {};
  EXPECT_EQ(RemoveDeepestHeldFolder(&held), FOLDER_NOT_HELD);
  wchar_t windows[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 3u);
  std::wstring root(windows, 3);
  root.pop_back();  // "C:"
  ASSERT_EQ(HoldFolderLevels(&held, (root + L"\\").c_str(), 0, true, NULL), HOLD_DONE);
  EXPECT_EQ(held.count, 1u);
  EXPECT_EQ(RemoveDeepestHeldFolder(&held), FOLDER_NOT_HELD);
  EXPECT_EQ(held.count, 1u);
  ReleaseHeldFolders(&held);
}

// ---- Where a Run Once's private folder may lie ----

TEST(RunOnceFolder, LiesDirectlyInTheUsersOrTheSystemsTemporaryFolder) {
  ScratchFolder scratch;
  TemporaryFolderAt temp(scratch.path());
  wchar_t windows[MAX_PATH];
  ASSERT_GT(GetSystemWindowsDirectoryW(windows, MAX_PATH), 0u);
  const std::wstring system_temp = std::wstring(windows) + L"\\Temp";
  wchar_t found[kPathCapacity];
  for (const std::wstring& home : {scratch.path(), system_temp}) {
    SCOPED_TRACE(Utf8(home));
    wchar_t normal[kPathCapacity];
    ASSERT_TRUE(NormalizeInstallationFolder(home.c_str(), normal));
    const std::wstring private_folder = std::wstring(normal) + L"\\koz-0123abcd";
    EXPECT_TRUE(FindRunOncePrivateFolder((private_folder + L"\\KOZ_Soft_Alpha").c_str(),
                                         L"Alpha", found));
    EXPECT_EQ(std::wstring(found), private_folder);
    // Another product's name, a folder not named as a private folder, one level deeper.
    EXPECT_FALSE(FindRunOncePrivateFolder((private_folder + L"\\KOZ_Soft_Beta").c_str(),
                                          L"Alpha", found));
    EXPECT_FALSE(FindRunOncePrivateFolder(
        (std::wstring(normal) + L"\\koz-0123abcx\\KOZ_Soft_Alpha").c_str(), L"Alpha", found));
    EXPECT_FALSE(FindRunOncePrivateFolder(
        (private_folder + L"\\deeper\\KOZ_Soft_Alpha").c_str(), L"Alpha", found));
  }
  EXPECT_FALSE(FindRunOncePrivateFolder(
      (scratch / L"elsewhere\\koz-0123abcd\\KOZ_Soft_Alpha").c_str(), L"Alpha", found));
}

}  // namespace
