// Installing onto a drive that fills up. full_disk_drive.sh mounts a 2 MB tmpfs, maps it
// as a drive of the Wine prefix and names it in FULL_DISK_DRIVE ("X:"); run on its own,
// without that drive, every test here is skipped.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "harness/environment.h"
#include "harness/install_run.h"
#include "harness/leftovers.h"
#include "harness/log_text.h"
#include "harness/message_boxes.h"
#include "harness/package_builder.h"
#include "harness/process.h"
#include "harness/registry.h"
#include "harness/scratch.h"
#include "harness/second_phase.h"
#include "harness/timeouts.h"

namespace {

const wchar_t kDataIntegrity[] = L"Data integrity error!";
const wchar_t kCouldNotCreate[] = L"Could not create file\n>";
const wchar_t kLogNotWritten[] = L"Could not write the uninstall file";

// Each test's small drive, emptied when the test ends (the test is skipped without one),
// and its scratch folder.
class FullDisk : public ::testing::Test {
 protected:
  FullDisk() {
    if (drive.size() == 2) leftovers.AddContentsOf(drive);
  }
  void SetUp() override {
    if (drive.size() != 2) GTEST_SKIP() << "no small drive: run through full_disk_drive.sh";
  }
  // TestPackage() named `name`.
  static TestPackageContents Product(const std::wstring& name) {
    TestPackageContents contents = TestPackage();
    contents.product_name = U16(name);
    return contents;
  }

  // The small drive ("X:"), or empty when the test runs without it.
  const std::wstring drive = EnvironmentValue(L"FULL_DISK_DRIVE");
  Leftovers leftovers;
  ScratchFolder scratch;
};

// Writes a file on the drive until the drive is full; then, when `leave_bytes` is not 0,
// cuts that much off its end again. Returns how many bytes it holds.
ULONGLONG FillDrive(const std::wstring& path, DWORD leave_bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  EXPECT_NE(file, INVALID_HANDLE_VALUE);
  if (file == INVALID_HANDLE_VALUE) return 0;
  std::vector<char> block(64 * 1024, 'f');
  ULONGLONG total = 0;
  for (DWORD size : {64u * 1024u, 4096u, 1u}) {
    for (;;) {
      DWORD written = 0;
      BOOL ok = WriteFile(file, block.data(), size, &written, NULL);
      total += written;
      if (!ok || written != size) break;
    }
  }
  if (leave_bytes != 0 && total > leave_bytes) {
    total -= leave_bytes;
    LARGE_INTEGER end;
    end.QuadPart = (LONGLONG)total;
    SetFilePointerEx(file, end, NULL, FILE_BEGIN);
    SetEndOfFile(file);
  }
  CloseHandle(file);
  return total;
}

std::wstring DriveHeader(const std::wstring& product) {
  return LogHeaderLine(product, L"1.0", L"TestProductWindow");
}

// A product bigger than the drive: the extraction runs out of room in data\big.bin. The
// fatal box comes after the log was completed and closed; the files written so far stay,
// and the uninstaller started from the installation folder removes every one of them.
TEST_F(FullDisk, ExtractionThatFillsTheDriveIsFatalAndTheLogUndoesIt) {
  SecondPhaseCleanup cleanup;
  leftovers.AddKey(UninstallKey(L"Full Disk", L"1.0"));
  const std::wstring dir = drive + L"\\Full Disk";

  TestPackageContents contents = Product(L"Full Disk");
  AddUninstallerEntry(contents, L"uninstall.exe");
  contents.folders = {"data"};
  AddEntry(contents, 0, "readme.txt", "read me");
  AddEntry(contents, 0, "data\\big.bin", std::string(3 * 1024 * 1024, 'b'));
  AddEntry(contents, 0, "after.txt", "never written");
  std::wstring installer = BuildProbeInstaller(scratch.path(), PackageBytes(contents));
  ASSERT_FALSE(installer.empty());

  Child child = StartChild(ProbeCommand(installer, dir, L""), scratch.path().c_str());
  MessageBoxSeen box = WaitForMessageBox(child.pid, kInstallTimeoutMs);
  ASSERT_NE(box.window, (HWND)NULL) << "no message box";
  EXPECT_EQ(box.caption, L"Fatal error");
  // Whether the file cannot even be created or its data does not fit depends on the file
  // system; both are the specified messages, nothing else is.
  bool created = box.text == kDataIntegrity;
  EXPECT_TRUE(created || box.text == kCouldNotCreate + dir + L"\\data\\big.bin")
      << Utf8(box.text);

  // While the box is up the log is already closed (nobody holds it: it opens without
  // sharing) and on the drive, complete as far as the run went, without end marker.
  std::wstring log_path = dir + L"\\uninstall.dat";
  HANDLE log = CreateFileW(log_path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
  EXPECT_NE(log, INVALID_HANDLE_VALUE) << "the log is still open";
  if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
  LogRecords records = {{L'R', UninstallKey(L"Full Disk", L"1.0")},
                        {L'F', dir + L"\\readme.txt"}};
  if (created) records.push_back({L'F', dir + L"\\data\\big.bin"});
  records.push_back({L'F', dir + L"\\uninstall.exe"});
  records.push_back({L'F', dir + L"\\uninstall.dat"});
  records.push_back({L'S', dir + L"\\data"});
  records.push_back({L'S', dir});
  EXPECT_EQ(ReadLog(log_path), LogContents(DriveHeader(L"Full Disk"), records, false));
  PressButton(box.window, IDOK);
  EXPECT_EQ(FinishChild(child, kInstallTimeoutMs), 0u);
  EXPECT_TRUE(FileExists(dir + L"\\readme.txt")) << "files written so far stay";
  EXPECT_FALSE(FileExists(dir + L"\\after.txt"));

  // A later uninstall, as Windows' list of installed programs starts it.
  Child uninstall = StartChild(Quoted(dir + L"\\uninstall.exe") + L" /AUTO",
                               scratch.path().c_str());
  EXPECT_EQ(FinishBothPhases(uninstall, kInstallTimeoutMs), 0u);
  EXPECT_TRUE(FolderContents(drive).empty()) << "the partial file, the uninstaller, the log "
                                               "and both folders are gone";
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE, UninstallKey(L"Full Disk", L"1.0")));
}

// No room even for the log's header: no file is written, since nothing could undo it.
TEST_F(FullDisk, DriveWithoutRoomForTheLogGetsNoFiles) {
  ASSERT_GT(FillDrive(drive + L"\\filler.bin", 0), 1024u * 1024u);
  const std::wstring dir = drive + L"\\No Room";
  TestPackageContents contents = Product(L"No Room");
  AddEntry(contents, 0, "empty.txt", "");

  ExpectOnlyBox(RunInstall(scratch.path(), contents, dir), L"Fatal error", kLogNotWritten);
  EXPECT_FALSE(FileExists(dir + L"\\empty.txt"));
}

// Room for the log's first records only: every file fits (they are empty), but the log
// loses its later records. The run must not report success with a log that cannot undo
// it, and the log gets no end marker.
TEST_F(FullDisk, LogThatLosesRecordsIsFatalNotSuccess) {
  ASSERT_GT(FillDrive(drive + L"\\filler.bin", 4096), 1024u * 1024u);
  const std::wstring dir = drive + L"\\Long Log";
  TestPackageContents contents = Product(L"Long Log");
  // About 400 bytes of log per file: the log outgrows one 4 KB page long before the end.
  for (int i = 0; i < 40; ++i) {
    AddEntry(contents, 0, "file-" + std::to_string(i) + "-" + std::string(180, 'n') + ".txt", "");
  }

  // One box only: no success message after it.
  ExpectOnlyBox(RunInstall(scratch.path(), contents, dir), L"Fatal error", kLogNotWritten);
  std::wstring log = ReadLog(dir + L"\\uninstall.dat");
  EXPECT_EQ(log.compare(0, DriveHeader(L"Long Log").size(), DriveHeader(L"Long Log")), 0)
      << "the header and the first records are kept";
  ASSERT_GE(log.size(), 4u);
  EXPECT_NE(log.substr(log.size() - 4), L"\r\n||") << "no end marker";
}

}  // namespace
