// The uninstaller's log handling in process: reading the log whole, resolving record
// paths, the removal walk and the applications' walk, with the removals redirected to
// recorders, plus deterministic mutation fuzzing of valid logs.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "common/bounded_text.h"
#include "common/installation_identity.h"
#include "harness/guarded_memory.h"
#include "harness/log_text.h"
#include "harness/registration.h"
#include "harness/scratch.h"
#include "harness/shell.h"
#include "uninstall_log/log_reader.h"
#include "uninstaller/installation_scope.h"
#include "uninstaller/log_applications.h"
#include "uninstaller/log_file.h"
#include "uninstaller/log_replay.h"
#include "uninstaller/restart_removal.h"
#include "uninstaller/uninstaller_main.h"

namespace {

// ---- Recorders standing in for the shell's special folders and the removals ----

std::map<int, std::wstring> g_special_folders;

int FakeSpecialFolder(int csidl, wchar_t* out) {
  out[0] = 0;
  auto found = g_special_folders.find(csidl);
  if (found == g_special_folders.end()) return 0;
  lstrcpynW(out, found->second.c_str(), kPathCapacity);
  return 1;
}

struct Applied {
  wchar_t letter;
  std::wstring path;
  bool operator==(const Applied& other) const {
    return letter == other.letter && path == other.path;
  }
};

std::ostream& operator<<(std::ostream& out, const Applied& applied) {
  return out << (char)applied.letter << " " << Utf8(applied.path);
}

std::vector<Applied> g_applied;

RecordOutcome RecordRecord(wchar_t letter, const wchar_t* path) {
  g_applied.push_back({letter, path});
  return RECORD_DONE;
}

std::vector<std::wstring> g_started;

void RecordStart(const wchar_t* path) { g_started.push_back(path); }

void UseFakeFolders() {
  g_special_folders = {{23, L"C:\\Fake\\Programs\\"},
                       {24, L"C:\\Fake\\Startup\\"},
                       {25, L"C:\\Fake\\Desktop\\"},
                       {38, L"C:\\Fake\\Program Files\\"}};
}

std::vector<Applied> Replay(const std::wstring& log) {
  g_applied.clear();
  ReplayLog(log.data(), log.size(), FakeSpecialFolder, RecordRecord);
  return g_applied;
}

std::vector<std::wstring> StartedApplications(const std::wstring& log) {
  g_started.clear();
  LogHeader header;
  size_t after_header = 0;
  if (SplitLogHeader(log.data(), log.size(), &header, &after_header)) {
    RunLogApplications(log.data(), log.size(), after_header, RecordStart);
  }
  return g_started;
}

const wchar_t kInstall[] = L"C:\\Program Files\\KOZ Soft\\Alpha 1.0";

// The example installation: the uninstaller first, help\index.htm, alpha.exe with desktop
// and Programs shortcuts, `log_executables` set. Each record as logged and, where the fake
// folders make it another path, as the replay applies it.
struct ExampleRecord {
  wchar_t letter;
  std::wstring logged, applied;
};
std::vector<ExampleRecord> ExampleRecords() {
  const std::wstring dir = kInstall, group = L"C:\\Fake\\Programs\\Alpha 1.0";
  return {{L'E', dir + L"\\alpha.exe"},
          {L'R', UninstallKey(L"Alpha", L"1.0")},
          {L'F', dir + L"\\help\\index.htm"},
          {L'F', dir + L"\\alpha.exe"},
          {L'F', L"<25>\\alpha.lnk", L"C:\\Fake\\Desktop\\alpha.lnk"},
          {L'F', L"<23>Alpha 1.0\\alpha.lnk", group + L"\\alpha.lnk"},
          {L'F', dir + L"\\uninstall.exe"},
          {L'F', L"<23>Alpha 1.0\\uninstall.lnk", group + L"\\uninstall.lnk"},
          {L'F', dir + L"\\uninstall.dat"},
          {L'S', L"<23>Alpha 1.0", group},
          {L'S', dir + L"\\help"},
          {L'S', dir},
          {L'S', L"C:\\Program Files\\KOZ Soft"},
          {L'S', L"C:\\Program Files"}};
}

std::wstring ExampleLog() {
  LogRecords records;
  for (const ExampleRecord& record : ExampleRecords()) {
    records.push_back({record.letter, record.logged});
  }
  return AlphaLog(records);
}

// ---- ResolveLogPath ----

std::wstring Resolve(const std::wstring& text, bool* ok) {
  wchar_t out[kPathCapacity];
  *ok = ResolveLogPath(text.data(), text.size(), FakeSpecialFolder, out);
  return out;
}

TEST(UninstallerResolveLogPath, PlainPathIsCopied) {
  UseFakeFolders();
  bool ok;
  EXPECT_EQ(Resolve(L"C:\\a\\b.txt", &ok), L"C:\\a\\b.txt");
  EXPECT_TRUE(ok);
}

TEST(UninstallerResolveLogPath, SymbolicPathWithAndWithoutBackslash) {
  UseFakeFolders();
  bool ok;
  EXPECT_EQ(Resolve(L"<25>\\alpha.lnk", &ok), L"C:\\Fake\\Desktop\\alpha.lnk");
  EXPECT_TRUE(ok);
  EXPECT_EQ(Resolve(L"<23>Alpha 1.0\\alpha.lnk", &ok), L"C:\\Fake\\Programs\\Alpha 1.0\\alpha.lnk");
  EXPECT_TRUE(ok);
  EXPECT_EQ(Resolve(L"<23>Alpha 1.0", &ok), L"C:\\Fake\\Programs\\Alpha 1.0");
  EXPECT_TRUE(ok);
  EXPECT_EQ(Resolve(L"<24>\\\\x", &ok), L"C:\\Fake\\Startup\\\\x") << "only one backslash skipped";
  EXPECT_EQ(Resolve(L"<25>", &ok), L"C:\\Fake\\Desktop\\");
  EXPECT_TRUE(ok);
}

TEST(UninstallerResolveLogPath, UnknownSpecialFolderIsNotResolved) {
  UseFakeFolders();
  bool ok = true;
  EXPECT_EQ(Resolve(L"<4>\\victim.txt", &ok), L"");
  EXPECT_FALSE(ok);
  EXPECT_EQ(Resolve(L"<>\\victim.txt", &ok), L"");
  EXPECT_FALSE(ok) << "no number reads as 0, which is not a known folder here";
}

TEST(UninstallerResolveLogPath, MissingClosingBracketIsNotResolved) {
  UseFakeFolders();
  bool ok = true;
  Resolve(L"<25\\alpha.lnk", &ok);
  EXPECT_FALSE(ok);
  Resolve(L"<", &ok);
  EXPECT_FALSE(ok);
}

TEST(UninstallerResolveLogPath, PathsOver259CharactersAreRefused) {
  UseFakeFolders();
  bool ok;
  std::wstring longest = L"C:\\" + std::wstring(256, L'a');
  ASSERT_EQ(longest.size(), 259u);
  EXPECT_EQ(Resolve(longest, &ok), longest);
  EXPECT_TRUE(ok);
  Resolve(longest + L"b", &ok);
  EXPECT_FALSE(ok);

  std::wstring desktop = L"C:\\Fake\\Desktop\\";
  std::wstring rest(259 - desktop.size(), L'x');
  EXPECT_EQ(Resolve(L"<25>\\" + rest, &ok), desktop + rest);
  EXPECT_TRUE(ok);
  Resolve(L"<25>\\" + rest + L"y", &ok);
  EXPECT_FALSE(ok);
}

TEST(UninstallerResolveLogPath, TextHoldingANulIsRefused) {
  UseFakeFolders();
  bool ok = true;
  Resolve(std::wstring(L"C:\\keep\0\\x.txt", 14), &ok);
  EXPECT_FALSE(ok) << "cut at the NUL it would name C:\\keep";
  Resolve(std::wstring(L"<25>\\a\0b", 8), &ok);
  EXPECT_FALSE(ok);
  Resolve(std::wstring(L"<2\0" L"5>\\a", 7), &ok);
  EXPECT_FALSE(ok);
}

// ---- ReplayLog ----

TEST(UninstallerReplay, AppliesEveryRecordInFileOrder) {
  UseFakeFolders();
  std::vector<Applied> expected;
  for (const ExampleRecord& record : ExampleRecords()) {
    expected.push_back({record.letter, record.applied.empty() ? record.logged : record.applied});
  }
  EXPECT_EQ(Replay(ExampleLog()), expected);
}

// The second phase's order: every record but the folder records in file order, then the
// folder records in file order, wherever the log lists them.
TEST(UninstallerReplay, FoldersLastAppliesFolderRecordsAfterAllOthers) {
  UseFakeFolders();
  g_applied.clear();
  std::wstring log = AlphaLog({{L'S', L"C:\\a"},
                               {L'F', L"C:\\a\\x"},
                               {L'S', L"<23>Group"},
                               {L'R', L"Key"},
                               {L'E', L"C:\\a\\e.exe"},
                               {L'S', L"C:\\b"},
                               {L'F', L"<25>\\l.lnk"}});
  ReplayLogFoldersLast(log.data(), log.size(), FakeSpecialFolder, RecordRecord);
  EXPECT_EQ(g_applied, (std::vector<Applied>{{L'F', L"C:\\a\\x"},
                                             {L'R', L"Key"},
                                             {L'E', L"C:\\a\\e.exe"},
                                             {L'F', L"C:\\Fake\\Desktop\\l.lnk"},
                                             {L'S', L"C:\\a"},
                                             {L'S', L"C:\\Fake\\Programs\\Group"},
                                             {L'S', L"C:\\b"}}));
  // A log as setup writes it keeps its own order.
  std::wstring example = ExampleLog();
  std::vector<Applied> in_file_order = Replay(example);
  g_applied.clear();
  ReplayLogFoldersLast(example.data(), example.size(), FakeSpecialFolder, RecordRecord);
  EXPECT_EQ(g_applied, in_file_order);
}

TEST(UninstallerReplay, SpecialFoldersAreResolvedWhenReplayed) {
  UseFakeFolders();
  std::wstring log = AlphaLog({{L'F', L"<25>\\alpha.lnk"}});
  EXPECT_EQ(Replay(log), (std::vector<Applied>{{L'F', L"C:\\Fake\\Desktop\\alpha.lnk"}}));
  g_special_folders[25] = L"D:\\Moved Desktop\\";
  EXPECT_EQ(Replay(log), (std::vector<Applied>{{L'F', L"D:\\Moved Desktop\\alpha.lnk"}}));
}

// Were an unknown folder taken as empty, the rest would name a file relative to the
// working directory.
TEST(UninstallerReplay, UnavailableSpecialFolderSkipsOnlyItsRecord) {
  UseFakeFolders();
  g_special_folders.erase(25);
  EXPECT_EQ(Replay(AlphaLog({{L'F', L"C:\\a"},
                             {L'F', L"<25>\\alpha.lnk"},
                             {L'F', L"<9999>victim.txt"},
                             {L'F', L"<4>victim.txt"},
                             {L'F', L"<25victim.txt"},
                             {L'F', L"C:\\b"}})),
            (std::vector<Applied>{{L'F', L"C:\\a"}, {L'F', L"C:\\b"}}));
}

// Each of these would name something else if taken loosely: a folder without its ">", a
// path cut to 259 characters, HKEY_LOCAL_MACHINE itself, the path before a NUL.
TEST(UninstallerReplay, UnresolvableRecordsAreSkippedAndTheWalkGoesOn) {
  UseFakeFolders();
  std::wstring too_long = L"C:\\" + std::wstring(300, L'z');
  std::wstring keep = L"C:\\inst\\keep.txt";
  EXPECT_EQ(Replay(AlphaLog({{L'F', L"<25\\no bracket"},
                             {L'F', L"<38" + keep},
                             {L'F', too_long},
                             {L'F', keep + std::wstring(300, L' ')},
                             {L'F', L""},
                             {L'R', L""},
                             {L'F', keep + std::wstring(1, L'\0') + L".bak"},
                             {L'S', std::wstring(1, L'\0') + L"C:\\inst"},
                             {L'S', L"C:\\kept going"}})),
            (std::vector<Applied>{{L'S', L"C:\\kept going"}}));
}

TEST(UninstallerReplay, WithoutEndMarkerCompleteRecordsAreApplied) {
  UseFakeFolders();
  std::wstring log = AlphaLog({{L'F', L"C:\\a"}, {L'S', L"C:\\d"}}, false);
  EXPECT_EQ(Replay(log), (std::vector<Applied>{{L'F', L"C:\\a"}, {L'S', L"C:\\d"}}));
  // Cut inside the last record: it is not applied.
  EXPECT_EQ(Replay(log.substr(0, log.size() - 1)),
            (std::vector<Applied>{{L'F', L"C:\\a"}}));
  EXPECT_EQ(Replay(AlphaLog({{L'F', L"C:\\a"}}, false) + L"\r\n|F"),
            (std::vector<Applied>{{L'F', L"C:\\a"}}));
  EXPECT_EQ(Replay(AlphaLog({{L'F', L"C:\\a"}}, false) + L"\r\n|"),
            (std::vector<Applied>{{L'F', L"C:\\a"}}));
}

TEST(UninstallerReplay, EmptyAndHeaderOnlyLogsApplyNothing) {
  UseFakeFolders();
  EXPECT_TRUE(Replay(L"").empty());
  EXPECT_TRUE(Replay(AlphaLog({})).empty());
  EXPECT_TRUE(Replay(AlphaLog({}, false)).empty());
  EXPECT_TRUE(Replay(L"Alpha#1.0").empty());
}

TEST(UninstallerReplay, EndMarkerStopsTheWalk) {
  UseFakeFolders();
  EXPECT_EQ(Replay(AlphaLog({{L'F', L"C:\\a"}}) + L"\r\n|F|C:\\after|"),
            (std::vector<Applied>{{L'F', L"C:\\a"}}));
}

TEST(UninstallerReplay, RecordsSeparatedByOtherTextAreReadTheSame) {
  UseFakeFolders();
  EXPECT_EQ(Replay(L"A#1#W#M|F|C:\\a|junk|S|C:\\d|\n||"),
            (std::vector<Applied>{{L'F', L"C:\\a"}, {L'S', L"C:\\d"}}));
}

// ---- Records applied on the drive ----

// The installation in `folder` as the second phase holds it: its folders held from the
// drive root down and the scope set (header `name` 1.0, or none), special folders resolved
// through the fake table, while the object lives.
class HeldScope {
 public:
  explicit HeldScope(const std::wstring& folder, const wchar_t* name = NULL) {
    wchar_t normal[kPathCapacity];
    EXPECT_TRUE(NormalizeInstallationFolder(folder.c_str(), normal)) << Utf8(folder);
    held_ = HoldInstallationFolders(normal) == HOLD_DONE;
    EXPECT_TRUE(held_) << Utf8(folder);
    LogHeader header = {};
    if (name != NULL) {
      lstrcpynW(header.product_name, name, kLogFieldCapacity);
      lstrcpynW(header.product_version, L"1.0", kLogFieldCapacity);
    }
    SetInstallationScope(normal, name != NULL ? &header : NULL, FakeSpecialFolder);
  }
  ~HeldScope() { ReleaseInstallationFolders(); }
  HeldScope(const HeldScope&) = delete;
  HeldScope& operator=(const HeldScope&) = delete;
  bool held() const { return held_; }

 private:
  bool held_ = false;
};

// Replays `log` as the second phase does for an installation in `folder` (the records in
// its scope, applied through its held folders, folder records last), special folders
// resolved through the fake table.
void ReplayOnTheDrive(const std::wstring& folder, const std::wstring& log) {
  LogHeader header;
  size_t after_header = 0;
  bool has_header = SplitLogHeader(log.data(), log.size(), &header, &after_header);
  HeldScope scope(folder, has_header ? header.product_name : NULL);
  ReplayLogFoldersLast(log.data(), log.size(), FakeSpecialFolder, ApplyInstallationRecord);
}

TEST(UninstallerApplyLogRecord, DeletesFilesAndRemovesOnlyEmptyFolders) {
  UseFakeFolders();
  ScratchFolder scratch;
  std::wstring dir = scratch / L"inst";
  CreateDirectoryW(dir.c_str(), NULL);
  WriteText(dir + L"\\file.txt", "x");
  CreateDirectoryW((dir + L"\\empty").c_str(), NULL);
  CreateDirectoryW((dir + L"\\full").c_str(), NULL);
  WriteText(dir + L"\\full\\user.txt", "mine");

  ReplayOnTheDrive(dir, AlphaLog({{L'F', dir + L"\\file.txt"},
                                  {L'S', dir + L"\\empty"},
                                  {L'S', dir + L"\\full"},
                                  {L'F', dir + L"\\missing.txt"}}));  // nothing to report

  EXPECT_FALSE(FileExists(dir + L"\\file.txt"));
  EXPECT_FALSE(FolderExists(dir + L"\\empty"));
  EXPECT_TRUE(FileExists(dir + L"\\full\\user.txt"));
}

// Makes the folders `folders` below `dir` ("" for `dir` itself), in order, then the files
// `files` holding `content`; each name begins with a backslash.
void MakeTree(const std::wstring& dir, std::initializer_list<const wchar_t*> folders,
              std::initializer_list<const wchar_t*> files, const std::string& content) {
  for (const wchar_t* folder : folders) CreateDirectoryW((dir + folder).c_str(), NULL);
  for (const wchar_t* file : files) WriteText(dir + file, content);
}

// Opens `path` as a program using it would: reading, sharing reading only, so that it
// cannot be deleted meanwhile.
HANDLE OpenForReadingOnly(const std::wstring& path) {
  return CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
}

// What each record's outcome says, as the second phase counts it: a file in use stays (no
// folder on Wine keeps users out, so nothing is scheduled), a folder kept by it stays, a
// folder kept by a file no record names is no failure, and gone is gone.
TEST(UninstallerApplyLogRecord, OutcomesCountWhatStaysBecauseOfTheInstallation) {
  ScratchFolder scratch;
  const std::wstring dir = scratch / L"inst";
  UseFakeFolders();
  MakeTree(dir, {L"", L"\\busy", L"\\saved"},
           {L"\\busy\\open.txt", L"\\saved\\user.txt", L"\\gone.txt"}, "x");
  HANDLE open = OpenForReadingOnly(dir + L"\\busy\\open.txt");
  ASSERT_NE(open, INVALID_HANDLE_VALUE);
  {
    HeldScope scope(dir);
    EXPECT_EQ(ApplyInstallationRecord(L'F', (dir + L"\\gone.txt").c_str()), RECORD_DONE);
    EXPECT_EQ(ApplyInstallationRecord(L'F', (dir + L"\\never.txt").c_str()), RECORD_DONE);
    EXPECT_EQ(ApplyInstallationRecord(L'F', (dir + L"\\busy\\open.txt").c_str()), RECORD_STAYS);
    EXPECT_EQ(ApplyInstallationRecord(L'S', (dir + L"\\busy").c_str()), RECORD_STAYS);
    EXPECT_EQ(ApplyInstallationRecord(L'S', (dir + L"\\saved").c_str()), RECORD_KEPT);
    EXPECT_EQ(ApplyInstallationRecord(L'S', dir.c_str()), RECORD_STAYS);
    EXPECT_EQ(ApplyInstallationRecord(L'S', scratch.path().c_str()), RECORD_KEPT)
        << "a folder above the installation is no failure";
  }
  CloseHandle(open);
  EXPECT_TRUE(FileExists(dir + L"\\busy\\open.txt"));
  EXPECT_TRUE(FileExists(dir + L"\\saved\\user.txt"));
  EXPECT_FALSE(FileExists(dir + L"\\gone.txt"));

  // A replay adds the outcomes up.
  ReplayTally tally = {0, 0};
  std::wstring log = AlphaLog({{L'F', dir + L"\\busy\\open.txt"}, {L'S', dir + L"\\busy"}});
  HANDLE again = OpenForReadingOnly(dir + L"\\busy\\open.txt");
  {
    HeldScope scope(dir);
    ReplayLog(log.data(), log.size(), FakeSpecialFolder, ApplyInstallationRecord, &tally);
  }
  CloseHandle(again);
  EXPECT_EQ(tally.stays, 2u);
  EXPECT_EQ(tally.at_restart, 0u);
}

// Which owners and access lists keep users from renaming an object on the way to a file
// that is removed at restart by its path. Built from their text form, so the rule is
// tested where the file system keeps no access lists (Wine).
TEST(RestartRemoval, OnlyTheSystemAndAdministratorsMayRenameOrRemove) {
  const std::wstring installer = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
  struct Case {
    const wchar_t* what;
    std::wstring sddl;
    bool kept_out;
  } cases[] = {
      {L"administrators' folder, users read", L"O:BAD:P(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)",
       true},
      {L"the system's own folder, creator owner for what is made inside",
       L"O:" + installer + L"D:P(A;;FA;;;" + installer +
           L")(A;;0x1301bf;;;BA)(A;;0x1200a9;;;BU)(A;OICIIO;GA;;;CO)",
       true},
      {L"a drive root: users may add folders, and change only what is made inside",
       L"O:SYD:P(A;;FA;;;BA)(A;;FA;;;SY)(A;;0x100004;;;AU)(A;OICIIO;SDGXGWGR;;;AU)", true},
      {L"a denial grants nothing", L"O:BAD:P(D;;FA;;;BU)(A;;FA;;;BA)", true},
      {L"owned by a user, who may change the list", L"O:S-1-5-21-1-2-3-1001D:P(A;;FA;;;SY)", false},
      {L"users may delete it", L"O:BAD:P(A;;FA;;;BA)(A;;SD;;;BU)", false},
      {L"users may delete what it holds", L"O:BAD:P(A;;FA;;;BA)(A;;0x40;;;AU)", false},
      {L"everyone may change its list", L"O:BAD:P(A;;FA;;;BA)(A;;WD;;;WD)", false},
      {L"everyone may take it over", L"O:BAD:P(A;;FA;;;BA)(A;;WO;;;WD)", false},
      {L"users may do all", L"O:BAD:P(A;;GA;;;BU)", false},
      {L"creator owner in force", L"O:BAD:P(A;;FA;;;BA)(A;;FA;;;CO)", false},
      {L"no owner", L"D:P(A;;FA;;;BA)", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.what));
    PSECURITY_DESCRIPTOR descriptor = NULL;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        c.sddl.c_str(), SDDL_REVISION_1, &descriptor, NULL));
    EXPECT_EQ(KeepsUsersOut(descriptor), c.kept_out);
    LocalFree(descriptor);
  }
  EXPECT_FALSE(KeepsUsersOut(NULL));

  // No access list at all: everyone may do everything.
  SECURITY_DESCRIPTOR open;
  ASSERT_TRUE(InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION));
  PSID administrators = NULL;
  ASSERT_TRUE(ConvertStringSidToSidW(L"BA", &administrators));
  ASSERT_TRUE(SetSecurityDescriptorOwner(&open, administrators, FALSE));
  ASSERT_TRUE(SetSecurityDescriptorDacl(&open, TRUE, NULL, FALSE));
  EXPECT_FALSE(KeepsUsersOut(&open));
  LocalFree(administrators);
}

TEST(UninstallerApplyLogRecord, OtherLettersChangeNothing) {
  UseFakeFolders();
  ScratchFolder scratch;
  std::wstring file = scratch / L"keep.exe";
  WriteText(file, "x");
  HeldScope scope(scratch.path());
  for (wchar_t letter : {L'E', L'f', L's', L'X', L'|', L'\0'}) {
    ApplyInstallationRecord(letter, file.c_str());
    EXPECT_TRUE(FileExists(file)) << "letter " << (int)letter;
  }
}

// The key goes only when it names this installation's uninstaller (the attack tests show
// the other case).
TEST(UninstallerApplyLogRecord, DeletesTheRegistryKey) {
  UseFakeFolders();
  ScratchFolder scratch;
  TestUninstallKey key(L"ReplayTest", L"1.0", scratch / L"uninstall.exe");
  ASSERT_TRUE(key.exists());
  HeldScope scope(scratch.path(), L"ReplayTest");
  ApplyInstallationRecord(L'R', key.subkey().c_str());
  EXPECT_FALSE(key.exists());
}

TEST(UninstallerApplyLogRecord, ReplayRemovesAnInstallationUnderAFakeSpecialFolder) {
  ScratchFolder scratch;
  std::wstring dir = scratch / L"inst";
  std::wstring group = scratch / L"programs\\Alpha 1.0";
  CreateDirectoryW(dir.c_str(), NULL);
  CreateDirectoryW((scratch / L"programs").c_str(), NULL);
  CreateDirectoryW(group.c_str(), NULL);
  WriteText(dir + L"\\alpha.exe", "x");
  ASSERT_TRUE(MakeShellLink(dir + L"\\alpha.exe", group + L"\\alpha.lnk"));
  g_special_folders = {{23, scratch / L"programs\\"}};

  ReplayOnTheDrive(dir, AlphaLog({{L'F', dir + L"\\alpha.exe"},
                                  {L'F', L"<23>Alpha 1.0\\alpha.lnk"},
                                  {L'S', L"<23>Alpha 1.0"},
                                  {L'S', dir}}));
  EXPECT_FALSE(FolderExists(group));
  EXPECT_FALSE(FolderExists(dir));
  EXPECT_TRUE(FolderExists(scratch / L"programs")) << "the special folder itself is not logged";
}

// Folder records are applied after every other record: a folder listed before the files in
// it is removed all the same, since its files are gone by its turn. (Applied in file order,
// it would still be full at its turn and stay.)
TEST(UninstallerApplyLogRecord, FolderRecordsApplyAfterTheOthersInFileOrder) {
  UseFakeFolders();
  ScratchFolder scratch;
  std::wstring dir = scratch / L"Alpha 1.0";
  CreateDirectoryW(dir.c_str(), NULL);
  CreateDirectoryW((dir + L"\\help").c_str(), NULL);
  CreateDirectoryW((dir + L"\\help\\deep").c_str(), NULL);
  WriteText(dir + L"\\help\\index.htm", "help");
  WriteText(dir + L"\\help\\deep\\page.htm", "page");
  WriteText(dir + L"\\alpha.exe", "program");
  ReplayOnTheDrive(dir, AlphaLog({{L'S', dir},
                                  {L'S', dir + L"\\help\\deep"},
                                  {L'S', dir + L"\\help"},
                                  {L'F', dir + L"\\help\\index.htm"},
                                  {L'F', dir + L"\\help\\deep\\page.htm"},
                                  {L'F', dir + L"\\alpha.exe"}}));
  EXPECT_FALSE(FileExists(dir + L"\\help\\index.htm"));
  EXPECT_FALSE(FileExists(dir + L"\\alpha.exe"));
  EXPECT_FALSE(FolderExists(dir + L"\\help")) << "removed after its file";
  // The folder records themselves keep their order: the installation folder came first,
  // while "help" was still in it, and stays.
  EXPECT_TRUE(FolderExists(dir));
}

TEST(UninstallerApplyLogRecord, FolderHoldingAUserFileStaysWithItsParents) {
  UseFakeFolders();
  ScratchFolder scratch;
  std::wstring dir = scratch / L"Alpha 1.0";
  MakeTree(dir, {L"", L"\\help", L"\\help\\notes"},
           {L"\\help\\index.htm", L"\\alpha.exe", L"\\uninstall.exe"}, "installed");
  WriteText(dir + L"\\help\\notes\\mine.txt", "the user's");
  ReplayOnTheDrive(dir, AlphaLog({{L'F', dir + L"\\help\\index.htm"},
                                  {L'F', dir + L"\\alpha.exe"},
                                  {L'F', dir + L"\\uninstall.exe"},
                                  {L'S', dir + L"\\help\\notes"},
                                  {L'S', dir + L"\\help"},
                                  {L'S', dir}}));
  EXPECT_TRUE(FileExists(dir + L"\\help\\notes\\mine.txt"));
  EXPECT_FALSE(FileExists(dir + L"\\help\\index.htm"));
  EXPECT_FALSE(FileExists(dir + L"\\alpha.exe"));
  EXPECT_FALSE(FileExists(dir + L"\\uninstall.exe"));
}

// ---- Reading the log ----

// Reads "uninstall.dat" in `folder` as the phases do, through the folder's handle.
LogReadResult ReadLogIn(const std::wstring& folder, LogText* log) {
  HANDLE handle = CreateFileW(folder.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, NULL);
  EXPECT_NE(handle, INVALID_HANDLE_VALUE) << Utf8(folder);
  LogReadResult result = ReadInstallationLogIn(handle, log);
  if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  return result;
}

TEST(UninstallerLogFile, ReadsTheWholeFile) {
  ScratchFolder scratch;
  std::wstring path = scratch / L"uninstall.dat";
  std::wstring text = ExampleLog();
  WriteLog(path, text);
  LogText log;
  ASSERT_EQ(ReadLogIn(scratch.path(), &log), LOG_READ_COMPLETE);
  EXPECT_EQ(std::wstring(log.text, log.length), text);
  FreeLogText(&log);
  EXPECT_EQ(log.text, nullptr);
  EXPECT_TRUE(FileExists(path)) << "reading leaves the log in place";
}

TEST(UninstallerLogFile, EmptyAndOddSizedFiles) {
  ScratchFolder scratch;
  std::wstring path = scratch / L"uninstall.dat";
  WriteBytes(path, "", 0);
  LogText log;
  ASSERT_EQ(ReadLogIn(scratch.path(), &log), LOG_READ_COMPLETE);
  EXPECT_EQ(log.length, 0u);
  FreeLogText(&log);

  WriteBytes(path, "a\0b\0c\0d", 7);
  ASSERT_EQ(ReadLogIn(scratch.path(), &log), LOG_READ_COMPLETE);
  EXPECT_EQ(std::wstring(log.text, log.length), L"abc") << "a last odd byte is no unit";
  FreeLogText(&log);
}

TEST(UninstallerLogFile, MissingLockedOrOtherThanAFileIsNotOpened) {
  ScratchFolder scratch;
  std::wstring path = scratch / L"uninstall.dat";
  LogText log;
  EXPECT_EQ(ReadLogIn(scratch.path(), &log), LOG_READ_NOT_OPENED);
  EXPECT_EQ(log.text, nullptr);
  EXPECT_EQ(ReadInstallationLogIn(NULL, &log), LOG_READ_NOT_OPENED) << "no folder held";
  WriteText(path, "x#y#z#");
  HANDLE held = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            NULL, OPEN_EXISTING, 0, NULL);
  EXPECT_EQ(ReadLogIn(scratch.path(), &log), LOG_READ_NOT_OPENED) << "open for writing";
  CloseHandle(held);
  ASSERT_TRUE(DeleteFileW(path.c_str()));
  ASSERT_TRUE(CreateDirectoryW(path.c_str(), NULL));
  EXPECT_EQ(ReadLogIn(scratch.path(), &log), LOG_READ_NOT_OPENED) << "a folder";
}

TEST(UninstallerLogFile, FailedReadIsIncomplete) {
  ScratchFolder scratch;
  std::wstring path = scratch / L"uninstall.dat";
  WriteText(path, "Alpha#1.0#AlphaWnd#");
  HANDLE write_only = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
  ASSERT_NE(write_only, INVALID_HANDLE_VALUE);
  LogText log;
  EXPECT_EQ(ReadOpenLogFile(write_only, &log), LOG_READ_INCOMPLETE);
  EXPECT_EQ(log.text, nullptr);
  CloseHandle(write_only);
}

TEST(UninstallerLogFile, ShortReadIsIncomplete) {
  ScratchFolder scratch;
  std::wstring path = scratch / L"uninstall.dat";
  std::wstring text = ExampleLog();
  WriteLog(path, text);
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  // Reading from the middle gives fewer bytes than the file's size.
  SetFilePointer(file, 10, NULL, FILE_BEGIN);
  LogText log;
  EXPECT_EQ(ReadOpenLogFile(file, &log), LOG_READ_INCOMPLETE);
  EXPECT_EQ(log.text, nullptr);
  CloseHandle(file);
}

// ---- The applications' walk (first phase) ----

TEST(UninstallerApplications, StartsEveryExecutableRecordInFileOrder) {
  std::wstring log = AlphaLog({{L'E', L"C:\\a\\one.exe"},
                          {L'E', L"%WINDIR%\\two.exe"},
                          {L'F', L"C:\\a\\one.exe"},
                          {L'E', L"<25>\\three.exe"}});
  EXPECT_EQ(StartedApplications(log),
            (std::vector<std::wstring>{L"C:\\a\\one.exe", L"%WINDIR%\\two.exe", L"<25>\\three.exe"}))
      << "texts are used as they stand";
}

TEST(UninstallerApplications, NoExecutableRecordsStartNothing) {
  EXPECT_TRUE(StartedApplications(AlphaLog({{L'F', L"C:\\a.exe"}, {L'S', L"C:\\"}})).empty());
  EXPECT_TRUE(StartedApplications(AlphaLog({})).empty());
}

TEST(UninstallerApplications, UnfinishedLongAndNulRecordsAreNotStarted) {
  std::wstring log = AlphaLog({{L'E', L"C:\\" + std::wstring(257, L'x')},
                          {L'E', std::wstring(L"C:\\a\0b.exe", 10)},
                          {L'E', L""},
                          {L'E', L"C:\\ok.exe"}},
                         false) +
                     L"\r\n|E|C:\\unfinished.exe";
  EXPECT_EQ(StartedApplications(log), (std::vector<std::wstring>{L"C:\\ok.exe"}));
}

TEST(UninstallerApplications, ExecutableRecordsAfterTheEndMarkerAreNotStarted) {
  EXPECT_EQ(StartedApplications(AlphaLog({{L'E', L"C:\\a.exe"}}) + L"\r\n|E|C:\\b.exe|"),
            (std::vector<std::wstring>{L"C:\\a.exe"}));
}

// ---- Choosing the phase ----

UninstallerPhase Choose(std::vector<std::wstring> arguments) {
  std::vector<wchar_t*> pointers;
  for (std::wstring& argument : arguments) pointers.push_back(&argument[0]);
  return ChoosePhase((int)pointers.size(), pointers.data());
}

TEST(UninstallerChoosePhase, ByArgumentCountAndAuto) {
  EXPECT_EQ(Choose({L"uninstall.exe"}), PHASE_FIRST_INTERACTIVE);
  EXPECT_EQ(Choose({L"uninstall.exe", L"/AUTO"}), PHASE_FIRST_AUTO);
  EXPECT_EQ(Choose({L"uninstall.exe", L"x/AUTOy"}), PHASE_FIRST_AUTO);
  EXPECT_EQ(Choose({L"uninstall.exe", L"/auto"}), PHASE_FIRST_INTERACTIVE);
  EXPECT_EQ(Choose({L"uninstall.exe", L"/PHASE2"}), PHASE_FIRST_INTERACTIVE);
  EXPECT_EQ(Choose({L"uninstall.exe", L"/AUTO", L"x"}), PHASE_SECOND);
  EXPECT_EQ(Choose({L"uninstall.exe", L"C:\\a", L"/PHASE2", L"/SILENT", L"x"}), PHASE_SECOND);
}

// ---- Mutation fuzzing ----

// An independent reading of the record walk: what a removal may touch in `log`.
bool OracleResolve(const std::wstring& text, std::wstring* path) {
  if (text.find(L'\0') != std::wstring::npos) return false;
  if (text.empty() || text[0] != L'<') {
    *path = text;
  } else {
    size_t close = text.find(L'>', 1);
    if (close == std::wstring::npos) return false;
    size_t i = 1;
    bool negative = false;
    if (i < close && (text[i] == L'-' || text[i] == L'+')) negative = text[i++] == L'-';
    long long number = 0;
    for (; i < close && text[i] >= L'0' && text[i] <= L'9'; ++i) {
      number = number * 10 + (text[i] - L'0');
      if (number > 0x7FFFFFFF) number = 0x7FFFFFFF;
    }
    int csidl = (int)(negative ? -number : number);
    auto folder = g_special_folders.find(csidl);
    if (folder == g_special_folders.end()) return false;
    std::wstring rest = text.substr(close + 1);
    if (!rest.empty() && rest[0] == L'\\') rest.erase(0, 1);
    *path = folder->second + rest;
  }
  return path->size() <= 259;
}

struct OracleRecord {
  wchar_t letter;
  std::wstring text;
};

std::vector<OracleRecord> OracleRecords(const std::wstring& log, size_t from) {
  std::vector<OracleRecord> records;
  size_t opener = log.find(L'|', from);
  while (opener != std::wstring::npos && opener + 1 < log.size()) {
    wchar_t letter = log[opener + 1];
    if (letter == L'|') break;
    size_t start = opener + 3;
    if (start >= log.size()) break;
    size_t close = log.find(L'|', start);
    if (close == std::wstring::npos) break;
    records.push_back({letter, log.substr(start, close - start)});
    opener = log.find(L'|', close + 1);
  }
  return records;
}

std::vector<Applied> OracleReplay(const std::wstring& log) {
  std::vector<Applied> applied;
  for (const OracleRecord& record : OracleRecords(log, 0)) {
    std::wstring path;
    if (OracleResolve(record.text, &path) && !path.empty()) applied.push_back({record.letter, path});
  }
  return applied;
}

std::vector<std::wstring> OracleApplications(const std::wstring& log) {
  std::vector<std::wstring> started;
  size_t hashes = 0, after_header = 0;
  for (size_t i = 0; i < log.size() && hashes < 3; ++i) {
    if (log[i] == L'#' && ++hashes == 3) after_header = i + 1;
  }
  if (hashes < 3) return started;
  for (const OracleRecord& record : OracleRecords(log, after_header)) {
    if (record.letter == L'E' && !record.text.empty() && record.text.size() <= 259 &&
        record.text.find(L'\0') == std::wstring::npos) {
      started.push_back(record.text);
    }
  }
  return started;
}

std::wstring Mutate(std::wstring log, std::mt19937& random) {
  static const wchar_t kInteresting[] = {L'|', L'|', L'|', L'<', L'>', L'\\', L'#', L'E', L'F',
                                         L'R', L'S', L'\r', L'\n', L'\0', L'2', L'5', L'a',
                                         L' ', L'-', 0xD800, 0xFFFF};
  static const wchar_t* kFragments[] = {L"|F|", L"|E|", L"|S|", L"|R|", L"||", L"<25>",
                                        L"<23>", L"<", L">", L"\\", L"#", L"<99999999999>",
                                        L"<-23>", L"|F|<25>\\", L"\r\n|E|C:\\x.exe|"};
  auto position = [&](size_t size) {
    return size == 0 ? (size_t)0 : (size_t)(random() % (size + 1));
  };
  int count = 1 + random() % 4;
  for (int n = 0; n < count; ++n) {
    size_t at = position(log.size());
    switch (random() % 8) {
      case 0:  // replace one unit
        if (at < log.size()) log[at] = kInteresting[random() % (sizeof(kInteresting) / 2)];
        break;
      case 1:  // insert one unit
        log.insert(at, 1, kInteresting[random() % (sizeof(kInteresting) / 2)]);
        break;
      case 2:  // delete a run
        if (at < log.size()) log.erase(at, 1 + random() % 8);
        break;
      case 3:  // truncate
        log.resize(at);
        break;
      case 4: {  // duplicate a slice elsewhere
        size_t from = position(log.size());
        size_t length = random() % 40;
        std::wstring slice = log.substr(std::min(from, log.size()), length);
        log.insert(position(log.size()), slice);
        break;
      }
      case 5:  // flip a bit
        if (at < log.size()) log[at] ^= (wchar_t)(1u << (random() % 16));
        break;
      case 6:  // insert a record-like fragment
        log.insert(at, kFragments[random() % (sizeof(kFragments) / sizeof(kFragments[0]))]);
        break;
      default: {  // overwrite a run with arbitrary units
        size_t length = random() % 12;
        for (size_t i = 0; i < length && at + i < log.size(); ++i) log[at + i] = (wchar_t)random();
        break;
      }
    }
  }
  return log;
}

std::vector<std::wstring> FuzzSeeds() {
  std::wstring dir = kInstall;
  std::wstring run_once = L"C:\\users\\me\\Temp\\KOZ_Soft_Alpha";
  return {
      ExampleLog(),
      AlphaLog({{L'F', run_once + L"\\alpha.exe"},
           {L'F', run_once + L"\\uninstall.exe"},
           {L'F', run_once + L"\\uninstall.dat"},
           {L'S', run_once}}),
      AlphaLog({{L'E', dir + L"\\a.exe"}, {L'E', dir + L"\\b.exe"}, {L'F', L"<24>\\a.lnk"}}, false),
      AlphaLog({}),
      L"",
  };
}

TEST(UninstallerFuzz, MutatedLogsRemoveOnlyWhatCompleteRecordsName) {
  UseFakeFolders();
  std::mt19937 random(20240607);
  std::vector<std::wstring> seeds = FuzzSeeds();
  const int kCases = 50000;
  int records_seen = 0;
  for (int n = 0; n < kCases; ++n) {
    std::wstring log = Mutate(seeds[n % seeds.size()], random);
    // Reading one unit past the log faults at once.
    GuardedMemory guarded(log.data(), log.size() * sizeof(wchar_t));
    const wchar_t* text = (const wchar_t*)guarded.begin();

    g_applied.clear();
    ReplayLog(text, log.size(), FakeSpecialFolder, RecordRecord);
    std::vector<Applied> expected = OracleReplay(log);
    records_seen += (int)g_applied.size();
    if (g_applied != expected) {
      FAIL() << "case " << n << ": replay differs from the complete records of the log\n"
             << Utf8(log);
    }

    // Folders last: the same records, those of other kinds first, each kind in file order.
    g_applied.clear();
    ReplayLogFoldersLast(text, log.size(), FakeSpecialFolder, RecordRecord);
    std::stable_partition(expected.begin(), expected.end(),
                          [](const Applied& applied) { return applied.letter != L'S'; });
    if (g_applied != expected) {
      FAIL() << "case " << n << ": folders-last replay differs\n" << Utf8(log);
    }

    g_started.clear();
    LogHeader header;
    size_t after_header = 0;
    if (SplitLogHeader(text, log.size(), &header, &after_header)) {
      RunLogApplications(text, log.size(), after_header, RecordStart);
    }
    if (g_started != OracleApplications(log)) {
      FAIL() << "case " << n << ": started programs differ\n" << Utf8(log);
    }
  }
  EXPECT_GT(records_seen, kCases) << "the mutations keep most records intact";
}

}  // namespace
