// The uninstaller's temporary copy: each hand-over makes a fresh private folder below the
// temporary folder, copies the uninstaller into it and starts the second phase there.
// Nothing already in the temporary folder is reused, replaced or started, and without a
// private folder there is no hand-over.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <set>
#include <memory>
#include <string>
#include <vector>

#include "common/private_folder.h"
#include "harness/environment.h"
#include "harness/installation.h"
#include "harness/leftovers.h"
#include "harness/message_boxes.h"
#include "harness/process.h"
#include "harness/process_view.h"
#include "harness/scratch.h"
#include "harness/second_phase.h"
#include "harness/start_records.h"
#include "harness/timeouts.h"
#include "uninstaller/relaunch.h"

namespace {

const wchar_t kCopyName[] = L"koz_uninstaller.exe";

std::wstring FileName(const std::wstring& path) { return path.substr(path.rfind(L'\\') + 1); }
std::wstring Parent(const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); }

// The handle that holds a private folder, closed when it goes.
struct Hold {
  HANDLE handle = INVALID_HANDLE_VALUE;
  ~Hold() { Close(); }
  void Close() {
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    handle = INVALID_HANDLE_VALUE;
  }
};

// ---- The private folder, in process ----

TEST(PrivateFolder, NamesAreDistinctAndWellFormed) {
  std::set<std::wstring> names;
  for (unsigned attempt = 0; attempt < kPrivateFolderAttempts; ++attempt) {
    wchar_t name[16];
    FormatPrivateFolderName(0x12345678, attempt, name);
    EXPECT_TRUE(IsPrivateFolderName(name)) << Utf8(name);
    names.insert(name);
  }
  EXPECT_EQ(names.size(), kPrivateFolderAttempts);
  wchar_t first[16], other[16];
  FormatPrivateFolderName(1, 0, first);
  FormatPrivateFolderName(2, 0, other);
  EXPECT_NE(std::wstring(first), std::wstring(other)) << "the seed changes the names";
}

// The access list as the uninstaller builds it. Wine accepts it when the folder is made but
// keeps no access lists on files, so it cannot be read back from the folder here.
TEST(PrivateFolder, AccessListAdmitsOnlyAdministratorsAndSystem) {
  PSECURITY_DESCRIPTOR descriptor = NULL;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
      ADMINISTRATORS_ONLY_SDDL, SDDL_REVISION_1, &descriptor, NULL));
  SID_IDENTIFIER_AUTHORITY nt_authority = {SECURITY_NT_AUTHORITY};
  PSID administrators = NULL, system = NULL;
  ASSERT_TRUE(AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                       DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0,
                                       &administrators));
  ASSERT_TRUE(AllocateAndInitializeSid(&nt_authority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0,
                                       0, 0, 0, &system));

  // Owned by Administrators: an unelevated process of the same user holds no owner's
  // right to rewrite the list.
  PSID owner = NULL;
  BOOL defaulted = FALSE;
  ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor, &owner, &defaulted));
  ASSERT_NE(owner, (PSID)NULL);
  EXPECT_TRUE(EqualSid(owner, administrators));

  // Protected: nothing inherited from the temporary folder, where the user may do anything.
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED);

  BOOL present = FALSE;
  PACL acl = NULL;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted));
  ASSERT_TRUE(present);
  ASSERT_NE(acl, (PACL)NULL) << "a NULL list would admit everybody";
  ASSERT_EQ(acl->AceCount, 2u);
  PSID expected[] = {system, administrators};
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    SCOPED_TRACE(i);
    ACCESS_ALLOWED_ACE* ace = NULL;
    ASSERT_TRUE(GetAce(acl, i, (void**)&ace));
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE)
        << "the copy inside gets the same list";
    EXPECT_EQ(ace->Mask, (DWORD)FILE_ALL_ACCESS);
    EXPECT_TRUE(EqualSid((PSID)&ace->SidStart, expected[i]));
  }
  FreeSid(administrators);
  FreeSid(system);
  LocalFree(descriptor);
}

// The licence document's folder as an elevated setup builds it: the same list, and read
// and list access (never write) for the user who started setup, whose unelevated browser
// opens the document.
TEST(PrivateFolder, LicenceFolderIsReadableByTheUserWhoStartedSetup) {
  ASSERT_TRUE(RunsAsAdministrator()) << "Wine runs its programs elevated";
  PSECURITY_DESCRIPTOR descriptor = NULL;
  ASSERT_TRUE(BuildPrivateFolderDescriptor(PRIVATE_READABLE_BY_USER, &descriptor));
  BOOL present = FALSE, defaulted = FALSE;
  PACL acl = NULL;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) && acl);
  ASSERT_EQ(acl->AceCount, 3u);
  ACCESS_ALLOWED_ACE* ace = NULL;
  ASSERT_TRUE(GetAce(acl, 2, (void**)&ace));
  EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
  EXPECT_EQ(ace->Mask, (DWORD)(FILE_GENERIC_READ | FILE_GENERIC_EXECUTE));
  HANDLE token = NULL;
  BYTE user[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
  DWORD size = 0;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token) &&
              GetTokenInformation(token, TokenUser, user, sizeof(user), &size));
  CloseHandle(token);
  EXPECT_TRUE(EqualSid((PSID)&ace->SidStart, ((TOKEN_USER*)user)->User.Sid));
  LocalFree(descriptor);
}

TEST(PrivateFolder, IsMadeFreshBelowTheTemporaryFolder) {
  ScratchFolder scratch;
  TemporaryFolderAt temp(scratch.path());
  // Wine runs every program with an administrator's token: the access list is applied.
  EXPECT_TRUE(RunsAsAdministrator());
  wchar_t first[MAX_PATH], second[MAX_PATH];
  Hold first_hold, second_hold;
  ASSERT_TRUE(CreatePrivateFolder(first, 20, &first_hold.handle));
  ASSERT_TRUE(CreatePrivateFolder(second, 20, &second_hold.handle));
  for (const wchar_t* folder : {first, second}) {
    SCOPED_TRACE(Utf8(folder));
    EXPECT_TRUE(FolderExists(folder));
    EXPECT_EQ(Parent(folder), scratch.path());
    EXPECT_TRUE(IsPrivateFolderName(FileName(folder)));
  }
  EXPECT_NE(std::wstring(first), std::wstring(second));

  // Held from its creation: nobody renames it away (to slip another folder or a link in
  // under its name) or removes it, while files can be made inside.
  std::wstring moved = scratch / L"moved";
  EXPECT_FALSE(MoveFileW(first, moved.c_str()));
  EXPECT_FALSE(RemoveDirectoryW(first));
  WriteText(std::wstring(first) + L"\\inside.txt", "x");
  EXPECT_TRUE(FileExists(std::wstring(first) + L"\\inside.txt"));
  first_hold.Close();
  EXPECT_TRUE(MoveFileW(first, moved.c_str())) << "only the hold kept it in place";
}

TEST(PrivateFolder, TakenNamesAreNeverReused) {
  ScratchFolder scratch;
  TemporaryFolderAt temp(scratch.path());
  const DWORD seed = 0xC0FFEE;
  wchar_t name[16];
  // Someone got there first: a folder with a file in it under the first name, a file
  // under the second.
  FormatPrivateFolderName(seed, 0, name);
  std::wstring taken_folder = scratch / name;
  ASSERT_TRUE(CreateDirectoryW(taken_folder.c_str(), NULL));
  WriteText(taken_folder + L"\\" + kCopyName, "planted");
  FormatPrivateFolderName(seed, 1, name);
  std::wstring taken_file = scratch / name;
  WriteText(taken_file, "a file");

  wchar_t folder[MAX_PATH];
  Hold hold;
  ASSERT_TRUE(CreatePrivateFolderFromSeed(seed, folder, 20, &hold.handle));
  FormatPrivateFolderName(seed, 2, name);
  EXPECT_EQ(std::wstring(folder), scratch / name);
  EXPECT_TRUE(FolderExists(folder));
  std::vector<unsigned char> planted = ReadBytes(taken_folder + L"\\" + kCopyName);
  EXPECT_EQ(std::string(planted.begin(), planted.end()), "planted");
  EXPECT_FALSE(FolderExists(taken_file));
}

TEST(PrivateFolder, EveryNameTakenMeansNoFolder) {
  ScratchFolder scratch;
  TemporaryFolderAt temp(scratch.path());
  const DWORD seed = 7;
  for (unsigned attempt = 0; attempt < kPrivateFolderAttempts; ++attempt) {
    wchar_t name[16];
    FormatPrivateFolderName(seed, attempt, name);
    ASSERT_TRUE(CreateDirectoryW((scratch / name).c_str(), NULL));
  }
  wchar_t folder[MAX_PATH] = L"unchanged";
  Hold hold;
  EXPECT_FALSE(CreatePrivateFolderFromSeed(seed, folder, 20, &hold.handle));
  EXPECT_EQ(std::wstring(folder), L"");
  EXPECT_EQ(hold.handle, INVALID_HANDLE_VALUE);
}

TEST(PrivateFolder, MissingOrOverlongTemporaryFolderMeansNoFolder) {
  ScratchFolder scratch;
  wchar_t folder[MAX_PATH];
  Hold hold;
  {
    TemporaryFolderAt temp(scratch / L"missing");
    EXPECT_FALSE(CreatePrivateFolder(folder, 20, &hold.handle));
    EXPECT_EQ(std::wstring(folder), L"");
  }
  {
    // Room for the folder but not for the name that is to follow inside it.
    std::wstring deep = scratch.path();
    while (deep.size() < 220) {
      deep += L"\\deep";
      ASSERT_TRUE(CreateDirectoryW(deep.c_str(), NULL));
    }
    TemporaryFolderAt temp(deep);
    // The longest allowed: deep + "\koz-12345678" + "\" + room fills 259 characters.
    unsigned room = 259 - (unsigned)deep.size() - 14;
    EXPECT_TRUE(CreatePrivateFolder(folder, room, &hold.handle));
    EXPECT_EQ(lstrlenW(folder) + 1 + room, 259u);
    hold.Close();
    EXPECT_FALSE(CreatePrivateFolder(folder, room + 1, &hold.handle));
    EXPECT_EQ(std::wstring(folder), L"");
  }
}

// ---- The hand-over, with the real uninstall.exe ----

// An installation folder holding uninstall.exe, a program and the log that names them,
// below a scratch folder that is also the working directory of every run.
struct CopyInstallation : Installation {
  CopyInstallation() : Installation(L"Copy", {L"copy.exe"}) { WriteLog(Records()); }
};

TEST(TemporaryCopy, EachRunMakesItsOwnFolderAndStartsTheCopyThere) {
  SecondPhaseCleanup cleanup;
  CopyInstallation first, second;
  std::vector<ProcessView> views = {first.UninstallSilently(), second.UninstallSilently()};
  EXPECT_FALSE(FolderExists(first.dir));
  EXPECT_FALSE(FolderExists(second.dir));

  std::vector<std::wstring> folders = SecondPhaseFolders();
  ASSERT_EQ(folders.size(), 2u) << "one private folder per run";
  const std::wstring temp = CopyHomeFolder();
  std::vector<std::wstring> expected_pending;
  for (size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const std::wstring& folder = folders[i];
    std::wstring copy = folder + L"\\" + kCopyName;
    EXPECT_EQ(lstrcmpiW((Parent(folder) + L"\\").c_str(), temp.c_str()), 0) << Utf8(folder);
    EXPECT_TRUE(IsPrivateFolderName(FileName(folder)));
    EXPECT_TRUE(SameBytes(copy, UninstallerExe())) << "the copy is the uninstaller itself";
    ASSERT_TRUE(views[i].read);
    EXPECT_EQ(lstrcmpiW(views[i].image_path.c_str(), copy.c_str()), 0)
        << Utf8(views[i].image_path);
    EXPECT_EQ(lstrcmpiW(views[i].current_directory.c_str(), (folder + L"\\").c_str()), 0)
        << "working directory " << Utf8(views[i].current_directory);
    // The file first, then its folder, which is empty by the time its turn comes.
    expected_pending.push_back(copy);
    expected_pending.push_back(folder);
  }
  std::vector<std::wstring> pending = PendingDeletionsOfSecondPhaseCopy();
  ASSERT_EQ(pending.size(), expected_pending.size());
  for (size_t i = 0; i < pending.size(); ++i) {
    EXPECT_EQ(lstrcmpiW(pending[i].c_str(), expected_pending[i].c_str()), 0)
        << Utf8(pending[i]) << " / " << Utf8(expected_pending[i]);
  }
}

// A program that records being started lies at the copy's old place, and a ".Local"
// redirection folder beside it: neither is started, used or changed.
TEST(TemporaryCopy, PlantedProgramAtTheOldPlaceIsNeitherStartedNorReplaced) {
  SecondPhaseCleanup cleanup;
  CopyInstallation inst;
  CopyForTest(FakeCleanupExe(), UnprotectedCopyPath());
  std::wstring local = UnprotectedCopyPath() + L".Local";
  Leftovers leftovers;
  leftovers.AddPath(local);
  ASSERT_TRUE(CreateDirectoryW(local.c_str(), NULL));

  ProcessView view = inst.UninstallSilently();
  EXPECT_FALSE(FileExists(inst.record)) << "the planted program was started";
  EXPECT_TRUE(SameBytes(UnprotectedCopyPath(), FakeCleanupExe())) << "it was overwritten";
  EXPECT_NE(lstrcmpiW(view.image_path.c_str(), UnprotectedCopyPath().c_str()), 0);
  EXPECT_EQ(lstrcmpiW(view.image_path.c_str(), SecondPhaseCopyPath().c_str()), 0);
  EXPECT_FALSE(FolderExists(inst.dir)) << "the uninstall went through all the same";
}

TEST(TemporaryCopy, FolderAtTheOldPlaceDoesNotBreakTheRun) {
  SecondPhaseCleanup cleanup;
  CopyInstallation inst;
  Leftovers leftovers;
  leftovers.AddPath(UnprotectedCopyPath());
  ASSERT_TRUE(CreateDirectoryW(UnprotectedCopyPath().c_str(), NULL));
  WriteText(UnprotectedCopyPath() + L"\\inside.txt", "stays");

  inst.UninstallSilently();
  EXPECT_FALSE(FolderExists(inst.dir));
  EXPECT_TRUE(FileExists(UnprotectedCopyPath() + L"\\inside.txt"));
}

// Without a private folder the copy is not started and nothing is removed; the logged
// application has cleaned up already, so the message does not claim that nothing changed.
// Moves the folder where the uninstaller makes its copy's private folder aside while it
// lives (the system's temporary folder when elevated), so that none can be made there.
class CopyHomeMissing {
 public:
  CopyHomeMissing() : home_(CopyHomeFolder()) {
    home_.pop_back();
    aside_ = home_ + L"-aside";
    moved_ = MoveFileW(home_.c_str(), aside_.c_str()) != FALSE;
  }
  ~CopyHomeMissing() {
    if (moved_) MoveFileW(aside_.c_str(), home_.c_str());
  }
  bool moved() const { return moved_; }

 private:
  std::wstring home_, aside_;
  bool moved_ = false;
};

TEST(TemporaryCopy, NoPrivateFolderMeansNoHandOverAndAFatalBox) {
  SecondPhaseCleanup cleanup;
  CopyInstallation inst;
  CopyForTest(FakeCleanupExe(), inst / L"cleanup.exe");
  inst.WriteLog({{L'E', inst / L"cleanup.exe"}, {L'F', inst / L"copy.exe"}, {L'S', inst.dir}});
  ScopedVariable linger(L"FAKE_CLEANUP_LINGER_MS", L"0");
  TemporaryFolderAt temp(inst.scratch / L"no such folder");
  CopyHomeMissing home;
  ASSERT_TRUE(home.moved() || !RunsAsAdministrator());

  Child child = inst.Start(L"");
  AnswerMessageBox(child.pid, L"Uninstaller", UninstallerWelcomeText(L"Copy"), {IDYES, IDNO},
                   IDYES);
  AnswerMessageBox(child.pid, L"Fatal error", HAND_OVER_FAILED_MESSAGE, {IDOK}, IDOK);
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 1u);
  EXPECT_EQ(RecordLines(inst.record).size(), 2u) << "the clean-up program ran first";
  EXPECT_TRUE(SecondPhaseProcesses().empty());
  EXPECT_TRUE(inst.Untouched());

  // In silent mode the same, without the box.
  child = inst.Start(L"/AUTO");
  EXPECT_EQ(FinishChild(child, kRunTimeoutMs), 1u);
  EXPECT_TRUE(SecondPhaseProcesses().empty());
  EXPECT_TRUE(inst.Untouched());
  EXPECT_TRUE(PendingDeletionsOfSecondPhaseCopy().empty());
}

// Makes the Run Once installation `dir` of product `name` 1.0: uninstall.exe, the program
// "<name>.exe" and a log naming both, itself and then `folders` as folder records.
void MakeRunOnceInstallation(const std::wstring& dir, const std::wstring& name,
                             const std::vector<std::wstring>& folders) {
  ASSERT_TRUE(CreateDirectoryW(dir.c_str(), NULL));
  const std::wstring program = dir + L"\\" + name + L".exe";
  CopyForTest(UninstallerExe(), dir + L"\\uninstall.exe");
  WriteText(program, "program");
  LogRecords records = {{L'F', program},
                        {L'F', dir + L"\\uninstall.exe"},
                        {L'F', dir + L"\\uninstall.dat"}};
  for (const std::wstring& folder : folders) records.push_back({L'S', folder});
  WriteLog(dir + L"\\uninstall.dat",
           LogContents(LogHeaderLine(name, L"1.0", name + L"Wnd"), records));
}

// Starts the uninstaller of `dir` as the installer does at the end of Run Once: "/AUTO",
// in the installation folder; both phases must end with 0.
void UninstallAsRunOnceEnds(const std::wstring& dir) {
  Child child = StartChild(Quoted(dir + L"\\uninstall.exe") + L" /AUTO", dir.c_str());
  EXPECT_EQ(FinishBothPhases(child, kRunTimeoutMs), 0u);
}

// A Run Once installation "KOZ_Soft_Copy" in a private folder of a user's temporary folder
// (an unelevated setup's place), which every program started takes as its own: Copy.exe,
// uninstall.exe and a log naming them, the installation folder and the private folder.
class UserRunOnce : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CreateDirectoryW(temp_folder.c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryW(private_folder.c_str(), NULL));
    temp_ = std::make_unique<TemporaryFolderAt>(temp_folder);
    cleanup_ = std::make_unique<SecondPhaseCleanup>();
    MakeRunOnceInstallation(dir, L"Copy", {dir, private_folder});
  }

  ScratchFolder scratch;
  const std::wstring temp_folder = scratch / L"temp";
  const std::wstring private_folder = temp_folder + L"\\koz-0123abcd";
  const std::wstring dir = private_folder + L"\\KOZ_Soft_Copy";

 private:
  // In this order: the second phase's leftovers are looked for, and removed again, while the
  // temporary folder is the test's.
  std::unique_ptr<TemporaryFolderAt> temp_;
  std::unique_ptr<SecondPhaseCleanup> cleanup_;
};

// A Run Once log names the installation folder and the private folder made for the run,
// not the temporary folder they lie in: the uninstall leaves that folder, even empty.
TEST_F(UserRunOnce, UninstallKeepsTheTemporaryFolder) {
  UninstallAsRunOnceEnds(dir);
  EXPECT_FALSE(FolderExists(private_folder));
  EXPECT_TRUE(FolderExists(temp_folder)) << "the user's temporary folder was removed";
  EXPECT_EQ(SecondPhaseFolders().size(), 1u);
}

// After its uninstall, what the log names is gone, while what the product saved beside
// itself stays where it is, with the folders that hold it.
TEST_F(UserRunOnce, UninstallLeavesWhatTheProductSaved) {
  ASSERT_TRUE(CreateDirectoryW((dir + L"\\cache").c_str(), NULL));
  WriteText(dir + L"\\settings.ini", "saved by the product");
  WriteText(dir + L"\\cache\\page.tmp", "saved by the product");
  UninstallAsRunOnceEnds(dir);
  EXPECT_FALSE(FileExists(dir + L"\\Copy.exe"));
  EXPECT_FALSE(FileExists(dir + L"\\uninstall.exe"));
  EXPECT_FALSE(FileExists(dir + L"\\uninstall.dat"));
  EXPECT_EQ(FileText(dir + L"\\settings.ini"), "saved by the product");
  EXPECT_EQ(FileText(dir + L"\\cache\\page.tmp"), "saved by the product");
}

// Where an elevated setup makes Run Once's private folder: below the system's temporary
// folder. The product's folder and the private folder go once they are empty, also when
// the log names neither.
TEST(TemporaryCopy, RunOnceBelowTheSystemTemporaryFolderGoesOnceEmpty) {
  ASSERT_TRUE(RunsAsAdministrator()) << "Wine runs its programs elevated";
  SecondPhaseCleanup cleanup;
  wchar_t name[16];
  std::wstring private_folder;
  for (unsigned attempt = 0; private_folder.empty() && attempt < 16; ++attempt) {
    FormatPrivateFolderName(GetTickCount(), attempt, name);
    if (CreateDirectoryW((CopyHomeFolder() + name).c_str(), NULL)) {
      private_folder = CopyHomeFolder() + name;
    }
  }
  ASSERT_FALSE(private_folder.empty());
  std::wstring dir = private_folder + L"\\KOZ_Soft_System";
  MakeRunOnceInstallation(dir, L"System", {});
  UninstallAsRunOnceEnds(dir);
  EXPECT_FALSE(FolderExists(private_folder));
}

}  // namespace
