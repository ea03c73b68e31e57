// The setup program against what a standard user or a hand-made package can change: clicks
// while the "is still running" box is up, a package resource larger than the image, names
// with path syntax, a folder that is not absolute, things planted in the temporary folder,
// and the access list of the folders an elevated setup creates.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <string>
#include <vector>

#include "app/resource.h"
#include "dialog_session.h"
#include "engine/folders.h"
#include "harness/message_boxes.h"
#include "harness/scratch.h"
#include "harness/second_phase.h"
#include "uninstaller_test_support.h"

namespace {

typedef std::vector<uint8_t> Bytes;
constexpr DWORD kRunTimeout = 30000;
const wchar_t kCorrupt[] = L"Could not extract installation data!";
const wchar_t kUninstallKeys[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::string AlphaBytes() {
  std::vector<unsigned char> bytes = ReadBytes(AlphaExe());
  EXPECT_FALSE(bytes.empty());
  return std::string(bytes.begin(), bytes.end());
}

bool StartsWith(const std::wstring& text, const std::wstring& head) {
  return text.size() >= head.size() &&
         lstrcmpiW(text.substr(0, head.size()).c_str(), head.c_str()) == 0;
}

// The private folders ("koz-" and eight hexadecimal digits) in `folder`.
std::vector<std::wstring> PrivateFoldersIn(const std::wstring& folder) {
  std::vector<std::wstring> found;
  for (const std::wstring& name : FolderContents(folder)) {
    if (name.size() == 12 && name.compare(0, 4, L"koz-") == 0) {
      found.push_back(folder + L"\\" + name);
    }
  }
  return found;
}

// Each test's temporary folder (TMP and TEMP of everything it starts) and the record files
// of alpha.exe, which stands in for the product, and of the recording clean-up program,
// which stands in for its uninstaller (it opens no window, so none is left behind).
class SetupAttack : public ::testing::Test {
 protected:
  SetupAttack() { CreateDirectoryW(temp_.c_str(), NULL); }
  ~SetupAttack() override { CloseWindowsOfClass(L"AlphaWnd"); }

  // A product that Run Once starts and hands over to its uninstaller.
  PackageContents Product(const std::wstring& name) {
    PackageContents contents = DialogTestPackage(name);
    contents.allow_run_once = 1;
    AddUninstallerEntry(contents, FakeCleanupExe());
    AddEntry(contents, ENTRY_LAUNCH, "program.exe", AlphaBytes());
    return contents;
  }

  ScratchFolder scratch_;
  std::wstring temp_ = scratch_ / L"temp";
  std::wstring records_ = scratch_ / L"records.txt";
  ScopedEnvironment tmp_{L"TMP", scratch_ / L"temp"};
  ScopedEnvironment temp_variable_{L"TEMP", scratch_ / L"temp"};
  ScopedEnvironment record_{L"ALPHA_RECORD", scratch_ / L"records.txt"};
  std::wstring uninstaller_records_ = scratch_ / L"uninstaller.txt";
  ScopedEnvironment uninstaller_record_{L"FAKE_CLEANUP_RECORD", scratch_ / L"uninstaller.txt"};
  SecondPhaseCleanup cleanup_;
};

// A top-level window of the product's class, as the running application would have.
class RunningApplication {
 public:
  explicit RunningApplication(const std::wstring& class_name) : class_name_(class_name) {
    WNDCLASSW window_class = {};
    window_class.lpfnWndProc = DefWindowProcW;
    window_class.hInstance = GetModuleHandleW(NULL);
    window_class.lpszClassName = class_name_.c_str();
    RegisterClassW(&window_class);
    window_ = CreateWindowW(class_name_.c_str(), L"Running", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                            NULL, NULL, GetModuleHandleW(NULL), NULL);
  }
  ~RunningApplication() { Close(); }
  void Close() {
    if (window_ != NULL) DestroyWindow(window_);
    window_ = NULL;
    UnregisterClassW(class_name_.c_str(), GetModuleHandleW(NULL));
  }

 private:
  std::wstring class_name_;
  HWND window_ = NULL;
};

// Clicks every mode radio and the agreement box while the "is still running" box is up:
// the dialog keeps showing the mode it was asked to install in, agreed.
void ClickAroundDuringTheBox(SetupSession& setup, bool run_once) {
  setup.Click(run_once ? IDC_MODE_NORMAL : IDC_MODE_RUN_ONCE);
  setup.Click(IDC_LICENSE_AGREE);
  EXPECT_EQ(setup.Checked(IDC_MODE_RUN_ONCE), run_once);
  EXPECT_EQ(setup.Checked(IDC_MODE_NORMAL), !run_once);
  EXPECT_EQ(setup.Text(IDOK), run_once ? L"Execute" : L"Install");
  EXPECT_EQ(setup.Shown(IDC_RUN_ONCE_TEXT), run_once);
  EXPECT_TRUE(setup.Checked(IDC_LICENSE_AGREE));
  EXPECT_TRUE(setup.Enabled(IDOK));
}

TEST_F(SetupAttack, RunOnceClickedDuringTheRunningBoxStillInstallsNormallyInTheTypedFolder) {
  const std::wstring name = L"Sec Click";
  SetupSession setup(scratch_ / L"setup.exe", Product(name));
  ASSERT_TRUE(setup.ok());
  RunningApplication application(name + L"Wnd");
  const std::wstring dir = scratch_ / L"typed";
  setup.SetFolder(dir);
  setup.Click(IDC_LICENSE_AGREE);
  setup.Press(IDOK);
  MessageBoxSeen box = setup.WaitForBox(L"Message");
  ASSERT_NE(box.window, (HWND)NULL);
  ClickAroundDuringTheBox(setup, false);
  application.Close();
  PressButton(box.window, IDRETRY);

  MessageBoxSeen done = setup.WaitForBox(L"Setup complete");
  ASSERT_NE(done.window, (HWND)NULL);
  PressButton(done.window, IDOK);
  EXPECT_EQ(setup.WaitForExit(), 0u);
  const std::wstring key = std::wstring(kUninstallKeys) + L"KOZ Soft " + name + L" 2.5";
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"UninstallString").value,
            Quoted(dir + L"\\uninstall.exe"));
  EXPECT_TRUE(FileExists(dir + L"\\program.exe"));
  EXPECT_TRUE(PrivateFoldersIn(temp_).empty()) << "a Run Once folder was made";
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
}

TEST_F(SetupAttack, NormalClickedDuringTheRunningBoxStillRunsOnceInAPrivateFolder) {
  const std::wstring name = L"Sec Click Once";
  SetupSession setup(scratch_ / L"setup.exe", Product(name));
  ASSERT_TRUE(setup.ok());
  RunningApplication application(name + L"Wnd");
  const std::wstring typed = scratch_ / L"typed";
  setup.SetFolder(typed);
  setup.Click(IDC_MODE_RUN_ONCE);
  setup.Click(IDC_LICENSE_AGREE);
  setup.Press(IDOK);
  MessageBoxSeen box = setup.WaitForBox(L"Message");
  ASSERT_NE(box.window, (HWND)NULL);
  ClickAroundDuringTheBox(setup, true);
  application.Close();
  PressButton(box.window, IDRETRY);

  // The program runs once from "KOZ_Soft_<name>" in a private folder, then the uninstaller.
  HWND window = WaitForWindow(0, L"AlphaWnd", NULL, kWindowTimeoutMs);
  ASSERT_NE(window, (HWND)NULL);
  std::vector<std::wstring> made = PrivateFoldersIn(temp_);
  ASSERT_EQ(made.size(), 1u);
  const std::wstring dir = made[0] + L"\\KOZ_Soft_" + name;
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(setup.WaitForExit(), 0u);
  std::vector<std::wstring> lines = WaitForRecordLines(records_, 1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(StartsWith(lines[0], Quoted(dir + L"\\program.exe") + L" /RUNONCE"))
      << Narrow(lines[0]);
  lines = WaitForRecordLines(uninstaller_records_, 1);
  ASSERT_FALSE(lines.empty());
  EXPECT_TRUE(StartsWith(lines[0], L"start\t" + Quoted(dir + L"\\uninstall.exe") + L" /AUTO"))
      << Narrow(lines[0]);
  EXPECT_FALSE(FolderExists(typed));
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE,
                                 std::wstring(kUninstallKeys) + L"KOZ Soft " + name + L" 2.5"));
}

// Malware of the user's own plants "KOZ_Soft_<name>" with a program of its own as
// uninstall.exe (here alpha.exe, which records its start): Run Once neither installs there
// nor starts it.
TEST_F(SetupAttack, RunOnceNeverUsesAFolderPlantedInTheTemporaryFolder) {
  const std::wstring name = L"Sec Planted";
  const std::wstring planted = temp_ + L"\\KOZ_Soft_" + name;
  ASSERT_TRUE(CreateDirectoryW(planted.c_str(), NULL));
  CopyForTest(AlphaExe(), planted + L"\\uninstall.exe");

  SetupSession setup(scratch_ / L"setup.exe", Product(name));
  ASSERT_TRUE(setup.ok());
  setup.Click(IDC_MODE_RUN_ONCE);
  setup.Click(IDC_LICENSE_AGREE);
  setup.Press(IDOK);
  HWND window = WaitForWindow(0, L"AlphaWnd", NULL, kWindowTimeoutMs);
  ASSERT_NE(window, (HWND)NULL);
  PostMessageW(window, WM_CLOSE, 0, 0);
  EXPECT_EQ(setup.WaitForExit(), 0u);
  std::vector<std::wstring> lines = WaitForRecordLines(uninstaller_records_, 1);
  ASSERT_FALSE(lines.empty()) << "the real uninstaller did not run";
  std::vector<std::wstring> made = PrivateFoldersIn(temp_);
  ASSERT_EQ(made.size(), 1u);
  const std::wstring dir = made[0] + L"\\KOZ_Soft_" + name;
  EXPECT_TRUE(StartsWith(lines[0], L"start\t" + Quoted(dir + L"\\uninstall.exe")))
      << Narrow(lines[0]);

  EXPECT_EQ(WaitForRecordLines(records_, 2, 1000).size(), 1u)
      << "the planted uninstall.exe was started";
  EXPECT_EQ(FolderContents(planted), std::vector<std::wstring>{L"uninstall.exe"});
  EXPECT_EQ(ReadBytes(planted + L"\\uninstall.exe"), ReadBytes(AlphaExe()));
}

// Documents planted under the names the licence document could take: none is written.
TEST_F(SetupAttack, LicenceIsNeverWrittenUnderAPlantedName) {
  PackageContents contents = DialogTestPackage(L"Sec Licence");
  AddUninstallerEntry(contents, L"alpha.exe");
  AddEntry(contents, ENTRY_LICENSE_DOCUMENT, "license.htm", "<html>licence</html>");
  std::vector<std::wstring> planted;
  for (int number = 1; number <= 0x40; ++number) {
    wchar_t name[32];
    wsprintfW(name, L"koz%x.tmp.htm", number);
    planted.push_back(temp_ + L"\\" + name);
    WriteText(planted.back(), "planted");
  }
  SetupSession setup(scratch_ / L"setup.exe", contents);
  ASSERT_TRUE(setup.ok());
  setup.SendCommand(IDC_SHOW_LICENSE);

  std::vector<std::wstring> made = PrivateFoldersIn(temp_);
  ASSERT_EQ(made.size(), 1u) << "the document is written in a private folder of its own";
  for (const std::wstring& name : FolderContents(made[0])) {
    if (name.size() > 4 && name.compare(name.size() - 4, 4, L".htm") == 0) {
      std::vector<unsigned char> document = ReadBytes(made[0] + L"\\" + name);
      EXPECT_EQ(std::string(document.begin(), document.end()), "<html>licence</html>");
    }
  }
  for (const std::wstring& path : planted) {
    std::vector<unsigned char> kept = ReadBytes(path);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "planted") << Narrow(path);
  }
  setup.Press(IDCANCEL);
  EXPECT_EQ(setup.WaitForExit(), 0u);
  EXPECT_TRUE(PrivateFoldersIn(temp_).empty());
}

// ---- Hand-made packages ----

// The resource's data entry in `image` (an executable's bytes) for RT_RCDATA 9999: the file
// offset of its size field, or 0 when there is none. Also gives the resource's RVA and
// the image's size.
size_t PackageSizeField(const Bytes& image, uint32_t* rva, uint32_t* image_size) {
  auto get32 = [&](size_t at) {
    return (uint32_t)image[at] | image[at + 1] << 8 | image[at + 2] << 16 |
           (uint32_t)image[at + 3] << 24;
  };
  auto get16 = [&](size_t at) { return (uint32_t)(image[at] | image[at + 1] << 8); };
  size_t pe = get32(0x3C), optional = pe + 24;
  *image_size = get32(optional + 56);
  uint32_t resources = get32(optional + 96 + 8 * 2);
  size_t sections = optional + get16(pe + 20);
  auto to_file = [&](uint32_t at) -> size_t {
    for (uint32_t i = 0; i < get16(pe + 6); ++i) {
      size_t header = sections + 40 * i;
      uint32_t start = get32(header + 12), size = get32(header + 16);
      if (at >= start && at < start + size) return get32(header + 20) + (at - start);
    }
    return 0;
  };
  // Type 10, name 9999, first language: each level is a directory of id entries.
  size_t root = to_file(resources), directory = root;
  for (uint32_t id : {10u, 9999u, 0u}) {
    uint32_t named = get16(directory + 12), count = named + get16(directory + 14);
    size_t found = 0;
    for (uint32_t i = 0; i < count && found == 0; ++i) {
      size_t entry = directory + 16 + 8 * i;
      if (id == 0 || get32(entry) == id) found = root + (get32(entry + 4) & 0x7FFFFFFF);
    }
    if (found == 0) return 0;
    directory = found;
  }
  *rva = get32(directory);
  return directory + 4;
}

// A damaged or hand-made setup whose package resource claims more bytes than the image
// holds: refused before the dialog shows, never read past the image.
TEST_F(SetupAttack, PackageResourceRunningPastTheImageIsRefused) {
  std::wstring setup_exe = scratch_ / L"setup.exe";
  ASSERT_TRUE(BuildSetup(setup_exe, Product(L"Sec Oversized")));
  Bytes image = ReadBytes(setup_exe);
  uint32_t rva = 0, image_size = 0;
  size_t size_field = PackageSizeField(image, &rva, &image_size);
  ASSERT_NE(size_field, 0u);
  for (uint32_t size : {image_size - rva + 1, 0x7FFFFFF0u}) {
    SCOPED_TRACE(size);
    for (int i = 0; i < 4; ++i) image[size_field + i] = (uint8_t)(size >> (8 * i));
    WriteBytes(setup_exe, image.data(), image.size());
    AnsweredRun run = RunAnsweringMessageBoxes(Quoted(setup_exe), kRunTimeout, IDOK,
                                               scratch_.path().c_str());
    EXPECT_EQ(run.exit_code, 0u) << "crashed";
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].caption, L"Fatal error");
    EXPECT_EQ(run.boxes[0].text, kCorrupt);
  }
  EXPECT_TRUE(FolderContents(temp_).empty());
}

// Header strings that would name a folder outside the one they belong in, or forge a log
// record: refused before the dialog shows.
TEST_F(SetupAttack, HeaderStringsWithPathSyntaxAreRefusedBeforeTheDialog) {
  struct Case {
    std::u16string name, version, window_class;
  };
  std::vector<Case> cases = {{u"\\..\\..\\pwn", u"1.0", u"W"}, {u"..", u"1.0", u"W"},
                             {u"Dot.", u"1.0", u"W"},           {u"A", u"1/2", u"W"},
                             {u"A", u"1.0", u"W|F|C:\\x"},      {u"Tab\t", u"1.0", u"W"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(std::wstring(c.name.begin(), c.name.end())));
    PackageContents contents = Product(L"Sec Name");
    contents.product_name = c.name;
    contents.product_version = c.version;
    contents.window_class = c.window_class;
    std::wstring setup_exe = scratch_ / L"setup.exe";
    ASSERT_TRUE(BuildSetup(setup_exe, contents));
    AnsweredRun run = RunAnsweringMessageBoxes(Quoted(setup_exe), kRunTimeout, IDOK,
                                               scratch_.path().c_str());
    ASSERT_EQ(run.boxes.size(), 1u) << "the dialog never shows, only the fatal box";
    EXPECT_EQ(run.boxes[0].text, kCorrupt);
  }
}

// Folder and entry names that lead out of the installation folder: Install refuses them
// before anything is written.
TEST_F(SetupAttack, NamesLeadingOutOfTheInstallationFolderAreRefused) {
  const std::wstring dir = scratch_ / L"inst\\deep";
  struct Case {
    std::string folder, entry;
  };
  std::vector<Case> cases = {{"", "..\\..\\evil.txt"},      {"", "C:\\evil.txt"},
                             {"", "sub/../../../evil.txt"}, {"", "\\\\server\\share\\evil.txt"},
                             {"", "stream.txt:evil"},       {"..", "ok.txt"},
                             {"sub\\. .", "ok.txt"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder + " / " + c.entry);
    PackageContents contents = Product(L"Sec Entry");
    if (!c.folder.empty()) contents.folders.push_back(c.folder);
    AddEntry(contents, 0, c.entry, "evil");
    SetupSession setup(scratch_ / L"setup.exe", contents);
    ASSERT_TRUE(setup.ok());
    setup.SetFolder(dir);
    setup.Click(IDC_LICENSE_AGREE);
    setup.Press(IDOK);
    MessageBoxSeen box = setup.WaitForBox(L"Fatal error");
    ASSERT_NE(box.window, (HWND)NULL);
    EXPECT_EQ(box.text, kCorrupt);
    PressButton(box.window, IDOK);
    EXPECT_EQ(setup.WaitForExit(), 0u);
    EXPECT_FALSE(FolderExists(scratch_ / L"inst")) << "something was written";
    EXPECT_FALSE(FileExists(scratch_ / L"evil.txt"));
  }
}

// A folder that is not absolute would be made below setup's current folder and registered
// in a form no uninstall finds: refused like an empty one, with the folder as typed.
TEST_F(SetupAttack, FolderThatIsNotAbsoluteIsRefusedAsTyped) {
  for (const wchar_t* typed : {L"PelicanRel", L"C:PelicanRel", L"\\PelicanRel"}) {
    SCOPED_TRACE(Narrow(typed));
    PackageContents contents = Product(L"Sec Relative");
    ASSERT_TRUE(BuildSetup(scratch_ / L"setup.exe", contents));
    SetupSession setup(scratch_ / L"setup.exe", SetupCaption(contents));
    ASSERT_TRUE(setup.ok());
    setup.SetFolder(typed);
    setup.Click(IDC_LICENSE_AGREE);
    setup.Press(IDOK);
    MessageBoxSeen box = setup.WaitForBox(L"Fatal error");
    ASSERT_NE(box.window, (HWND)NULL);
    EXPECT_EQ(box.text, std::wstring(L"Could not create folder [1]\n>") + typed);
    PressButton(box.window, IDOK);
    EXPECT_EQ(setup.WaitForExit(), 0u);
  }
  EXPECT_FALSE(FolderExists(BinDir() + L"PelicanRel"));
  EXPECT_FALSE(FolderExists(L"C:\\PelicanRel"));
  EXPECT_FALSE(RegistryKeyExists(HKEY_LOCAL_MACHINE,
                                 std::wstring(kUninstallKeys) + L"KOZ Soft Sec Relative 2.5"));
}

// The list an elevated setup gives each level of the installation folder it creates.
// Wine accepts it when the folder is made but keeps no access lists, so it cannot be read
// back from the folder here; this is the descriptor the setup builds.
TEST(InstallFolderAccess, CreatedFoldersGetProgramFilesLikeList) {
  PSECURITY_DESCRIPTOR descriptor = NULL;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
      INSTALL_FOLDER_SDDL, SDDL_REVISION_1, &descriptor, NULL));
  SECURITY_DESCRIPTOR_CONTROL control = 0;
  DWORD revision = 0;
  ASSERT_TRUE(GetSecurityDescriptorControl(descriptor, &control, &revision));
  EXPECT_TRUE(control & SE_DACL_PROTECTED) << "nothing inherited from the drive root";

  BOOL present = FALSE, defaulted = FALSE;
  PACL acl = NULL;
  ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted));
  ASSERT_TRUE(present);
  ASSERT_NE(acl, (PACL)NULL) << "a NULL list would admit everybody";
  struct Expected {
    const wchar_t* sid;
    DWORD mask;
  } expected[] = {{L"S-1-5-18", FILE_ALL_ACCESS},                                 // SYSTEM
                  {L"S-1-5-32-544", FILE_ALL_ACCESS},                             // Administrators
                  {L"S-1-5-32-545", FILE_GENERIC_READ | FILE_GENERIC_EXECUTE}};  // Users
  ASSERT_EQ(acl->AceCount, 3u);
  for (DWORD i = 0; i < acl->AceCount; ++i) {
    SCOPED_TRACE(i);
    ACCESS_ALLOWED_ACE* ace = NULL;
    ASSERT_TRUE(GetAce(acl, i, (void**)&ace));
    EXPECT_EQ(ace->Header.AceType, ACCESS_ALLOWED_ACE_TYPE);
    EXPECT_EQ(ace->Header.AceFlags, OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE);
    EXPECT_EQ(ace->Mask, expected[i].mask);
    PSID sid = NULL;
    ASSERT_TRUE(ConvertStringSidToSidW(expected[i].sid, &sid));
    EXPECT_TRUE(EqualSid((PSID)&ace->SidStart, sid));
    LocalFree(sid);
  }
  LocalFree(descriptor);
}

}  // namespace
