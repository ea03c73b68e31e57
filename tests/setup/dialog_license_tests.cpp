// "Show License": the package's licence document written once into a private folder below
// the temporary folder, opened maximised in the ".htm" viewer, and removed with its folder
// when the dialog closes.
#include <gtest/gtest.h>
#include <shlwapi.h>

#include "setup/resource.h"
#include "harness/registry.h"
#include "harness/second_phase.h"
#include "harness/setup_session.h"

namespace {

// alpha.exe stands in for the ".htm" viewer: it records how it was started and opens a
// window (shown with the show command it was given) until it is closed.
const wchar_t kViewerWindowClass[] = L"AlphaWnd";
const wchar_t kViewerProgId[] = L"DialogTestLicenceViewer";

// Registers `viewer` as the program that opens ".htm" files, and undoes it when it goes.
// Wine's HKEY_CLASSES_ROOT does not merge the per-user classes, so the machine's own
// ".htm" key is changed and restored.
class ScopedHtmlViewer {
 public:
  explicit ScopedHtmlViewer(const std::wstring& viewer) {
    RegistryString old = ReadRegistryString(HKEY_CLASSES_ROOT, L".htm", NULL);
    had_key_ = RegistryKeyExists(HKEY_CLASSES_ROOT, L".htm");
    had_value_ = old.found;
    old_value_ = old.value;
    SetDefault(L".htm", kViewerProgId);
    SetDefault(std::wstring(kViewerProgId) + L"\\shell\\open\\command",
               Quoted(viewer) + L" \"%1\"");
  }
  ~ScopedHtmlViewer() {
    SHDeleteKeyW(HKEY_CLASSES_ROOT, kViewerProgId);
    if (!had_key_) {
      SHDeleteKeyW(HKEY_CLASSES_ROOT, L".htm");
    } else if (had_value_) {
      SetDefault(L".htm", old_value_);
    } else {
      SHDeleteValueW(HKEY_CLASSES_ROOT, L".htm", NULL);
    }
  }

 private:
  static void SetDefault(const std::wstring& subkey, const std::wstring& value) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyW(HKEY_CLASSES_ROOT, subkey.c_str(), &key), ERROR_SUCCESS);
    RegSetValueExW(key, NULL, 0, REG_SZ, (const BYTE*)value.c_str(),
                   (DWORD)(value.size() + 1) * sizeof(wchar_t));
    RegCloseKey(key);
  }
  bool had_key_ = false;
  bool had_value_ = false;
  std::wstring old_value_;
};

// A licence document with every kind of byte the writer must keep: NUL, high bytes,
// CR LF, and more than one disk block.
std::string LicenceBytes(char fill) {
  std::string bytes = "<html><body>Licence\r\n";
  for (int i = 0; i < 5000; ++i) bytes += (char)(i % 7 == 0 ? 0 : (i * 31 + fill) & 0xFF);
  return bytes + "\xFF\xFE\x00</body></html>\n";
}

// Each test's private temporary folder (TMP and TEMP of the setup process), record file
// and viewer.
class LicenceTest : public ::testing::Test {
 protected:
  LicenceTest() : temp_(scratch_.temp), viewer_(scratch_ / L"viewer.exe") {
    CopyForTest(AlphaExe(), viewer_);
  }
  ~LicenceTest() override {
    EXPECT_TRUE(CloseWindowsOfClass(kViewerWindowClass, kWindowTimeoutMs));
  }

  // The document's path as the viewer received it, for each start of the viewer so far,
  // after waiting for at least `count` of them (up to `timeout_ms`).
  std::vector<std::wstring> Opened(size_t count, DWORD timeout_ms = kWindowTimeoutMs) const {
    std::vector<std::wstring> documents;
    for (const ProgramStart& start : scratch_.starts.Wait(count, timeout_ms)) {
      documents.push_back(OpenedPath(start.command));
    }
    return documents;
  }

  // The package: the uninstaller first (its flags 0xFFFE include the licence bit but it
  // never counts), then an ordinary file, the licence with a Programs shortcut (0x000C),
  // and a second licence document that must never be shown.
  TestPackageContents LicencePackage(const std::wstring& name) {
    TestPackageContents contents = DialogTestPackage(name);
    AddUninstallerEntry(contents, L"alpha.exe");
    AddEntry(contents, 0, "readme.txt", "read me");
    AddEntry(contents, ENTRY_PROGRAMS_SHORTCUT | ENTRY_LICENSE_DOCUMENT, "license.htm",
             LicenceBytes('a'));
    AddEntry(contents, ENTRY_LICENSE_DOCUMENT, "second.htm", LicenceBytes('b'));
    return contents;
  }

  // Presses "Show License" and returns the document the viewer was started on; "" when it
  // was not started.
  std::wstring ShowLicence(SetupSession& setup) {
    setup.Press(IDC_SHOW_LICENSE);
    std::vector<std::wstring> opened = Opened(1);
    return opened.size() == 1 ? opened[0] : L"";
  }

  // Runs the setup of licence package `name` with `temp` as its temporary folder, and
  // presses "Show License" and Exit.
  void ShowLicenceWithTemporaryFolder(const std::wstring& name, const std::wstring& temp) {
    SCOPED_TRACE(Utf8(name));
    TestPackageContents contents = LicencePackage(name);
    ASSERT_TRUE(BuildSetup(scratch_ / L"setup.exe", contents));
    TemporaryFolderAt temp_at(temp);
    SetupSession setup(scratch_ / L"setup.exe", SetupCaption(contents));
    ASSERT_TRUE(setup.ok());
    setup.SendCommand(IDC_SHOW_LICENSE);
    EXPECT_EQ(setup.PressExit(), 0u);
  }

  // The files the setup process made in its temporary folder.
  std::vector<std::wstring> TempFiles() const { return FolderContents(temp_); }

  // The one private folder ("koz-" and eight hexadecimal digits) the setup process made in
  // its temporary folder, or "" when there is not exactly one.
  std::wstring PrivateFolder() const {
    std::vector<std::wstring> names = TempFiles();
    if (names.size() != 1 || !IsPrivateFolderName(names[0])) return L"";
    return temp_ + L"\\" + names[0];
  }

  // The second quoted argument of the viewer's command line.
  static std::wstring OpenedPath(const std::wstring& command) {
    size_t end = command.rfind(L'"');
    size_t begin = command.rfind(L'"', end - 1);
    if (end == std::wstring::npos || begin == std::wstring::npos) return L"";
    return command.substr(begin + 1, end - begin - 1);
  }

  SetupScratch scratch_;
  const std::wstring& temp_;
  std::wstring viewer_;
  ScopedHtmlViewer html_{viewer_};
};

TEST_F(LicenceTest, FirstClickWritesTheFirstDocumentByteForByteAndOpensItMaximised) {
  SetupSession setup(scratch_ / L"setup.exe", LicencePackage(L"Dlg Licence"));
  ASSERT_TRUE(setup.ok());
  std::wstring document = ShowLicence(setup);
  ASSERT_FALSE(document.empty());

  // In a private folder of its own: the reservation "koz<hex>.tmp" and the document
  // "koz<hex>.tmp.htm" beside it.
  std::wstring folder = PrivateFolder();
  ASSERT_FALSE(folder.empty());
  std::vector<std::wstring> files = FolderContents(folder);
  ASSERT_EQ(files.size(), 2u);
  std::wstring reserved = files[0].size() < files[1].size() ? files[0] : files[1];
  EXPECT_EQ(reserved.substr(0, 3), L"koz");
  EXPECT_EQ(lstrcmpiW(PathFindExtensionW(reserved.c_str()), L".tmp"), 0);
  EXPECT_EQ(lstrcmpiW(document.c_str(), (folder + L"\\" + reserved + L".htm").c_str()), 0)
      << Utf8(document);
  EXPECT_EQ(FileText(document), LicenceBytes('a'));
  EXPECT_TRUE(ReadBytes(folder + L"\\" + reserved).empty());

  // Opened maximised.
  HWND viewer = WaitForWindow(0, kViewerWindowClass, NULL, kWindowTimeoutMs);
  ASSERT_NE(viewer, (HWND)NULL);
  EXPECT_TRUE(IsZoomed(viewer));
  EXPECT_TRUE(CloseWindowsOfClass(kViewerWindowClass, kWindowTimeoutMs));

  // The viewer changed the file: a second click opens it again without rewriting it.
  WriteText(document, "changed by the viewer");
  setup.Press(IDC_SHOW_LICENSE);
  std::vector<std::wstring> opened = Opened(2);
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[1], document);
  EXPECT_EQ(FileText(document), "changed by the viewer");
  EXPECT_TRUE(CloseWindowsOfClass(kViewerWindowClass, kWindowTimeoutMs));

  // The viewer removed it: the shell is asked to open it again by name, and it is not
  // written again. The shell itself reports the missing file (Wine and Windows show a
  // box owned by the dialog); the setup program reports nothing.
  DeleteFileW(document.c_str());
  setup.Press(IDC_SHOW_LICENSE);
  HWND shell_box = setup.WaitForOtherDialog(5000);
  if (shell_box != NULL) {
    PressButton(shell_box, IDOK);
    EXPECT_TRUE(WaitForWindowGone(shell_box, kWindowTimeoutMs));
  }
  EXPECT_FALSE(FileExists(document));
  EXPECT_EQ(FolderContents(folder).size(), 1u);
  EXPECT_EQ(Opened(3, 1000).size(), 2u);

  EXPECT_EQ(setup.PressExit(), 0u);
}

TEST_F(LicenceTest, DocumentIsRemovedWithItsFolderWhenTheDialogCloses) {
  SetupSession setup(scratch_ / L"setup.exe", LicencePackage(L"Dlg Licence Close"));
  ASSERT_TRUE(setup.ok());
  std::wstring document = ShowLicence(setup);
  ASSERT_FALSE(document.empty());
  EXPECT_TRUE(FileExists(document));
  EXPECT_TRUE(CloseWindowsOfClass(kViewerWindowClass, kWindowTimeoutMs));

  EXPECT_EQ(setup.PressExit(), 0u);
  EXPECT_FALSE(FileExists(document));
  // The reservation and the private folder go too: nothing is left in the temporary folder.
  EXPECT_TRUE(TempFiles().empty());
}

TEST_F(LicenceTest, WithoutLicenceDocumentNothingIsWrittenOpenedOrDeleted) {
  TestPackageContents contents = DialogTestPackage(L"Dlg No Licence");
  AddUninstallerEntry(contents, L"alpha.exe");
  AddEntry(contents, ENTRY_LAUNCH | ENTRY_PROGRAMS_SHORTCUT, "alpha.exe", "program");
  SetupSession setup(scratch_ / L"setup.exe", contents);
  ASSERT_TRUE(setup.ok());
  // A file that looks like a leftover licence document stays untouched.
  WriteText(temp_ + L"\\koz1.tmp.htm", "someone else's");
  setup.SendCommand(IDC_SHOW_LICENSE);
  setup.SendCommand(IDC_SHOW_LICENSE);
  EXPECT_EQ(setup.PressExit(), 0u);
  EXPECT_EQ(TempFiles(), std::vector<std::wstring>{L"koz1.tmp.htm"});
  EXPECT_TRUE(Opened(1, 1000).empty());
}

TEST_F(LicenceTest, NoUniqueTemporaryNameMeansNothingIsExtractedOrOpened) {
  // A temporary folder that does not exist: no unique name can be made in it.
  std::wstring missing = scratch_ / L"missing";
  ShowLicenceWithTemporaryFolder(L"Dlg Licence Missing", missing);
  EXPECT_FALSE(FolderExists(missing));
  EXPECT_TRUE(TempFiles().empty());
  EXPECT_TRUE(Opened(1, 1000).empty());
}

TEST_F(LicenceTest, NameWithoutRoomForTheExtensionMeansNothingIsExtractedOrOpened) {
  // A temporary folder of 233 characters: a private folder in it has 246, and any
  // "koz<hex>.tmp.htm" name in that would not fit a path buffer.
  std::wstring deep = temp_;
  while (deep.size() < 233) {
    size_t room = 233 - deep.size() - 1;
    deep += L"\\" + std::wstring(room < 60 ? room : 60, L'd');
    ASSERT_TRUE(CreateDirectoryW(deep.c_str(), NULL)) << Utf8(deep);
  }
  ASSERT_EQ(deep.size(), 233u);
  ShowLicenceWithTemporaryFolder(L"Dlg Licence Deep", deep);
  // No private folder is made when the name would not fit in it: nothing is left.
  EXPECT_TRUE(FolderContents(deep).empty());
  EXPECT_TRUE(Opened(1, 1000).empty());
}

}  // namespace
