// The setup program against what a standard user or a hand-made package can change: clicks
// while the "is still running" box is up, a package resource larger than the image, names
// with path syntax, a folder that is not absolute, things planted in the temporary folder,
// a link on the way to the installation folder, packages built to attack the package
// reader, and the access list of the folders an elevated setup creates. The package reader
// itself is tested in depth in process (package_tests: every truncation and 12,000
// mutation cases). Run through harness/link_fixture.sh, which makes a link on the Unix side
// (Wine follows a Unix symbolic link as Windows follows a junction).
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "setup/resource.h"
#include "engine/folders.h"
#include "harness/environment.h"
#include "harness/install_run.h"
#include "harness/leftovers.h"
#include "harness/message_boxes.h"
#include "harness/package_builder.h"
#include "harness/process.h"
#include "harness/registry.h"
#include "harness/scratch.h"
#include "harness/second_phase.h"
#include "harness/setup_session.h"

namespace {

typedef std::vector<uint8_t> Bytes;
const wchar_t kCorrupt[] = L"Could not extract installation data!";

bool StartsWith(const std::wstring& text, const std::wstring& head) {
  return lstrcmpiW(text.substr(0, head.size()).c_str(), head.c_str()) == 0;
}

// Each test's temporary folder (TMP and TEMP of all it starts) and the record files of
// alpha.exe (the product) and the recording clean-up program (its uninstaller, no window).
class SetupAttack : public ::testing::Test {
 protected:
  ~SetupAttack() override { EXPECT_TRUE(CloseWindowsOfClass(L"AlphaWnd", kWindowTimeoutMs)); }

  TestPackageContents Product(const std::wstring& name) {
    TestPackageContents contents = DialogTestPackage(name);
    contents.allow_run_once = 1;
    AddUninstallerEntry(contents, FakeCleanupExe());
    AddEntry(contents, ENTRY_LAUNCH, "program.exe", FileText(AlphaExe()));
    return contents;
  }
  // Runs Run Once of `product` to its hand-over and returns the private folder it ran in.
  std::wstring FinishRunOnce(SetupSession& setup, const std::wstring& product) {
    HWND window = WaitForWindow(0, L"AlphaWnd", NULL, kWindowTimeoutMs);
    EXPECT_NE(window, (HWND)NULL);
    std::vector<std::wstring> made = RunOnceFoldersOf(product);
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(setup.WaitForExit(), 0u);
    EXPECT_EQ(WaitForRecordLines(uninstaller_, 1).size(), 1u) << "no hand-over";
    // The recording uninstaller removes nothing: the folders go with the test.
    for (const std::wstring& folder : made) leftovers_.AddPath(folder);
    return made.empty() ? L"" : made.back();
  }

  // The first program start alpha.exe recorded.
  std::wstring FirstStart() const {
    std::vector<ProgramStart> starts = scratch_.starts.Wait(1);
    return starts.empty() ? L"" : starts[0].command;
  }

  SetupScratch scratch_;
  const std::wstring& temp_ = scratch_.temp;
  std::wstring uninstaller_ = scratch_ / L"uninstaller.txt";
  ScopedVariable cleanup_record_{L"FAKE_CLEANUP_RECORD", uninstaller_};
  SecondPhaseCleanup cleanup_;
  Leftovers leftovers_;
};

// While the box is up the user clicks the other mode and the agreement box; Retry then
// installs in the mode and folder the dialog shows, and the dialog still shows them.
TEST_F(SetupAttack, ClicksDuringTheRunningBoxChangeNeitherModeNorFolder) {
  for (bool run_once : {false, true}) {
    SCOPED_TRACE(run_once ? "Run Once" : "Normal install");
    const std::wstring name = run_once ? L"Sec Click Once" : L"Sec Click", typed = scratch_ / name;
    SetupSession setup(scratch_ / L"setup.exe", Product(name));
    ASSERT_TRUE(setup.ok());
    FakeRunningApplication application(name + L"Wnd");
    setup.SetFolder(typed);
    if (run_once) setup.Click(IDC_MODE_RUN_ONCE);
    setup.AgreeAndInstall();
    MessageBoxSeen box = setup.WaitForBox(L"Message");
    ASSERT_NE(box.window, (HWND)NULL);
    setup.Click(run_once ? IDC_MODE_NORMAL : IDC_MODE_RUN_ONCE);
    setup.Click(IDC_LICENSE_AGREE);
    EXPECT_EQ(setup.Checked(IDC_MODE_RUN_ONCE), run_once);
    EXPECT_EQ(setup.Text(IDOK), run_once ? L"Execute" : L"Install");
    EXPECT_EQ(setup.Shown(IDC_RUN_ONCE_TEXT), run_once);
    EXPECT_TRUE(setup.Checked(IDC_LICENSE_AGREE) && setup.Enabled(IDOK));
    application.Close();
    PressButton(box.window, IDRETRY);

    const std::wstring key = UninstallKey(name, L"2.5");
    leftovers_.AddKey(key);
    if (run_once) {
      std::wstring dir = FinishRunOnce(setup, name) + L"\\KOZ_Soft_" + name;
      EXPECT_TRUE(StartsWith(FirstStart(), Quoted(dir + L"\\program.exe") + L" /RUNONCE"));
      EXPECT_FALSE(FolderExists(typed));
    } else {
      EXPECT_EQ(setup.AnswerLastBox(kSuccessCaption, kSuccessText), 0u);
      EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"UninstallString").value,
                Quoted(typed + L"\\uninstall.exe"));
      EXPECT_TRUE(RunOnceFoldersOf(name).empty()) << "a Run Once folder was made";
    }
  }
}

// Malware of the user's own plants "KOZ_Soft_<name>" with its own uninstall.exe (alpha.exe,
// which records its start): Run Once neither installs there nor starts it.
TEST_F(SetupAttack, RunOnceNeverUsesAFolderPlantedInTheTemporaryFolder) {
  const std::wstring planted = temp_ + L"\\KOZ_Soft_Sec Planted";
  ASSERT_TRUE(CreateDirectoryW(planted.c_str(), NULL));
  CopyForTest(AlphaExe(), planted + L"\\uninstall.exe");
  SetupSession setup(scratch_ / L"setup.exe", Product(L"Sec Planted"));
  ASSERT_TRUE(setup.ok());
  setup.Click(IDC_MODE_RUN_ONCE);
  setup.AgreeAndInstall();
  std::wstring dir = FinishRunOnce(setup, L"Sec Planted") + L"\\KOZ_Soft_Sec Planted";
  std::vector<RecordLine> handed_over = WaitForRecordLines(uninstaller_, 1);
  ASSERT_FALSE(handed_over.empty());
  EXPECT_EQ(handed_over[0][0], L"start");
  EXPECT_TRUE(StartsWith(handed_over[0][1], Quoted(dir + L"\\uninstall.exe") + L" /AUTO"));
  EXPECT_EQ(scratch_.starts.Wait(2, 1000).size(), 1u) << "the planted one started";
  EXPECT_EQ(FolderContents(planted), std::vector<std::wstring>{L"uninstall.exe"});
}

// Documents planted under names the licence document could take are never written.
TEST_F(SetupAttack, LicenceIsNeverWrittenUnderAPlantedName) {
  TestPackageContents contents = Product(L"Sec Licence");
  AddEntry(contents, ENTRY_LICENSE_DOCUMENT, "license.htm", "licence");
  for (int number = 1; number <= 0x40; ++number) {
    wchar_t name[24];
    wsprintfW(name, L"\\koz%x.tmp.htm", number);
    WriteText(temp_ + name, "planted");
  }
  SetupSession setup(scratch_ / L"setup.exe", contents);
  ASSERT_TRUE(setup.ok());
  setup.SendCommand(IDC_SHOW_LICENSE);
  ASSERT_EQ(PrivateFoldersIn(temp_).size(), 1u) << "written in a private folder of its own";
  for (const std::wstring& name : FolderContents(temp_)) {
    if (name.compare(0, 4, L"koz-") != 0) EXPECT_EQ(ReadBytes(temp_ + L"\\" + name).size(), 7u);
  }
  EXPECT_EQ(setup.PressExit(), 0u);
  EXPECT_TRUE(PrivateFoldersIn(temp_).empty());
}

// A hand-made setup whose package resource claims more bytes than the image holds (found
// by its data entry: the package's RVA, its size, code page and reserved 0) is refused at
// start-up, without reading past the image.
TEST_F(SetupAttack, PackageResourceRunningPastTheImageIsRefused) {
  std::wstring setup_exe = scratch_ / L"setup.exe";
  TestPackageContents contents = Product(L"Sec Oversized");
  ASSERT_TRUE(BuildSetup(setup_exe, contents));
  std::vector<unsigned char> image = ReadBytes(setup_exe);
  uint32_t size = (uint32_t)PackageBytes(contents).size(), rva = 0, image_size = 0;
  memcpy(&image_size, &image[*(uint32_t*)&image[0x3C] + 24 + 56], 4);
  size_t entry = 0;
  for (size_t at = 4; at + 12 <= image.size() && entry == 0; at += 4) {
    uint32_t fields[3];
    memcpy(fields, &image[at], 12);
    if (fields[0] == size && fields[1] == 0 && fields[2] == 0) entry = at;
  }
  ASSERT_NE(entry, 0u);
  memcpy(&rva, &image[entry - 4], 4);
  for (uint32_t claimed : {image_size - rva + 1, 0x7FFFFFF0u}) {
    memcpy(&image[entry], &claimed, 4);
    WriteBytes(setup_exe, image.data(), image.size());
    AnsweredRun run = RunAnsweringMessageBoxes(Quoted(setup_exe), kRunTimeoutMs);
    EXPECT_EQ(run.exit_code, 0u) << "crashed";
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, kCorrupt);
  }
}

// Header strings that would name folders elsewhere or forge log records are refused at
// start-up; folder and entry names that lead out of the installation folder, or that
// Win32 would change or forbid, on Install, before anything is written.
TEST_F(SetupAttack, NamesWithPathSyntaxAreRefused) {
  // The product name names folders; the window class only stands in the log's header.
  const std::pair<std::u16string TestPackageContents::*, const char16_t*> refused[] = {
      {&TestPackageContents::product_name, u"\\..\\..\\pwn"},
      {&TestPackageContents::product_name, u".."},
      {&TestPackageContents::product_name, u"Dot."},
      {&TestPackageContents::product_name, u"Tab\t"},
      {&TestPackageContents::product_name, u"W|F|C:\\x"},
      {&TestPackageContents::window_class, u"W#C"},
      {&TestPackageContents::window_class, u"W|C"},
      {&TestPackageContents::window_class, u"W\nC"}};
  for (const auto& field : refused) {
    TestPackageContents contents = Product(L"Sec Name");
    contents.*field.first = field.second;
    ASSERT_TRUE(BuildSetup(scratch_ / L"setup.exe", contents));
    AnsweredRun run = RunAnsweringMessageBoxes(Quoted(scratch_ / L"setup.exe"), kRunTimeoutMs);
    ASSERT_EQ(run.boxes.size(), 1u) << "the dialog showed";
    EXPECT_EQ(run.boxes[0].text, kCorrupt);
  }
  // Class names that real programs use, with ":" in them, are accepted, and so is none (a
  // product without a main window).
  for (const char16_t* window_class : {u"ATL:00A1B2C3", u"Afx:00400000:0", u""}) {
    TestPackageContents contents = Product(L"Sec Class");
    contents.window_class = window_class;
    SetupSession setup(scratch_ / L"setup.exe", contents);
    EXPECT_TRUE(setup.ok()) << "the dialog did not show";
  }
  const std::pair<const char*, const char*> folder_and_entry[] = {
      {"", "..\\..\\evil.txt"}, {"", "C:\\evil.txt"},   {"", "sub/../../../evil.txt"},
      {"", "\\\\server\\share\\evil.txt"}, {"", "stream.txt:evil"}, {"..", "ok.txt"},
      // Names Win32 would change or forbid: made through a folder's handle they would keep
      // their form, files Explorer and the uninstaller cannot reach by name.
      {"", "readme."}, {"", "readme "}, {"", "CON"}, {"", "aux.txt"}, {"", "Com1.log"},
      {"", "sub/evil.txt"}, {"", "star*.txt"}, {"lpt9", "ok.txt"}, {"dots..", "ok.txt"}};
  for (const auto& names : folder_and_entry) {
    SCOPED_TRACE(names.second);
    TestPackageContents contents = Product(L"Sec Entry");
    if (*names.first != 0) contents.folders.push_back(names.first);
    AddEntry(contents, 0, names.second, "evil");
    SetupSession setup(scratch_ / L"setup.exe", contents);
    ASSERT_TRUE(setup.ok());
    setup.SetFolder(scratch_ / L"inst\\deep");
    setup.AgreeAndInstall();
    EXPECT_EQ(setup.AnswerLastBox(L"Fatal error", kCorrupt), 0u);
    EXPECT_FALSE(FolderExists(scratch_ / L"inst") || FileExists(scratch_ / L"evil.txt"));
  }
}

// A folder that is not absolute would be made below setup's current folder and registered
// in a form no uninstall finds: refused like an empty one, with the folder as typed.
TEST_F(SetupAttack, FolderThatIsNotAbsoluteIsRefusedAsTyped) {
  for (const wchar_t* typed : {L"PelicanRel", L"C:PelicanRel", L"\\PelicanRel"}) {
    SetupSession setup(scratch_ / L"setup.exe", Product(L"Sec Relative"));
    ASSERT_TRUE(setup.ok());
    setup.SetFolder(typed);
    setup.AgreeAndInstall();
    const std::wstring refusal = std::wstring(L"Could not create folder [1]\n>") + typed;
    EXPECT_EQ(setup.AnswerLastBox(L"Fatal error", refusal), 0u);
  }
  EXPECT_FALSE(FolderExists(BinDir() + L"PelicanRel") || FolderExists(L"C:\\PelicanRel"));
}

// An elevated setup asked to install behind a link ("inst\data" leads to "victim") names
// the link and writes nothing, neither there nor in the folder it leads to.
TEST(LinkAttack, SetupRefusesALinkOnTheInstallationPath) {
  const std::wstring fixture = EnvironmentValue(L"LINK_FIXTURE");
  if (fixture.empty()) GTEST_SKIP() << "run through link_fixture.sh";
  ScratchFolder scratch;
  TestPackageContents contents = DialogTestPackage(L"Linked Setup");
  AddUninstallerEntry(contents, FakeCleanupExe());
  AddEntry(contents, 0, "readme.txt", "read me");
  SetupSession setup(scratch / L"setup.exe", contents);
  ASSERT_TRUE(setup.ok());
  setup.SetFolder(fixture + L"\\inst\\data\\Product");
  setup.AgreeAndInstall();
  EXPECT_EQ(setup.AnswerLastBox(L"Fatal error",
                                L"Could not create folder [3]: it is a junction or symbolic "
                                L"link\n>" + fixture + L"\\inst\\data"),
            0u);
  EXPECT_FALSE(FolderExists(fixture + L"\\victim\\Product")) << "written through the link";
}

// ---- Packages built to attack the package reader ----

// A package with a folder and three files; its first entry record follows the folder list.
TestPackageContents HostileBase() {
  TestPackageContents contents = TestPackage();
  contents.product_name = u"Hostile";
  contents.folders = {"sub"};
  AddEntry(contents, 0, "readme.txt", "read me");
  AddEntry(contents, 0, "sub\\data.bin", "data");
  AddEntry(contents, 0x0010, "hostile.exe", "MZ program");
  return contents;
}
constexpr size_t kFirstRecord = 204 + 1 + 3 + 1;

// A header that cannot be trusted: the setup refuses before its dialog shows.
TEST(HostilePackage, SetupRefusesAnUntrustworthyHeaderBeforeItsDialog) {
  ScratchFolder scratch;
  Bytes base = PackageBytes(HostileBase());
  struct Case {
    const char* what;
    Bytes bytes;
  };
  std::vector<Case> cases;
  cases.push_back({"header_size pointing past the end", WithUint32At(base, 0, 0xFFFFFFF0u)});
  cases.push_back(
      {"product name without terminator", WithUnterminatedString(base, kProductNameOffset)});
  cases.push_back({"shorter than its header", Bytes(base.begin(), base.begin() + 150)});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::wstring setup_exe = scratch / L"setup.exe";
    ASSERT_TRUE(EmbedPackageBytes(L"setup-stub.exe", setup_exe, c.bytes));
    AnsweredRun run = RunAnsweringMessageBoxes(Quoted(setup_exe), kRunTimeoutMs, IDOK,
                                               scratch.path().c_str());
    // The dialog never shows, only the fatal box.
    ExpectOnlyBox(run, L"Fatal error", kCorrupt);
  }
}

// Damage behind a sound header: the dialog shows, and Install refuses before anything is
// written, not even the installation folder.
TEST(HostilePackage, SetupRefusesDamagedRecordsBeforeWritingAnything) {
  ScratchFolder scratch;
  TestPackageContents contents = HostileBase();
  Bytes base = PackageBytes(contents);
  std::wstring dir = scratch / L"Hostile";
  struct Case {
    const char* what;
    Bytes bytes;
    std::wstring message = kCorrupt;
  };
  std::vector<Case> cases;
  Bytes folder_length = base;
  folder_length[204] = 255;
  cases.push_back({"folder length pointing past the end", folder_length});
  for (uint32_t size : {0xFFFFFFFFu, 0x7FFFFFFFu, (uint32_t)base.size()}) {
    cases.push_back(
        {"entry size pointing past the end", WithUint32At(base, kFirstRecord + 2 + 11, size)});
  }
  TestPackageContents long_name = HostileBase();
  AddEntry(long_name, 0, std::string(300, 'L'), "x");
  cases.push_back({"name of 300 bytes", PackageBytes(long_name)});
  TestPackageContents longest = HostileBase();
  AddEntry(longest, 0, std::string(259, 'L'), "x");
  cases.push_back({"name of 259 bytes, too long below a folder", PackageBytes(longest),
                   L"Could not create file\n>" + dir + L"\\" + std::wstring(259, L'L')});
  Bytes unterminated(base.begin(), base.end() - 2);
  unterminated.insert(unterminated.end(), {0x00, 0x00, 'n', 'o', 'e', 'n', 'd'});
  cases.push_back({"last name without terminator", unterminated});
  cases.push_back({"no end marker", Bytes(base.begin(), base.end() - 2)});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::wstring setup_exe = scratch / L"setup.exe";
    ASSERT_TRUE(EmbedPackageBytes(L"setup-stub.exe", setup_exe, c.bytes));
    {
      SetupSession setup(setup_exe, SetupCaption(contents));
      ASSERT_TRUE(setup.ok());
      setup.SetFolder(dir);
      setup.AgreeAndInstall();
      MessageBoxSeen box = setup.WaitForBox(L"Fatal error");
      ASSERT_NE(box.window, (HWND)NULL);
      // A long path may be cut in the box; what it shows is the message's beginning.
      EXPECT_GE(box.text.size(), std::min<size_t>(c.message.size(), 200u)) << Utf8(box.text);
      EXPECT_EQ(c.message.compare(0, box.text.size(), box.text), 0) << Utf8(box.text);
      PressButton(box.window, IDOK);
      EXPECT_EQ(setup.WaitForExit(), 0u);
    }
    EXPECT_FALSE(FolderExists(dir)) << "something was written";
  }
}

// The list an elevated setup gives each level of the installation folder it creates. Wine
// keeps no access lists on files, so this is the descriptor the setup builds.
TEST(InstallFolderAccess, CreatedFoldersGetProgramFilesLikeList) {
  PSECURITY_DESCRIPTOR descriptor = NULL;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
      INSTALL_FOLDER_SDDL, SDDL_REVISION_1, &descriptor, NULL));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing inherited from the drive root";
  BOOL present = FALSE, defaulted = FALSE;
  PSID owner = NULL, administrators = NULL;
  ASSERT_TRUE(GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) && owner != NULL);
  ASSERT_TRUE(ConvertStringSidToSidW(L"S-1-5-32-544", &administrators));
  EXPECT_TRUE(EqualSid(owner, administrators)) << "owned by Administrators";
  LocalFree(administrators);
  PACL acl = NULL;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted) && acl);
  ASSERT_EQ(acl->AceCount, 3u);
  const wchar_t* sids[] = {L"S-1-5-18", L"S-1-5-32-544", L"S-1-5-32-545"};  // SYSTEM, BA, Users
  const DWORD masks[] = {FILE_ALL_ACCESS, FILE_ALL_ACCESS,
                         FILE_GENERIC_READ | FILE_GENERIC_EXECUTE};
  for (DWORD i = 0; i < 3; ++i) {
    ACCESS_ALLOWED_ACE* ace = NULL;
    PSID sid = NULL;
    ASSERT_TRUE(GetAce(acl, i, (void**)&ace) && ConvertStringSidToSidW(sids[i], &sid));
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_EQ(ace->Mask, masks[i]);
    EXPECT_TRUE(EqualSid((PSID)&ace->SidStart, sid)) << i;
    LocalFree(sid);
  }
  LocalFree(descriptor);
}

}  // namespace
