// pack.exe as a publisher meets it: packing manifests into real executables, listing them,
// and refusing what the installer could not take, each time as a child process under the
// same Wine as the installer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "harness/console_child.h"
#include "harness/package_builder.h"
#include "harness/probe_run.h"
#include "harness/process.h"
#include "harness/scratch.h"
#include "harness/timeouts.h"
#include "packer/core/manifest.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The bytes of a package laid out field by field, written here independently of the
// packing tool's writer.
struct Layout {
  Bytes bytes;
  void U8(uint8_t value) { bytes.push_back(value); }
  void U16(uint16_t value) {
    U8((uint8_t)value);
    U8((uint8_t)(value >> 8));
  }
  void U32(uint32_t value) {
    U16((uint16_t)value);
    U16((uint16_t)(value >> 16));
  }
  void Text(const std::string& text) { bytes.insert(bytes.end(), text.begin(), text.end()); }
  void StringField(const std::wstring& text) {
    for (size_t unit = 0; unit < 32; ++unit) U16(unit < text.size() ? text[unit] : 0);
  }
  void Header(const std::wstring& name, const std::wstring& version, const std::wstring& window,
              const uint8_t options[6]) {
    U32(204);
    StringField(name);
    StringField(version);
    StringField(window);
    for (int k = 0; k < 6; ++k) U8(options[k]);
    U16(0);
  }
  void Folder(const std::string& name) {
    U8((uint8_t)name.size());
    Text(name);
  }
  // Returns the offset of the record's data.
  size_t Record(uint16_t flags, const std::string& name, const std::string& data) {
    U16(flags);
    Text(name);
    U8(0);
    U32((uint32_t)data.size());
    size_t offset = bytes.size();
    Text(data);
    return offset;
  }
};

const char kFakeUninstaller[] = "MZ fake uninstaller";

// A scratch folder holding a product's files, its manifest and a fake uninstaller.
struct Product {
  ScratchFolder scratch;
  void File(const std::wstring& name, const std::string& content) {
    WriteText(scratch / name, content);
  }
  void Files(const std::vector<std::pair<std::wstring, std::string>>& files) {
    for (const auto& file : files) File(file.first, file.second);
  }
  std::wstring Path(const std::wstring& name) const { return scratch / name; }
  // Arguments for an explicit stub (the probe) and uninstaller.
  std::wstring TestParts() const {
    return L"--stub " + Quoted(BinDir() + L"package_probe.exe") + L" --uninstaller " +
           Quoted(Path(L"fake-uninstall.exe"));
  }
  Product() { WriteText(scratch / L"fake-uninstall.exe", kFakeUninstaller); }
};

// ---------------------------------------------------------------------------------------

TEST(PackTool, RoundTripIsByteExactAgainstTheLayout) {
  Product product;
  std::string program("MZ\x00\xFF program\r\n", 14);
  product.Files({{L"readme.txt", "read me\r\n"}, {L"hilfe.txt", "Hilfe"},
                 {L"license.html", "<html>licence</html>"}, {L"alpha.exe", program},
                 {L"empty.dat", ""}, {L"notes.txt", "x"}});
  product.File(L"app.ini",
               "[product]\n"
               "name = Alpha Caf\xC3\xA9\n"
               "version = 1.0\n"
               "window_class = AlphaWnd\n"
               "[options]\n"
               "allow_run_once = 1\n"
               "default_programs = 1\n"
               "default_launch = 1\n"
               "[files]\n"
               "readme.txt = readme.txt\n"
               "help\\de\\hilfe.txt = hilfe.txt\n"
               "license.html = license.html | license programs\n"
               "bin\\alpha.exe = alpha.exe | desktop startup programs launch\n"
               "empty.dat = empty.dat\n"
               "caf\xC3\xA9.txt = notes.txt | 0x20\n"
               "[folders]\n"
               "data\\cache\n");
  ConsoleRun run = RunPack(L"app.ini -o setup.exe " + product.TestParts(), product.scratch.path());
  ASSERT_EQ(run.exit_code, 0u) << run.err;
  EXPECT_EQ(run.err, "");

  Layout expected;
  const uint8_t options[6] = {1, 0, 0, 0, 1, 1};
  expected.Header(L"Alpha Caf\u00e9", L"1.0", L"AlphaWnd", options);
  for (const char* folder : {"help", "help\\de", "bin", "data", "data\\cache"}) {
    expected.Folder(folder);
  }
  expected.U8(0);
  expected.Record(0xFFFE, "uninstall.exe", kFakeUninstaller);
  expected.Record(0, "readme.txt", "read me\r\n");
  expected.Record(0, "help\\de\\hilfe.txt", "Hilfe");
  size_t license = expected.Record(0x000C, "license.html", "<html>licence</html>");
  size_t alpha = expected.Record(0x0017, "bin\\alpha.exe", program);
  expected.Record(0, "empty.dat", "");
  expected.Record(0x0020, "caf\xE9.txt", "x");
  expected.U16(0xFFFF);
  EXPECT_EQ(run.out, "setup.exe: 7 entries, 5 folders, package of " +
                         std::to_string(expected.bytes.size()) + " bytes\n");

  EmbeddedPackage embedded = ReadEmbeddedPackage(product.Path(L"setup.exe"));
  ASSERT_TRUE(embedded.found);
  EXPECT_EQ(embedded.bytes, expected.bytes);
  EXPECT_FALSE(FileExists(product.Path(L"setup.exe.partial")));

  // The installer's reader, inside the built executable, sees the same records.
  ProbeOutcome outcome = RunProbe(product.Path(L"setup.exe"), product.scratch.path());
  ASSERT_TRUE(outcome.finished) << Utf8(outcome.fatal_text);
  wchar_t e_acute = 0;
  MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, "\xE9", 1, &e_acute, 1);
  std::vector<std::string> launch = {
      "launch 0017 " + std::to_string(alpha) + " 14 bin\\alpha.exe"};
  std::vector<std::string> seen_launch, seen_entries;
  for (const std::string& line : outcome.report) {
    if (line.compare(0, 7, "launch ") == 0) seen_launch.push_back(line);
    if (line.compare(0, 6, "entry ") == 0) seen_entries.push_back(line);
  }
  EXPECT_EQ(seen_launch, launch);
  ASSERT_EQ(seen_entries.size(), 7u);
  EXPECT_EQ(seen_entries[6], "entry 0020 " + std::to_string(expected.bytes.size() - 3) +
                                 " 1 caf" + Utf8(std::wstring(1, e_acute)) + ".txt");
  EXPECT_EQ(outcome.report[6],
            "licence 000c " + std::to_string(license) + " 20 license.html");
  EXPECT_EQ(outcome.report[2], "product_name Alpha Caf\xC3\xA9");
}

TEST(PackTool, ListShowsTheHeaderFoldersAndEveryEntry) {
  Product product;
  product.Files({{L"readme.txt", "read me\r\n"}, {L"alpha.exe", "MZ alpha"}});
  product.File(L"app.ini",
               "[product]\nname = Alpha\nversion = 1.0\nwindow_class = AlphaWnd\n"
               "[options]\nallow_run_once = 1\n"
               "[files]\nreadme.txt = readme.txt\n"
               "bin\\alpha.exe = alpha.exe | desktop startup programs launch\n");
  ASSERT_EQ(RunPack(L"app.ini -o setup.exe " + product.TestParts(), product.scratch.path())
                .exit_code,
            0u);
  ConsoleRun list = RunPack(L"--list setup.exe", product.scratch.path());
  EXPECT_EQ(list.exit_code, 0u) << list.err;
  EXPECT_EQ(list.err, "");
  size_t size = 204 + 5 + (2 + 14 + 4 + 19) + (2 + 11 + 4 + 9) + (2 + 14 + 4 + 8) + 2;
  EXPECT_EQ(list.out,
            std::string("arch: ") + (sizeof(void*) == 8 ? "x64" : "x86") + "\n"
            "package: " + std::to_string(size) + " bytes\n"
            "header_size: 204\n"
            "product_name: Alpha\n"
            "product_version: 1.0\n"
            "window_class: AlphaWnd\n"
            "allow_run_once: 1\n"
            "log_executables: 0\n"
            "default_desktop: 0\n"
            "default_startup: 0\n"
            "default_programs: 0\n"
            "default_launch: 0\n"
            "folders: 1\n"
            "  bin\n"
            "entries: 3\n"
            "        size  flags                                     name\n"
            "          19  uninstaller                               uninstall.exe\n"
            "           9  -                                         readme.txt\n"
            "           8  desktop startup programs launch           bin\\alpha.exe\n"
            "end marker: offset " + std::to_string(size - 2) + "\n");
}

TEST(PackTool, ListReportsAMalformedPackageAndWhatCameBefore) {
  ScratchFolder scratch;
  TestPackageContents contents = TestPackage();
  AddEntry(contents, 0, "first.txt", "one");
  AddEntry(contents, 0, "second.txt", "two");
  Bytes bytes = PackageBytes(contents);
  bytes.resize(bytes.size() - 4);  // the second record's data is cut short
  ASSERT_TRUE(EmbedPackageBytes(L"package_probe.exe", scratch / L"broken.exe", bytes));
  ConsoleRun list = RunPack(L"--list broken.exe", scratch.path());
  EXPECT_EQ(list.exit_code, 1u);
  size_t second = 204 + 1 + (2 + 10 + 4 + 3);
  EXPECT_EQ(list.err, "broken.exe: the package is malformed: an entry record runs past the end "
                      "of the package at offset " + std::to_string(second) + "\n");
  EXPECT_NE(list.out.find("product_name: Test Product\n"), std::string::npos);
  EXPECT_NE(list.out.find("           3  -                                         first.txt\n"),
            std::string::npos);

  Bytes header_only(bytes.begin(), bytes.begin() + 100);
  ASSERT_TRUE(EmbedPackageBytes(L"package_probe.exe", scratch / L"short.exe", header_only));
  list = RunPack(L"--list short.exe", scratch.path());
  EXPECT_EQ(list.exit_code, 1u);
  EXPECT_EQ(list.err, "short.exe: the package header is malformed (too short, header_size "
                      "beyond the package, or a string without terminator)\n");
}

TEST(PackTool, ListRefusesProgramsWithoutAPackage) {
  ConsoleRun list = RunPack(L"--list package_probe.exe", BinDir());
  EXPECT_EQ(list.exit_code, 1u);
  EXPECT_EQ(list.err, "package_probe.exe: no package (resource RT_RCDATA 9999) in it\n");
  ScratchFolder scratch;
  WriteText(scratch / L"text.exe", "not a program");
  list = RunPack(L"--list text.exe", scratch.path());
  EXPECT_EQ(list.exit_code, 1u);
  EXPECT_EQ(list.err, "text.exe: not a Windows program\n");
}

TEST(PackTool, DefaultsAreTheStubAndUninstallerNextToPackExe) {
  ASSERT_TRUE(FileExists(BinDir() + L"setup-stub.exe"));
  ASSERT_TRUE(FileExists(BinDir() + L"uninstall.exe"));
  Product product;
  product.File(L"readme.txt", "read me");
  product.File(L"app.ini",
               "[product]\nname = Alpha\nversion = 1.0\nwindow_class = AlphaWnd\n"
               "[files]\nreadme.txt = readme.txt\n");
  ConsoleRun run = RunPack(L"app.ini -o setup.exe", product.scratch.path());
  ASSERT_EQ(run.exit_code, 0u) << run.err;

  EmbeddedPackage embedded = ReadEmbeddedPackage(product.Path(L"setup.exe"));
  ASSERT_TRUE(embedded.found);
  std::vector<unsigned char> uninstaller = ReadBytes(BinDir() + L"uninstall.exe");
  Layout expected;
  const uint8_t options[6] = {};
  expected.Header(L"Alpha", L"1.0", L"AlphaWnd", options);
  expected.U8(0);
  expected.Record(0xFFFE, "uninstall.exe", std::string(uninstaller.begin(), uninstaller.end()));
  expected.Record(0, "readme.txt", "read me");
  expected.U16(0xFFFF);
  EXPECT_EQ(embedded.bytes, expected.bytes);

  // The output is the setup stub: it carries the stub's dialog template 101.
  HMODULE output = LoadLibraryExW(product.Path(L"setup.exe").c_str(), NULL,
                                  LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(output, (HMODULE)NULL);
  EXPECT_NE(FindResourceW(output, MAKEINTRESOURCEW(101), (LPCWSTR)RT_DIALOG), (HRSRC)NULL);
  FreeLibrary(output);
}

TEST(PackTool, DefaultsAreLookedForNextToPackExeNotInTheCurrentFolder) {
  Product product;
  product.File(L"readme.txt", "read me");
  product.File(L"app.ini",
               "[product]\nname = Alpha\nversion = 1.0\nwindow_class = AlphaWnd\n"
               "[files]\nreadme.txt = readme.txt\n");
  ASSERT_TRUE(CreateDirectoryW(product.Path(L"tool").c_str(), NULL));
  ASSERT_TRUE(CopyFileW(PackExe().c_str(), product.Path(L"tool\\pack.exe").c_str(), FALSE));
  // Decoys in the current folder must not be taken.
  CopyFileW((BinDir() + L"setup-stub.exe").c_str(), product.Path(L"setup-stub.exe").c_str(), FALSE);
  CopyFileW((BinDir() + L"uninstall.exe").c_str(), product.Path(L"uninstall.exe").c_str(), FALSE);
  ConsoleRun run = RunConsoleChild(Quoted(product.Path(L"tool\\pack.exe")) +
                                       L" app.ini -o setup.exe",
                                   kPackTimeoutMs, product.scratch.path().c_str());
  EXPECT_EQ(run.exit_code, 1u);
  std::string tool = Utf8(product.Path(L"tool\\"));
  EXPECT_EQ(run.err, "the uninstaller \"" + tool + "uninstall.exe\" is not a readable program "
                     "file\nthe setup stub \"" + tool + "setup-stub.exe\" is not a file\n"
                     "pack.exe: 2 problems; nothing written\n");
  EXPECT_FALSE(FileExists(product.Path(L"setup.exe")));
}

TEST(PackTool, RefusalsNameTheManifestLineAndWriteNothing) {
  Product product;
  product.File(L"a.txt", "a");
  product.File(L"app.ini",
               "[product]\n"
               "name = A product name that is far too long\n"   // 2
               "version = 1#0\n"                                 // 3
               "window_class = Wnd|Class\n"                      // 4
               "[files]\n"                                       // 5
               "a.txt = a.txt\n"                                 // 6
               "A.TXT = a.txt\n"                                 // 7
               "..\\outside.txt = a.txt\n"                       // 8
               "C:\\Windows\\evil.dll = a.txt\n"                 // 9
               "\xE4\xB8\xAD.txt = a.txt\n"                      // 10
               "missing.txt = missing.txt\n"                     // 11
               "second.exe = a.txt | uninstaller\n"              // 12
               "x.txt = a.txt | 0xFFFE\n" +                      // 13
                   std::string(161, 'n') + " = a.txt\n");        // 14
  WriteText(product.Path(L"setup.exe"), "the previous build");
  ConsoleRun run = RunPack(L"app.ini -o setup.exe " + product.TestParts(), product.scratch.path());
  EXPECT_EQ(run.exit_code, 1u);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err,
            "app.ini:2: name \"A product name that is far too long\" has 35 UTF-16 units; at "
            "most 31 fit the header\n"
            "app.ini:3: version \"1#0\" contains \"#\", which the installer and its log use as "
            "separators\n"
            "app.ini:4: window_class \"Wnd|Class\" contains \"|\", which the installer and its "
            "log use as separators\n"
            "app.ini:7: duplicate target \"A.TXT\" (first at line 6 as \"a.txt\"); Windows "
            "takes names that differ only in case for the same file\n"
            "app.ini:8: target \"..\\outside.txt\" leaves the installation folder (\"..\")\n"
            "app.ini:9: target \"C:\\Windows\\evil.dll\" is an absolute path; it must be "
            "relative to the installation folder\n"
            "app.ini:10: target \"\xE4\xB8\xAD.txt\" contains U+4E2D, which the Windows-1252 "
            "code page cannot store\n"
            "app.ini:11: source \"missing.txt\" not found\n"
            "app.ini:12: a second uninstaller (flag \"uninstaller\"); pack.exe adds the one "
            "uninstaller\n"
            "app.ini:13: a second uninstaller (flags 0xFFFE); pack.exe adds the one "
            "uninstaller\n"
            "app.ini:14: target \"" + std::string(161, 'n') + "\" is 161 bytes long; at most "
            "160 fit the installer's path buffers\n"
            "pack.exe: 11 problems; nothing written\n");
  // The previous output is left as it was, and no temporary file stays behind.
  EXPECT_EQ(FileText(product.Path(L"setup.exe")), "the previous build");
  EXPECT_FALSE(FileExists(product.Path(L"setup.exe.partial")));
}

// The system's own words, not a bare error number. (Wine's texts are shorter than
// Windows' own, "File not found." for "The system cannot find the file specified.")
TEST(PackTool, ManifestOrOutputFolderThatIsMissingIsNamedWithTheSystemsText) {
  Product product;
  product.File(L"a.txt", "a");
  product.File(L"app.ini", "[product]\nname = A\nversion = 1\nwindow_class = W\n"
                           "[files]\na.txt = a.txt\n");
  struct Case {
    const wchar_t* arguments;
    std::string start;
  } cases[] = {{L"nothing.ini -o setup.exe", "cannot open the manifest \"nothing.ini\": "},
               {L"app.ini -o missing\\setup.exe", "cannot create \"missing\\setup.exe.partial-"}};
  for (const Case& c : cases) {
    ConsoleRun run = RunPack(std::wstring(c.arguments) + L" " + product.TestParts(),
                          product.scratch.path());
    EXPECT_EQ(run.exit_code, 1u);
    ASSERT_EQ(run.err.find(c.start), 0u) << run.err;
    std::string text = run.err.substr(c.start.size(), run.err.find('\n') - c.start.size());
    EXPECT_GT(text.size(), 5u) << run.err;
    EXPECT_EQ(text.find("error"), std::string::npos) << run.err;
  }
}

TEST(PackTool, UsageErrorsExitWithTwoAndShowTheUsage) {
  ScratchFolder scratch;
  struct Case {
    const wchar_t* arguments;
    const char* problem;
  } cases[] = {
      {L"", "no manifest given"},
      {L"app.ini", "no output given (-o OUTPUT.exe)"},
      {L"app.ini -o", "-o needs a value"},
      {L"app.ini -o a.exe -o b.exe", "-o given twice"},
      {L"app.ini other.ini -o a.exe", "more than one manifest: other.ini"},
      {L"app.ini -o a.exe --fast", "unknown option --fast"},
      {L"--list a.exe -o b.exe", "--list takes no other arguments"},
      {L"app.ini -o a.exe --sign signtool", "--sign needs {file} where the file to sign goes"},
      {L"--init dist --stub s.exe", "--init takes -o, --name and --version only, not --stub"},
      {L"--init dist --version", "--version needs a value"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Utf8(c.arguments));
    ConsoleRun run = RunPack(c.arguments, scratch.path());
    EXPECT_EQ(run.exit_code, 2u);
    EXPECT_EQ(run.err.find(std::string("pack.exe: ") + c.problem + "\nusage: pack.exe MANIFEST"),
              0u)
        << run.err;
  }
  ConsoleRun help = RunPack(L"--help", scratch.path());
  EXPECT_EQ(help.exit_code, 0u);
  EXPECT_EQ(help.out.find("usage: pack.exe MANIFEST -o OUTPUT.exe [--stub STUB.exe] "
                          "[--uninstaller UNINSTALL.exe]\n"
                          "       pack.exe MANIFEST -o OUTPUT.exe --sign 'COMMAND {file}'\n"
                          "       pack.exe --list SETUP.exe\n"
                          "       pack.exe --init FOLDER [-o MANIFEST.ini] [--name NAME] "
                          "[--version VERSION]\n"
                          "       pack.exe --version\n"),
            0u);
  ConsoleRun version = RunPack(L"--version", scratch.path());
  EXPECT_EQ(version.exit_code, 0u);
  EXPECT_EQ(version.out.find("pack.exe 1."), 0u) << version.out;
}

// Makes a sparse file of `size` bytes: the size is checked, the content never read.
void MakeSparseFile(const std::wstring& path, uint64_t size) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER position;
  position.QuadPart = (LONGLONG)size;
  EXPECT_TRUE(SetFilePointerEx(file, position, NULL, FILE_BEGIN));
  EXPECT_TRUE(SetEndOfFile(file));
  CloseHandle(file);
}

TEST(PackTool, ProductsAboveTheLimitAreRefusedBeforeAnythingIsRead) {
  Product product;
  MakeSparseFile(product.Path(L"big.bin"), kMaxPackageBytes);
  MakeSparseFile(product.Path(L"huge.bin"), 0x100000001ull);
  product.File(L"big.ini",
               "[product]\nname = Big\nversion = 1\nwindow_class = BigWnd\n"
               "[files]\nbig.bin = big.bin\n");
  product.File(L"huge.ini",
               "[product]\nname = Big\nversion = 1\nwindow_class = BigWnd\n"
               "[files]\nhuge.bin = huge.bin\n");
  ConsoleRun run = RunPack(L"big.ini -o big.exe " + product.TestParts(), product.scratch.path());
  EXPECT_EQ(run.exit_code, 1u);
  uint64_t size = kMaxPackageBytes + 204 + 1 + (2 + 14 + 4 + 19) + (2 + 8 + 4) + 2;
  EXPECT_EQ(run.err, "big.ini: the package would have " + std::to_string(size) +
                         " bytes; pack.exe embeds at most 1258291200 bytes (1200 MiB)\n"
                         "pack.exe: 1 problem; nothing written\n");
  run = RunPack(L"huge.ini -o huge.exe " + product.TestParts(), product.scratch.path());
  EXPECT_EQ(run.exit_code, 1u);
  EXPECT_EQ(run.err, "huge.ini:6: source \"huge.bin\" has 4294967297 bytes; a package entry "
                     "holds less than 4 GiB\npack.exe: 1 problem; nothing written\n");
  EXPECT_FALSE(FileExists(product.Path(L"big.exe")));
  EXPECT_FALSE(FileExists(product.Path(L"huge.exe")));
}

TEST(PackTool, ProductOfTensOfMegabytesRoundTrips) {
  Product product;
  const size_t kSize = 40 * 1024 * 1024 + 17;
  std::string content(kSize, 0);
  uint32_t state = 0x9E3779B9u;  // incompressible, deterministic
  for (size_t k = 0; k < kSize; ++k) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    content[k] = (char)state;
  }
  product.File(L"data.bin", content);
  product.File(L"app.ini",
               "[product]\nname = Data\nversion = 1\nwindow_class = DataWnd\n"
               "[files]\ndata\\data.bin = data.bin | 0\n");
  ConsoleRun run = RunPack(L"app.ini -o setup.exe " + product.TestParts(), product.scratch.path());
  ASSERT_EQ(run.exit_code, 0u) << run.err;
  EmbeddedPackage embedded = ReadEmbeddedPackage(product.Path(L"setup.exe"));
  ASSERT_TRUE(embedded.found);
  size_t data = 204 + 6 + (2 + 14 + 4 + 19) + (2 + 14 + 4);
  ASSERT_EQ(embedded.bytes.size(), data + kSize + 2);
  size_t mismatch = 0;
  while (mismatch < kSize && (uint8_t)content[mismatch] == embedded.bytes[data + mismatch]) {
    ++mismatch;
  }
  EXPECT_EQ(mismatch, kSize) << "first differing byte of the content";
  ProbeOutcome outcome = RunProbe(product.Path(L"setup.exe"), product.scratch.path());
  EXPECT_TRUE(outcome.finished) << Utf8(outcome.fatal_text) << " exit " << outcome.exit_code
                                << " lines " << outcome.report.size();
}

// A source that cannot be read and a stub that is no program each stop pack.exe before its
// output: none is written, and no temporary file stays behind.
TEST(PackTool, SourceThatCannotBeReadOrStubThatIsNoProgramLeavesNoOutput) {
  Product product;
  product.File(L"a.txt", "a");
  product.File(L"locked.txt", "locked");
  product.File(L"stub.exe", "not a program at all");
  product.File(L"app.ini",
               "[product]\nname = Alpha\nversion = 1\nwindow_class = W\n"
               "[files]\na.txt = a.txt\nlocked.txt = locked.txt\n");
  const struct {
    std::wstring parts;
    bool locked;
    std::string start;
  } cases[] = {{product.TestParts(), true, "cannot open \"locked.txt\": "},
               {L"--stub stub.exe --uninstaller fake-uninstall.exe", false,
                "stub.exe: the setup stub is not a Windows program\n"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.start);
    HANDLE lock = c.locked ? CreateFileW(product.Path(L"locked.txt").c_str(), GENERIC_READ, 0,
                                         NULL, OPEN_EXISTING, 0, NULL)
                           : INVALID_HANDLE_VALUE;
    ASSERT_EQ(lock != INVALID_HANDLE_VALUE, c.locked);
    ConsoleRun run = RunPack(L"app.ini -o setup.exe " + c.parts, product.scratch.path());
    if (lock != INVALID_HANDLE_VALUE) CloseHandle(lock);
    EXPECT_EQ(run.exit_code, 1u);
    EXPECT_EQ(run.err.find(c.start), 0u) << run.err;
    EXPECT_FALSE(FileExists(product.Path(L"setup.exe")));
    EXPECT_FALSE(FileExists(product.Path(L"setup.exe.partial")));
  }
}

TEST(PackTool, SourcesResolveAgainstTheManifestsFolderWhereverPackRuns) {
  Product product;
  ASSERT_TRUE(CreateDirectoryW(product.Path(L"dist").c_str(), NULL));
  ASSERT_TRUE(CreateDirectoryW(product.Path(L"dist\\bin").c_str(), NULL));
  product.File(L"dist\\bin\\alpha.exe", "MZ alpha");
  product.File(L"dist\\app.ini",
               "[product]\nname = Alpha\nversion = 1\nwindow_class = W\n"
               "[files]\nalpha.exe = bin/alpha.exe | launch\nalpha2.exe = bin\\alpha.exe\n");
  ConsoleRun run = RunPack(L"dist/app.ini -o setup.exe " + product.TestParts(),
                        product.scratch.path());
  ASSERT_EQ(run.exit_code, 0u) << run.err;
  EmbeddedPackage embedded = ReadEmbeddedPackage(product.Path(L"setup.exe"));
  ASSERT_TRUE(embedded.found);
  EXPECT_EQ(embedded.bytes.size(),
            204u + 1 + (2 + 14 + 4 + 19) + (2 + 10 + 4 + 8) + (2 + 11 + 4 + 8) + 2);
}

// pack.exe holds large packages in a 32-bit process: it must be linked large-address-aware.
TEST(PackTool, IsLargeAddressAware) {
  std::vector<unsigned char> image = ReadBytes(PackExe());
  ASSERT_GT(image.size(), 0x40u);
  uint32_t pe = image[0x3C] | (image[0x3D] << 8) | (image[0x3E] << 16) | (image[0x3F] << 24);
  ASSERT_LT(pe + 24u, image.size());
  ASSERT_EQ(memcmp(&image[pe], "PE\0\0", 4), 0);
  uint16_t characteristics = image[pe + 22] | (image[pe + 23] << 8);
  EXPECT_TRUE(characteristics & IMAGE_FILE_LARGE_ADDRESS_AWARE);
}

}  // namespace
