// The packing tool's portable layer: reading manifests, every refusal and its message,
// names in Windows-1252, folder derivation, the size limit. Sources come from a fake file
// system, so these tests need no files.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "package/package_layout.h"
#include "packer/core/manifest.h"
#include "packer/core/starter_manifest.h"
#include "packer/tool/package_listing.h"
#include "packer/core/target_names.h"
#include "packer/core/text_encoding.h"

namespace {

// A file system of named sources with sizes; anything else is missing.
struct FakeFiles {
  std::map<std::string, SourceInfo> files;
  void Add(const std::string& path, uint64_t size) { files[path] = {SOURCE_FILE, size}; }
  void AddFolder(const std::string& path) { files[path] = {SOURCE_FOLDER, 0}; }
  SourceLookup Lookup() const {
    return [this](const std::string& path) {
      auto found = files.find(path);
      return found == files.end() ? SourceInfo() : found->second;
    };
  }
};

const char kProduct[] =
    "[product]\n"
    "name = Alpha\n"
    "version = 1.0\n"
    "window_class = AlphaWnd\n";

// A [files] section of one file, for manifests about something else.
const char kOneFile[] = "[files]\na.txt = a.txt\n";

struct Outcome {
  bool ok;
  Manifest manifest;
  std::vector<std::string> errors;
};

Outcome Read(const std::string& text, const FakeFiles& files, const std::string& folder = "") {
  Outcome outcome;
  outcome.ok = ReadManifest(text, "app.ini", folder, files.Lookup(), &outcome.manifest,
                            &outcome.errors);
  return outcome;
}

FakeFiles CommonFiles() {
  FakeFiles files;
  for (const char* name : {"readme.txt", "alpha.exe", "license.html", "tool.exe", "a.txt"}) {
    files.Add(name, 10);
  }
  files.AddFolder("docs");
  return files;
}

// The one message a manifest with `files_section` lines (after the product, in [files]
// starting at line 6) is refused with.
std::string RefusalOf(const std::string& files_section) {
  Outcome outcome = Read(std::string(kProduct) + "[files]\n" + files_section, CommonFiles());
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.errors.size(), 1u);
  return outcome.errors.empty() ? "" : outcome.errors[0];
}

// ---------------------------------------------------------------------------------------

TEST(Manifest, ReadsProductOptionsFilesAndFolders) {
  FakeFiles files;
  files.Add("dist/readme.txt", 6);
  files.Add("dist/bin/alpha.exe", 20480);
  files.Add("dist/license.html", 100);
  files.Add("dist/help/de/index.html", 7);
  Outcome outcome = Read(
      "; Alpha's package\n"
      "[product]\n"
      "name = Alpha\n"
      "version = 1.0 beta\n"
      "window_class = AlphaWnd\n"
      "\n"
      "[options]\n"
      "allow_run_once = 1\n"
      "log_executables = 1\n"
      "default_desktop = 1\n"
      "default_startup = 0\n"
      "default_programs = 1\n"
      "default_launch = 1\n"
      "[files]\n"
      "readme.txt = readme.txt\n"
      "bin\\alpha.exe = bin/alpha.exe | desktop startup programs launch\n"
      "license.html = license.html | license programs\n"
      "help\\de\\index.html = help\\de\\index.html | 0x20\n"
      "[folders]\n"
      "data\\cache\n"
      "bin\n",
      files, "dist/");
  ASSERT_TRUE(outcome.ok) << (outcome.errors.empty() ? "" : outcome.errors[0]);
  const PackageContents& contents = outcome.manifest.contents;
  EXPECT_EQ(contents.product_name, u"Alpha");
  EXPECT_EQ(contents.product_version, u"1.0 beta");
  EXPECT_EQ(contents.window_class, u"AlphaWnd");
  EXPECT_EQ(contents.allow_run_once, 1);
  EXPECT_EQ(contents.log_executables, 1);
  EXPECT_EQ(contents.default_desktop, 1);
  EXPECT_EQ(contents.default_startup, 0);
  EXPECT_EQ(contents.default_programs, 1);
  EXPECT_EQ(contents.default_launch, 1);
  // Parents before children, in the order the lines bring them, each once.
  std::vector<std::string> folders = {"bin", "help", "help\\de", "data", "data\\cache"};
  EXPECT_EQ(contents.folders, folders);
  ASSERT_EQ(contents.entries.size(), 4u);
  EXPECT_EQ(contents.entries[0].name, "readme.txt");
  EXPECT_EQ(contents.entries[0].flags, 0);
  EXPECT_EQ(contents.entries[1].name, "bin\\alpha.exe");
  EXPECT_EQ(contents.entries[1].flags, 0x17);
  EXPECT_EQ(contents.entries[2].flags, 0x0C);
  EXPECT_EQ(contents.entries[3].flags, 0x20);
  std::vector<std::string> sources = {"dist/readme.txt", "dist/bin/alpha.exe",
                                      "dist/license.html", "dist/help/de/index.html"};
  EXPECT_EQ(outcome.manifest.sources, sources);
  std::vector<uint32_t> sizes = {6, 20480, 100, 7};
  EXPECT_EQ(outcome.manifest.content_sizes, sizes);
  std::vector<int> lines = {15, 16, 17, 18};
  EXPECT_EQ(outcome.manifest.lines, lines);
}

TEST(Manifest, OptionsDefaultToZero) {
  Outcome outcome = Read(std::string(kProduct) + kOneFile, CommonFiles());
  ASSERT_TRUE(outcome.ok);
  const PackageContents& c = outcome.manifest.contents;
  EXPECT_EQ(c.allow_run_once + c.log_executables + c.default_desktop + c.default_startup +
                c.default_programs + c.default_launch,
            0);
  EXPECT_EQ(c.entries.size(), 1u);
  EXPECT_TRUE(c.folders.empty());
}

TEST(Manifest, ByteOrderMarkCrLfCommentsAndQuotedNames) {
  FakeFiles files;
  files.Add("src dir/a=b.txt", 1);
  files.Add("x.txt", 1);
  Outcome outcome = Read(
      "\xEF\xBB\xBF[product]\r\nname = Alpha\r\n  ; indented comment\r\nversion = 1\r\n"
      "window_class = W\r\n[files]\r\n\"a=b.txt\" = \"src dir/a=b.txt\" | launch\r\n"
      "  x.txt   =   x.txt   \r\n",
      files);
  ASSERT_TRUE(outcome.ok) << (outcome.errors.empty() ? "" : outcome.errors[0]);
  ASSERT_EQ(outcome.manifest.contents.entries.size(), 2u);
  EXPECT_EQ(outcome.manifest.contents.entries[0].name, "a=b.txt");
  EXPECT_EQ(outcome.manifest.contents.entries[0].flags, ENTRY_LAUNCH);
  EXPECT_EQ(outcome.manifest.sources[0], "src dir/a=b.txt");
  EXPECT_EQ(outcome.manifest.contents.entries[1].name, "x.txt");
  EXPECT_EQ(outcome.manifest.lines[1], 8);
}

TEST(Manifest, FlagsByNameAndByNumber) {
  struct Case {
    const char* text;
    uint16_t flags;
  } cases[] = {
      {"desktop", 0x01},        {"startup", 0x02},   {"programs", 0x04},
      {"license", 0x08},        {"launch", 0x10},    {"desktop startup programs launch", 0x17},
      {"LICENSE  Programs", 0x0C}, {"0x17", 0x17},    {"23", 0x17},
      {"0", 0},                 {"0x7FFF", 0x7FFF},  {"4 launch", 0x14},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Outcome outcome =
        Read(std::string(kProduct) + "[files]\na.txt = a.txt | " + c.text + "\n", CommonFiles());
    ASSERT_TRUE(outcome.ok) << (outcome.errors.empty() ? "" : outcome.errors[0]);
    EXPECT_EQ(outcome.manifest.contents.entries[0].flags, c.flags);
  }
}

TEST(Manifest, NamesAreStoredInWindows1252) {
  FakeFiles files;
  files.Add("a.txt", 1);
  Outcome outcome = Read(std::string(kProduct) +
                             "[files]\n"
                             "caf\xC3\xA9\\r\xC3\xA9sum\xC3\xA9.txt = a.txt\n"  // café\résumé.txt
                             "\xE2\x82\xAC uro.txt = a.txt\n",                   // € uro.txt
                         files);
  ASSERT_TRUE(outcome.ok) << (outcome.errors.empty() ? "" : outcome.errors[0]);
  EXPECT_EQ(outcome.manifest.contents.entries[0].name, "caf\xE9\\r\xE9sum\xE9.txt");
  EXPECT_EQ(outcome.manifest.contents.entries[1].name, "\x80 uro.txt");
  EXPECT_EQ(outcome.manifest.contents.folders, std::vector<std::string>{"caf\xE9"});
}

TEST(Manifest, HeaderStringsHoldUpTo31Utf16Units) {
  std::string name31(31, 'n');
  // U+1F600 takes two UTF-16 units: 15 of them and one letter are 31 units.
  std::string emoji = "\xF0\x9F\x98\x80";
  std::string emoji31;
  for (int k = 0; k < 15; ++k) emoji31 += emoji;
  emoji31 += "e";
  for (const std::string& name : {name31, emoji31, std::string("Caf\xC3\xA9 \xE4\xB8\xAD")}) {
    Outcome outcome = Read("[product]\nname = " + name + "\nversion = 1\nwindow_class = W\n" +
                               kOneFile,
                           CommonFiles());
    EXPECT_TRUE(outcome.ok) << name;
  }
  Outcome emoji_product =
      Read("[product]\nname = " + emoji31 + "\nversion = 1\nwindow_class = W\n" + kOneFile,
           CommonFiles());
  EXPECT_EQ(emoji_product.manifest.contents.product_name.size(), 31u);
  EXPECT_EQ(emoji_product.manifest.contents.product_name[0], 0xD83D);

  Outcome too_long =
      Read("[product]\nname = " + name31 + "x\nversion = 1\nwindow_class = W\n" + kOneFile,
           CommonFiles());
  ASSERT_EQ(too_long.errors.size(), 1u);
  EXPECT_EQ(too_long.errors[0], "app.ini:2: name \"" + name31 +
                                    "x\" has 32 UTF-16 units; at most 31 fit the header");
  Outcome emoji_long = Read("[product]\nname = n\nversion = 1\nwindow_class = " + emoji31 +
                                "e\n" + kOneFile,
                            CommonFiles());
  ASSERT_EQ(emoji_long.errors.size(), 1u);
  EXPECT_NE(emoji_long.errors[0].find("app.ini:4: window_class"), std::string::npos);
}

// The window class names no folder: class names real programs use are taken as they are,
// and a name or version with the same characters is still refused.
TEST(Manifest, WindowClassTakesWhatOnlyFolderNamesForbid) {
  for (const std::string window_class : {"ATL:00A1B2C3", "Afx:00400000:0", "a/b\\c.", ".."}) {
    Outcome outcome = Read("[product]\nname = A\nversion = 1\nwindow_class = " + window_class +
                               "\n" + kOneFile,
                           CommonFiles());
    ASSERT_TRUE(outcome.ok) << window_class << ": " << outcome.errors[0];
    EXPECT_EQ(outcome.manifest.contents.window_class,
              std::u16string(window_class.begin(), window_class.end()));
  }
  Outcome name = Read("[product]\nname = ATL:0\nversion = 1\nwindow_class = W\n" +
                          std::string(kOneFile),
                      CommonFiles());
  EXPECT_FALSE(name.ok);
}

// A product without a main window: the header's class is empty, whether the key is left
// out or given no value, and the setup and uninstaller then check for no running program.
TEST(Manifest, WindowClassMayBeLeftOutOrEmpty) {
  for (const std::string product : {"[product]\nname = A\nversion = 1\n",
                                    "[product]\nname = A\nversion = 1\nwindow_class =\n",
                                    "[product]\nname = A\nversion = 1\nwindow_class =  \t\n"}) {
    SCOPED_TRACE(product);
    Outcome outcome = Read(product + kOneFile, CommonFiles());
    ASSERT_TRUE(outcome.ok) << outcome.errors[0];
    EXPECT_TRUE(outcome.manifest.contents.window_class.empty());
  }
  // Name and version stay required and not empty.
  EXPECT_FALSE(Read(std::string("[product]\nname = A\nversion =\n") + kOneFile, CommonFiles()).ok);
}

TEST(Manifest, ProductRefusals) {
  struct Case {
    std::string text;
    std::string message;
  } cases[] = {
      {"[product]\nname = A#B\nversion = 1\nwindow_class = W\n",
       "app.ini:2: name \"A#B\" contains \"#\", which the installer and its log use as "
       "separators"},
      {"[product]\nname = A\nversion = 1|2\nwindow_class = W\n",
       "app.ini:3: version \"1|2\" contains \"|\", which the installer and its log use as "
       "separators"},
      {"[product]\nname = A\nversion = 1\nwindow_class = W\tX\n",
       "app.ini:4: window_class \"W\tX\" contains a control character"},
      {"[product]\nname =\nversion = 1\nwindow_class = W\n", "app.ini:2: name is empty"},
      {"[product]\nname = \xC3\nversion = 1\nwindow_class = W\n",
       "app.ini:2: name is not valid UTF-8"},
      {"[product]\nversion = 1\n", "app.ini: [product] has no name"},
      {"[product]\nname = A\n", "app.ini: [product] has no version"},
      {"[product]\nname = A\nversion = 1\nwindow_class = W\nname = B\n",
       "app.ini:5: duplicate key \"name\" (first at line 2)"},
      {"[product]\nname = A\nversion = 1\nwindow_class = W\nvendor = V\n",
       "app.ini:5: unknown key \"vendor\" in [product]; did you mean \"company\"? (it sets the "
       "version resource's CompanyName only: the vendor folder below Program Files, the "
       "Publisher in Windows' list of installed programs and the support link are fixed)"},
      {"[product]\nname = A\nversion = 1\nwindow_class = W\npublisher = V\n",
       "app.ini:5: unknown key \"publisher\" in [product]; did you mean \"company\"? (it sets "
       "the version resource's CompanyName only: the vendor folder below Program Files, the "
       "Publisher in Windows' list of installed programs and the support link are fixed)"},
      {"[product]\nname = A\nversion = 1\nwindow_class = W\nverison = 2\n",
       "app.ini:5: unknown key \"verison\" in [product]; did you mean \"version\"?"},
      {"[product]\nname = A\nversion = 1\nwindow_class = W\nnothing here\n",
       "app.ini:5: expected \"key = value\""},
      {"name = A\n[product]\nname = A\nversion = 1\nwindow_class = W\n",
       "app.ini:1: text outside a section"},
      {"[product]\nname = A\nversion = 1\nwindow_class = W\n[extras]\n",
       "app.ini:5: unknown section [extras] (use [product], [options], [files], [folders] or "
       "[exclude])"},
      {"[product]\nname = A\nversion = 1\nwindow_class = W\n[options]\nallow_run_once = yes\n",
       "app.ini:6: allow_run_once must be 0 or 1, not \"yes\""},
      {"[product]\nname = A\nversion = 1\nwindow_class = W\n[options]\nsilent = 1\n",
       "app.ini:6: unknown key \"silent\" in [options]"},
      {std::string("[product]\nname = A\nversion = 1\nwindow_class = W\n[files]\na.txt = a") +
           '\0' + ".txt\n",
       "app.ini:6: the line contains a NUL byte"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Outcome outcome = Read(c.text + kOneFile, CommonFiles());
    EXPECT_FALSE(outcome.ok);
    ASSERT_EQ(outcome.errors.size(), 1u) << outcome.errors[0];
    EXPECT_EQ(outcome.errors[0], c.message);
  }
}

TEST(Manifest, FileRefusalsNameTheLine) {
  // [files] starts at line 5, so the lines under test are 6, 7, ...
  EXPECT_EQ(RefusalOf("readme.txt = readme.txt\nbin\\a.exe = alpha.exe\nREADME.TXT = a.txt\n"),
            "app.ini:8: duplicate target \"README.TXT\" (first at line 6 as \"readme.txt\"); "
            "Windows takes names that differ only in case for the same file");
  EXPECT_EQ(RefusalOf("readme.txt = readme.txt\nreadme.txt = a.txt\n"),
            "app.ini:7: duplicate target \"readme.txt\" (first at line 6)");
  EXPECT_EQ(RefusalOf("x.txt = missing.txt\n"), "app.ini:6: source \"missing.txt\" not found");
  EXPECT_EQ(RefusalOf("x.txt = docs\n"),
            "app.ini:6: source \"docs\" is a folder, not a file; to add a whole folder, end both "
            "target and source with a separator: \"folder\\ = source/folder/\"");
  EXPECT_EQ(RefusalOf("x.txt =\n"), "app.ini:6: no source for target \"x.txt\"");
  EXPECT_EQ(RefusalOf("= a.txt\n"), "app.ini:6: the target is empty");
  EXPECT_EQ(RefusalOf("just a name\n"), "app.ini:6: expected \"target = source [| flags]\"");
  EXPECT_EQ(RefusalOf("\"x.txt = a.txt\n"), "app.ini:6: a quote is not closed");
  EXPECT_EQ(RefusalOf("\"x.txt\" y = a.txt\n"), "app.ini:6: unexpected text after a quoted name");
  EXPECT_EQ(RefusalOf("x.txt = a.txt |\n"), "app.ini:6: no flags after \"|\"");
  EXPECT_EQ(RefusalOf("..\\evil.exe = a.txt\n"),
            "app.ini:6: target \"..\\evil.exe\" leaves the installation folder (\"..\")");
  EXPECT_EQ(RefusalOf("bin\\..\\..\\evil.exe = a.txt\n"),
            "app.ini:6: target \"bin\\..\\..\\evil.exe\" leaves the installation folder "
            "(\"..\")");
  EXPECT_EQ(RefusalOf(".\\x.txt = a.txt\n"), "app.ini:6: target \".\\x.txt\" has a \".\" folder name");
  EXPECT_EQ(RefusalOf("C:\\abs.exe = a.txt\n"),
            "app.ini:6: target \"C:\\abs.exe\" is an absolute path; it must be relative to the "
            "installation folder");
  EXPECT_EQ(RefusalOf("\\abs.exe = a.txt\n"),
            "app.ini:6: target \"\\abs.exe\" is an absolute path; it must be relative to the "
            "installation folder");
  EXPECT_EQ(RefusalOf("bin/a.exe = a.txt\n"),
            "app.ini:6: target \"bin/a.exe\" contains \"/\"; separate folders with backslashes");
  EXPECT_EQ(RefusalOf("bin\\\\a.exe = a.txt\n"),
            "app.ini:6: target \"bin\\\\a.exe\" has an empty folder name (two backslashes in a "
            "row)");
  EXPECT_EQ(RefusalOf("\"bin\\\" = a.txt\n"),
            "app.ini:6: target \"bin\\\" ends with a backslash");
  EXPECT_EQ(RefusalOf("notes. = a.txt\n"),
            "app.ini:6: target \"notes.\" has the name \"notes.\", which ends in a dot or a "
            "space");
  EXPECT_EQ(RefusalOf("\"dir \\x.txt\" = a.txt\n"),
            "app.ini:6: target \"dir \\x.txt\" has the name \"dir \", which ends in a dot or a "
            "space");
  EXPECT_EQ(RefusalOf("bin\\NUL.txt = a.txt\n"),
            "app.ini:6: target \"bin\\NUL.txt\" uses \"NUL\", a name Windows keeps for a "
            "device");
  EXPECT_EQ(RefusalOf("com1 = a.txt\n"),
            "app.ini:6: target \"com1\" uses \"com1\", a name Windows keeps for a device");
  for (char forbidden : std::string("<>:\"|?*")) {
    // '"' and '|' split the line (checked below); '*' gets its own message (below).
    if (forbidden == '"' || forbidden == '|' || forbidden == '*') continue;
    std::string name = std::string("ab") + forbidden + "c";
    EXPECT_EQ(RefusalOf(name + " = a.txt\n"),
              "app.ini:6: target \"" + name + "\" contains \"" + std::string(1, forbidden) +
                  "\", which Windows forbids in file names");
  }
  EXPECT_EQ(RefusalOf("*.txt = a.txt\n"),
            "app.ini:6: target \"*.txt\" contains \"*\": wildcards are not supported; to add a "
            "whole folder write \"folder\\ = source/folder/\"");
  EXPECT_EQ(RefusalOf("\"a|b\" = a.txt\n"),
            "app.ini:6: target \"a|b\" contains \"|\", which Windows forbids in file names");
  EXPECT_EQ(RefusalOf("a\tb = a.txt\n"),
            "app.ini:6: target \"a\tb\" contains the control character U+0009");
  EXPECT_EQ(RefusalOf("\xE4\xB8\xAD.txt = a.txt\n"),
            "app.ini:6: target \"\xE4\xB8\xAD.txt\" contains U+4E2D, which the Windows-1252 "
            "code page cannot store");
  EXPECT_EQ(RefusalOf("\xC2\x81.txt = a.txt\n"),
            "app.ini:6: target \"\xC2\x81.txt\" contains the control character U+0081");
  EXPECT_EQ(RefusalOf("\xFF.txt = a.txt\n"), "app.ini:6: target \"\xFF.txt\" is not valid UTF-8");
}

TEST(Manifest, TheUninstallerAndTheLogKeepTheirNames) {
  EXPECT_EQ(RefusalOf("x.exe = a.txt | uninstaller\n"),
            "app.ini:6: a second uninstaller (flag \"uninstaller\"); pack.exe adds the one "
            "uninstaller");
  EXPECT_EQ(RefusalOf("x.exe = a.txt | 0xFFFE\n"),
            "app.ini:6: a second uninstaller (flags 0xFFFE); pack.exe adds the one uninstaller");
  EXPECT_EQ(RefusalOf("x.exe = a.txt | 65534\n"),
            "app.ini:6: a second uninstaller (flags 65534); pack.exe adds the one uninstaller");
  EXPECT_EQ(RefusalOf("Uninstall.EXE = a.txt\n"),
            "app.ini:6: target \"Uninstall.EXE\" is reserved for the uninstaller that pack.exe "
            "adds itself");
  EXPECT_EQ(RefusalOf("uninstall.dat = a.txt\n"),
            "app.ini:6: target \"uninstall.dat\" is reserved for the installer's uninstall log");
  // Below the root the names are ordinary.
  Outcome outcome =
      Read(std::string(kProduct) + "[files]\nold\\uninstall.exe = a.txt\nold\\uninstall.dat = "
                                   "a.txt\n",
           CommonFiles());
  EXPECT_TRUE(outcome.ok);
}

TEST(Manifest, FlagNumbersThatTheInstallerReadsOtherwiseAreRefused) {
  EXPECT_EQ(RefusalOf("x = a.txt | 0xFFFF\n"), "app.ini:6: flags 0xFFFF are the end marker");
  EXPECT_EQ(RefusalOf("x = a.txt | 0x8000\n"),
            "app.ini:6: flags 0x8000 set bit 0x8000, kept for special records");
  EXPECT_EQ(RefusalOf("x = a.txt | 32769\n"),
            "app.ini:6: flags 32769 set bit 0x8000, kept for special records");
  EXPECT_EQ(RefusalOf("x = a.txt | 0x10000\n"), "app.ini:6: flags 0x10000 do not fit 16 bits");
  EXPECT_EQ(RefusalOf("x = a.txt | 99999999999999999999\n"),
            "app.ini:6: flags 99999999999999999999 do not fit 16 bits");
  EXPECT_EQ(RefusalOf("x = a.txt | desktop shortcut\n"),
            "app.ini:6: unknown flag \"shortcut\" (use desktop, startup, programs, license, "
            "launch or a number)");
  EXPECT_EQ(RefusalOf("x = a.txt | 0x\n"),
            "app.ini:6: unknown flag \"0x\" (use desktop, startup, programs, license, launch or "
            "a number)");
  EXPECT_EQ(RefusalOf("x = a.txt | -1\n"),
            "app.ini:6: unknown flag \"-1\" (use desktop, startup, programs, license, launch or "
            "a number)");
}

TEST(Manifest, TargetsFitTheInstallersPathBuffers) {
  std::string longest(kTargetMaxBytes - 4, 'n');
  Outcome outcome =
      Read(std::string(kProduct) + "[files]\n" + longest + ".txt = a.txt\n", CommonFiles());
  EXPECT_TRUE(outcome.ok);
  EXPECT_EQ(RefusalOf(longest + "x.txt = a.txt\n"),
            "app.ini:6: target \"" + longest + "x.txt\" is 161 bytes long; at most 160 fit the "
            "installer's path buffers");
  // Stored bytes count, not UTF-8 bytes: 80 "é" are 160 stored bytes.
  std::string accents;
  for (int k = 0; k < 80; ++k) accents += "\xC3\xA9";
  EXPECT_TRUE(Read(std::string(kProduct) + "[files]\n" + accents + " = a.txt\n", CommonFiles()).ok);
}

TEST(Manifest, FilesAndFoldersDoNotShareNames) {
  EXPECT_EQ(RefusalOf("docs = a.txt\ndocs\\x.txt = a.txt\n"),
            "app.ini:7: folder \"docs\" is a file at line 6");
  EXPECT_EQ(RefusalOf("docs\\x.txt = a.txt\nDOCS = a.txt\n"),
            "app.ini:7: target \"DOCS\" is a folder at line 6 as \"docs\"");
  EXPECT_EQ(RefusalOf("Docs = a.txt\ndocs\\x.txt = a.txt\n"),
            "app.ini:7: folder \"docs\" is a file at line 6 as \"Docs\"");
  Outcome outcome = Read(std::string(kProduct) + "[files]\nlog = a.txt\n[folders]\nlog\\old\n",
                         CommonFiles());
  ASSERT_EQ(outcome.errors.size(), 1u);
  EXPECT_EQ(outcome.errors[0], "app.ini:8: folder \"log\" is a file at line 6");
  // Folders differing only in case are one folder, spelt as first seen.
  outcome = Read(std::string(kProduct) + "[files]\nBin\\a.txt = a.txt\nbin\\b.txt = a.txt\n",
                 CommonFiles());
  ASSERT_TRUE(outcome.ok);
  EXPECT_EQ(outcome.manifest.contents.folders, std::vector<std::string>{"Bin"});
}

TEST(Manifest, FolderSectionRefusals) {
  Outcome outcome = Read(std::string(kProduct) +
                             "[folders]\n..\\up\nuninstall.dat\n\"data\" x\nok\\fine\n" +
                             kOneFile,
                         CommonFiles());
  std::vector<std::string> expected = {
      "app.ini:6: folder \"..\\up\" leaves the installation folder (\"..\")",
      "app.ini:7: folder \"uninstall.dat\" is reserved for the installer's uninstall log",
      "app.ini:8: unexpected text after a quoted name",
  };
  EXPECT_EQ(outcome.errors, expected);
  std::vector<std::string> folders = {"ok", "ok\\fine"};
  EXPECT_EQ(outcome.manifest.contents.folders, folders);
}

TEST(Manifest, EveryProblemIsReportedNotJustTheFirst) {
  Outcome outcome =
      Read("[product]\nname = A#\n[files]\n..\\x = a.txt\ny = missing\n", CommonFiles());
  ASSERT_EQ(outcome.errors.size(), 4u);
  EXPECT_EQ(outcome.errors[0].substr(0, 10), "app.ini:2:");
  EXPECT_EQ(outcome.errors[1].substr(0, 10), "app.ini:4:");
  EXPECT_EQ(outcome.errors[2].substr(0, 10), "app.ini:5:");
  EXPECT_EQ(outcome.errors[3], "app.ini: [product] has no version");
}

TEST(Manifest, UninstallerComesFirst) {
  FakeFiles files = CommonFiles();
  files.Add("tools/uninstall.exe", 11264);
  Outcome outcome = Read(std::string(kProduct) + "[files]\na.txt = a.txt | launch\n", files);
  ASSERT_TRUE(outcome.ok);
  std::vector<std::string> errors;
  ASSERT_TRUE(AddUninstaller("tools/uninstall.exe", files.Lookup(), &outcome.manifest, &errors));
  const PackageContents& contents = outcome.manifest.contents;
  ASSERT_EQ(contents.entries.size(), 2u);
  EXPECT_EQ(contents.entries[0].flags, ENTRY_UNINSTALLER);
  EXPECT_EQ(contents.entries[0].name, "uninstall.exe");
  EXPECT_EQ(outcome.manifest.sources[0], "tools/uninstall.exe");
  EXPECT_EQ(outcome.manifest.content_sizes[0], 11264u);
  EXPECT_EQ(contents.entries[1].name, "a.txt");

  EXPECT_FALSE(AddUninstaller("nowhere.exe", files.Lookup(), &outcome.manifest, &errors));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "the uninstaller \"nowhere.exe\" is not a readable program file");
}

TEST(Manifest, PackagesAboveTheLimitAreRefusedUpFront) {
  FakeFiles files;
  files.Add("uninstall.exe", 1000);
  // Exactly at the limit: header, list terminator, two records, end marker.
  uint64_t overhead = 204 + 1 + (2 + 14 + 4) + (2 + 8 + 4) + 2;
  files.Add("big.bin", kMaxPackageBytes - overhead - 1000);
  Outcome outcome = Read(std::string(kProduct) + "[files]\nbig.bin = big.bin\n", files);
  ASSERT_TRUE(outcome.ok);
  std::vector<std::string> errors;
  ASSERT_TRUE(AddUninstaller("uninstall.exe", files.Lookup(), &outcome.manifest, &errors));
  EXPECT_EQ(PackageSize(outcome.manifest.contents, outcome.manifest.content_sizes),
            kMaxPackageBytes);
  EXPECT_TRUE(CheckPackageSize(outcome.manifest, "app.ini", &errors));
  EXPECT_TRUE(errors.empty());

  outcome.manifest.content_sizes[1] += 1;
  EXPECT_FALSE(CheckPackageSize(outcome.manifest, "app.ini", &errors));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "app.ini: the package would have " +
                           std::to_string(kMaxPackageBytes + 1) + " bytes; pack.exe embeds at "
                           "most 1258291200 bytes (1200 MiB)");
}

TEST(Manifest, SourcesOf4GiBAndMoreAreRefused) {
  FakeFiles files;
  files.Add("huge.bin", 0x100000000ull);
  files.Add("almost.bin", 0xFFFFFFFFull);
  Outcome outcome = Read(std::string(kProduct) + "[files]\nh = huge.bin\na = almost.bin\n", files);
  ASSERT_EQ(outcome.errors.size(), 1u);
  EXPECT_EQ(outcome.errors[0],
            "app.ini:6: source \"huge.bin\" has 4294967296 bytes; a package entry holds less "
            "than 4 GiB");
}

TEST(Manifest, SourcesResolveAgainstTheManifestsFolder) {
  EXPECT_EQ(ResolveSource("dist/", "bin/a.exe"), "dist/bin/a.exe");
  // One separator for both hosts: Windows takes "/" as well.
  EXPECT_EQ(ResolveSource("C:\\work\\", "a.exe"), "C:/work/a.exe");
  EXPECT_EQ(ResolveSource("", "a.exe"), "a.exe");
  EXPECT_EQ(ResolveSource("dist/", "D:\\other\\a.exe"), "D:/other/a.exe");
  EXPECT_EQ(ResolveSource("dist/", "\\\\server\\share\\a.exe"), "//server/share/a.exe");
  EXPECT_EQ(ResolveSource("dist/", "/abs/a.exe"), "/abs/a.exe");
}

// ---------------------------------------------------------------------------------------
// Mistakes a new publisher makes, and names the installer could be misled by

// The errors of `text` read with the common files.
std::vector<std::string> ErrorsOf(const std::string& text) {
  std::vector<std::string> errors = Read(text, CommonFiles()).errors;
  if (errors.empty()) errors.push_back("(no error)");
  return errors;
}

TEST(Manifest, PublisherMistakesAreNamedWithTheirLine) {
  using Errors = std::vector<std::string>;
  EXPECT_EQ(ErrorsOf(kProduct),
            Errors{"app.ini: there is no [files] section; a setup needs at least one file to "
                   "install"});
  EXPECT_EQ(ErrorsOf(std::string(kProduct) + "[files]\n; nothing yet\n[folders]\ndata\n"),
            Errors{"app.ini:5: [files] lists no file; a setup needs at least one file to "
                   "install"});
  EXPECT_EQ(ErrorsOf(std::string(kProduct) + kOneFile + "[folders]\nreadme.txt = readme.txt\n"),
            Errors{"app.ini:8: folder line \"readme.txt = readme.txt\" holds \" = \": [folders] "
                   "takes one folder per line; files go under [files]"});
  EXPECT_TRUE(Read(std::string(kProduct) + kOneFile + "[folders]\n\"a = b\"\n", CommonFiles()).ok);
  EXPECT_EQ(ErrorsOf(std::string(kProduct) + "[options]\nallow_run_once = 1\n" + kOneFile),
            Errors{"app.ini:6: allow_run_once = 1, but no [files] entry has the flag launch: Run "
                   "Once would start nothing"});
  // Notepad's "Unicode", with and without a byte order mark: one message, not one per line.
  std::string utf16;
  for (char c : std::string(kProduct) + kOneFile) utf16 += std::string(1, c) + '\0';
  Errors utf16_error = {"app.ini: the manifest is saved as UTF-16 (what Notepad calls "
                        "\"Unicode\"); save it as UTF-8"};
  EXPECT_EQ(ErrorsOf("\xFF\xFE" + utf16), utf16_error);
  EXPECT_EQ(ErrorsOf(utf16), utf16_error);
}

TEST(Manifest, HeaderStringsCannotLeaveAFolderOrForgeALogRecord) {
  for (const char* bad : {"a\\b", "a/b", "C:x", "a*", "a?", "a\"b", "<a", "a>"}) {
    std::string value = bad;
    std::string forbidden(1, value[value.find_first_of("\\/:*?\"<>")]);
    EXPECT_EQ(ErrorsOf("[product]\nname = A\nversion = " + value + "\nwindow_class = W\n" +
                       kOneFile),
              std::vector<std::string>{"app.ini:3: version \"" + value + "\" contains \"" +
                                       forbidden + "\", which Windows forbids in file and folder "
                                       "names"});
  }
  EXPECT_EQ(ErrorsOf("[product]\nname = ..\nversion = 1\nwindow_class = W\n" + std::string(kOneFile)),
            std::vector<std::string>{"app.ini:2: name \"..\" names a folder level; the "
                                     "installer makes folders of it"});
  EXPECT_EQ(ErrorsOf("[product]\nname = .\nversion = 1\nwindow_class = W\n" + std::string(kOneFile))[0],
            "app.ini:2: name \".\" names a folder level; the installer makes folders of it");
  EXPECT_EQ(ErrorsOf("[product]\nname = A\nversion = 1.\nwindow_class = W\n" + std::string(kOneFile))[0],
            "app.ini:3: version \"1.\" ends in a dot or a space, which Windows drops from "
            "folder names");
  EXPECT_EQ(ErrorsOf("[product]\nname = A\nversion = 1\nwindow_class = W\x7F\n" +
                     std::string(kOneFile))[0],
            "app.ini:4: window_class \"W\x7F\" contains a control character");
  EXPECT_EQ(ErrorsOf("[product]\nname = Com\xC2\xB9\nversion = 1\nwindow_class = W\n" +
                     std::string(kOneFile))[0],
            "app.ini:2: name \"Com\xC2\xB9\" is a name Windows keeps for a device");
}

TEST(Manifest, DevicesAndShortNamesOfTheReservedFilesAreRefused) {
  for (const char* device : {"COM0", "lpt0.txt", "COM\xC2\xB9", "LPT\xC2\xB2.log", "com\xC2\xB3",
                             "CONIN$", "conout$.txt", "bin\\CONIN$"}) {
    std::string target = device;
    std::string part = target.substr(target.rfind('\\') + 1);
    part = part.substr(0, part.find('.'));
    EXPECT_EQ(RefusalOf(target + " = a.txt\n"),
              "app.ini:6: target \"" + target + "\" uses \"" + part +
                  "\", a name Windows keeps for a device");
  }
  for (const char* short_name : {"UNINST~1.EXE", "uninst~2.exe", "UNINS~12.EXE", "UN3F2A~1.EXE"}) {
    EXPECT_EQ(RefusalOf(std::string(short_name) + " = a.txt\n"),
              "app.ini:6: target \"" + std::string(short_name) + "\" could be taken for "
              "\"uninstall.exe\" through its short 8.3 name, which is reserved at the root");
  }
  EXPECT_EQ(RefusalOf("a.txt = a.txt\n[folders]\nUNINST~1.DAT\n"),
            "app.ini:8: folder \"UNINST~1.DAT\" could be taken for \"uninstall.dat\" through "
            "its short 8.3 name, which is reserved at the root");
  // Elsewhere, or with another extension or form, they are ordinary names.
  EXPECT_TRUE(Read(std::string(kProduct) +
                       "[files]\nbin\\UNINST~1.EXE = a.txt\nUNINST~1.TXT = a.txt\n"
                       "COM10.txt = a.txt\nUNINSTALL~1.EXE = a.txt\nUNXYZW~1.EXE = a.txt\n",
                   CommonFiles())
                  .ok);
}

TEST(Manifest, VersionInformationAndIcon) {
  FakeFiles files = CommonFiles();
  files.Add("art/app.ico", 1000);
  Outcome outcome = Read(
      "[product]\nname = Alpha\nversion = 2.5.1 beta\nwindow_class = W\nicon = art/app.ico\n"
      "company = KOZ Soft \xC2\xA9\ncopyright = (c) 2024 | all rights\nfile_version = 2.5.1.7\n" +
          std::string(kOneFile),
      files);
  ASSERT_TRUE(outcome.ok) << outcome.errors[0];
  const ProductBranding& branding = outcome.manifest.branding;
  EXPECT_EQ(branding.icon_source, "art/app.ico");
  EXPECT_EQ(branding.icon_line, 5);
  EXPECT_EQ(branding.company, u"KOZ Soft \u00a9");
  EXPECT_EQ(branding.copyright, u"(c) 2024 | all rights");
  EXPECT_EQ(std::vector<uint16_t>(branding.file_version, branding.file_version + 4),
            (std::vector<uint16_t>{2, 5, 1, 7}));
  EXPECT_EQ(std::vector<uint16_t>(branding.product_numbers, branding.product_numbers + 4),
            (std::vector<uint16_t>{2, 5, 1, 0}));
  // Without file_version the leading numbers of version serve, numbers left out count as 0.
  struct Case {
    const char* version;
    std::vector<uint16_t> numbers;
  } cases[] = {{"3", {3, 0, 0, 0}}, {"1.0 beta", {1, 0, 0, 0}}, {"v2", {0, 0, 0, 0}},
               {"7.65536.1", {7, 0, 0, 0}}, {"1.2.3.4.5", {1, 2, 3, 4}}};
  for (const Case& c : cases) {
    Outcome plain = Read(std::string("[product]\nname = A\nversion = ") + c.version +
                             "\nwindow_class = W\n" + kOneFile,
                         CommonFiles());
    ASSERT_TRUE(plain.ok) << c.version;
    const uint16_t* numbers = plain.manifest.branding.file_version;
    EXPECT_EQ(std::vector<uint16_t>(numbers, numbers + 4), c.numbers) << c.version;
  }

  std::string product = "[product]\nname = A\nversion = 1\nwindow_class = W\n";
  using Errors = std::vector<std::string>;
  for (const char* bad : {"1.2.3.4.5", "1..2", "1.65536", "1.2.", "a.b", "-1"}) {
    EXPECT_EQ(ErrorsOf(product + "file_version = " + bad + "\n" + kOneFile),
              Errors{"app.ini:5: file_version \"" + std::string(bad) + "\" is not \"a.b.c.d\" "
                     "(one to four numbers of 0-65535)"});
  }
  EXPECT_EQ(ErrorsOf(product + "company = A\x01" + "B\n" + kOneFile),
            Errors{"app.ini:5: company \"A\x01" "B\" contains a control character"});
  EXPECT_EQ(ErrorsOf(product + "copyright = " + std::string(128, 'c') + "\n" + kOneFile),
            Errors{"app.ini:5: copyright \"" + std::string(128, 'c') + "\" has 128 UTF-16 "
                   "units; at most 127 fit"});
  EXPECT_EQ(ErrorsOf(product + "icon = none.ico\n" + kOneFile),
            Errors{"app.ini:5: icon \"none.ico\" not found"});
  EXPECT_EQ(ErrorsOf(product + "icon = docs\n" + kOneFile),
            Errors{"app.ini:5: icon \"docs\" is a folder, not a file"});
}

// ---------------------------------------------------------------------------------------
// Text encodings and names

// A tree of folders for folder lines: folder path (ending in "/") -> what it lists, in a
// scrambled order, as a file system may list it.
struct FakeTree {
  std::map<std::string, std::vector<FolderItem>> folders;
  uint64_t next_index = 100;
  // Adds `name` to `folder`, with an identity of its own; returns it.
  FolderItem Add(const std::string& folder, const std::string& name, FolderItemKind kind) {
    FolderItem item;
    item.name = name;
    item.kind = kind;
    item.size = kind == ITEM_FILE ? 3 : 0;
    item.identity.volume = 7;
    item.identity.index = next_index++;
    folders[folder].insert(folders[folder].begin(), item);
    return item;
  }
  FolderLister Lister() const {
    return [this](const FolderWalk& walk, std::vector<FolderItem>* items, FileIdentity*,
                  std::string* error) {
      std::string path = WalkedPath(walk);
      auto found = folders.find(path);
      if (found == folders.end()) *error = "cannot list the folder \"" + path + "\"";
      if (found != folders.end()) *items = found->second;
      return found != folders.end();
    };
  }
};

TEST(Manifest, FolderLineAddsTheSortedTreeAndOwnLinesReplaceItsEntries) {
  FakeFiles files;
  files.AddFolder("docs/help");
  files.Add("docs/help/b.htm", 3);
  FakeTree tree;
  for (const char* name : {"a.htm", "b.htm", "z.pdb"}) tree.Add("docs/help/", name, ITEM_FILE);
  tree.Add("docs/help/", "sub", ITEM_FOLDER);
  tree.Add("docs/help/", "empty", ITEM_FOLDER);
  tree.Add("docs/help/sub/", "c.htm", ITEM_FILE);
  tree.folders["docs/help/empty/"];
  Outcome outcome;
  outcome.ok = ReadManifest(std::string(kProduct) +
                                "[files]\nhelp\\ = docs/help/\nhelp\\b.htm = docs/help/b.htm | programs\n"
                                "[exclude]\n*.pdb\n",
                            "app.ini", "", files.Lookup(), &outcome.manifest, &outcome.errors,
                            tree.Lister());
  ASSERT_TRUE(outcome.ok) << outcome.errors[0];
  const PackageContents& contents = outcome.manifest.contents;
  std::vector<std::string> names, folders = {"help", "help\\empty", "help\\sub"};
  for (const PackageEntry& entry : contents.entries) names.push_back(entry.name);
  EXPECT_EQ(names, (std::vector<std::string>{"help\\a.htm", "help\\b.htm", "help\\sub\\c.htm"}));
  EXPECT_EQ(contents.folders, folders);
  EXPECT_EQ(contents.entries[1].flags, ENTRY_PROGRAMS_SHORTCUT);
  EXPECT_EQ(outcome.manifest.lines, (std::vector<int>{6, 7, 6}));
  EXPECT_EQ(outcome.manifest.sources[2], "docs/help/sub/c.htm");

  tree.Add("docs/help/sub/", "link", ITEM_LINK);
  outcome.ok = ReadManifest(std::string(kProduct) + "[files]\nhelp\\ = docs/help/\nx\\ = docs/help/\n",
                            "app.ini", "", files.Lookup(), &outcome.manifest, &outcome.errors,
                            tree.Lister());
  EXPECT_FALSE(outcome.ok);
  EXPECT_EQ(outcome.errors.front(),
            "app.ini:6: \"sub/link\" in folder \"docs/help/\" is a symbolic link, which could "
            "point anywhere on this machine; put the file itself there or exclude it");
}

// A folder line reaches every folder below its source by a walk: each step as its
// parent's listing found it, the root as its first listing found it. Each file keeps its
// walk and its own listing, for the packer to check when it reads it; a file that has a
// line of its own is read by its path.
TEST(Manifest, FolderLinesRecordTheWalkToEveryFileTheyFind) {
  FakeFiles files;
  files.AddFolder("docs/help");
  files.Add("docs/help/b.htm", 3);
  FakeTree tree;
  tree.Add("docs/help/", "b.htm", ITEM_FILE);
  FolderItem sub = tree.Add("docs/help/", "sub", ITEM_FOLDER);
  FolderItem deeper = tree.Add("docs/help/sub/", "deeper", ITEM_FOLDER);
  FolderItem c = tree.Add("docs/help/sub/deeper/", "c.htm", ITEM_FILE);
  FileIdentity root;
  root.volume = 7;
  root.index = 1;
  std::vector<FolderWalk> asked;
  FolderLister lister = [&](const FolderWalk& walk, std::vector<FolderItem>* items,
                            FileIdentity* root_identity, std::string* error) {
    asked.push_back(walk);
    *root_identity = root;
    return tree.Lister()(walk, items, root_identity, error);
  };
  Outcome outcome;
  outcome.ok = ReadManifest(std::string(kProduct) +
                                "[files]\nhelp\\ = docs/help/\nhelp\\b.htm = docs/help/b.htm | programs\n",
                            "app.ini", "", files.Lookup(), &outcome.manifest, &outcome.errors,
                            lister);
  ASSERT_TRUE(outcome.ok) << outcome.errors[0];
  ASSERT_EQ(asked.size(), 3u);
  EXPECT_EQ(asked[0].root, "docs/help/");
  EXPECT_TRUE(asked[0].steps.empty());
  ASSERT_EQ(asked[2].steps.size(), 2u);
  EXPECT_EQ(asked[2].root_identity, root);
  EXPECT_EQ(asked[2].steps[0].name, "sub");
  EXPECT_EQ(asked[2].steps[0].identity, sub.identity);
  EXPECT_EQ(asked[2].steps[1].identity, deeper.identity);
  EXPECT_EQ(WalkedPath(asked[2]), "docs/help/sub/deeper/");

  const Manifest& manifest = outcome.manifest;
  ASSERT_EQ(manifest.found.size(), 2u);
  EXPECT_EQ(manifest.found[0].walk, -1);
  const FoundSource& found = manifest.found[1];
  ASSERT_GE(found.walk, 0);
  ASSERT_LT((size_t)found.walk, manifest.walks.size());
  const FolderWalk& walk = manifest.walks[found.walk];
  EXPECT_EQ(WalkedPath(walk), "docs/help/sub/deeper/");
  EXPECT_EQ(walk.root_identity, root);
  EXPECT_EQ(found.file.name, "c.htm");
  EXPECT_EQ(found.file.identity, c.identity);
  EXPECT_EQ(manifest.sources[1], WalkedPath(walk) + "c.htm");
}

TEST(Manifest, ExcludePatternsMatchWithinNamesOrPaths) {
  EXPECT_TRUE(MatchesPattern("*.pdb", "alpha.pdb"));
  EXPECT_TRUE(MatchesPattern("a?c*", "abc"));
  EXPECT_FALSE(MatchesPattern("*.pdb", "alpha.pdb.txt"));
  EXPECT_TRUE(MatchesPattern("build/tmp", "build/tmp"));
  EXPECT_TRUE(MatchesPattern("*/tmp", "build/tmp"));
  EXPECT_FALSE(MatchesPattern("*", "build/tmp"));
  EXPECT_FALSE(MatchesPattern("build/tmp", "build/tmp2"));
  // Letters compare without case, as targets do, the Windows-1252 ones too; "?" is one
  // character, whatever its UTF-8 length.
  EXPECT_TRUE(MatchesPattern("*.PDB", "alpha.pdb"));
  EXPECT_TRUE(MatchesPattern("Build/TMP", "build/tmp"));
  EXPECT_TRUE(MatchesPattern("\xC3\x89t\xC3\xA9.txt", "\xC3\xA9T\xC3\x89.TXT"));  // ÉtÉ, éTÉ
  EXPECT_TRUE(MatchesPattern("\xC5\xA0*", "\xC5\xA1ki"));  // Š matches š
  EXPECT_TRUE(MatchesPattern("caf?", "caf\xC3\xA9"));
  // A name that is not UTF-8 is matched byte by byte.
  EXPECT_TRUE(MatchesPattern("a?b", "a\xFF" "b"));
}

// The names a folder line brings: two spellings of one name (a POSIX folder may hold both)
// are refused with both spellings and where each came from; [exclude] leaves out either
// spelling, and a pattern with a leading "/" only what lies at the top of the source.
TEST(Manifest, NamesThatDifferOnlyInCaseShowBothSpellingsAndTheirOrigin) {
  FakeFiles files;
  files.AddFolder("dist");
  files.AddFolder("more");
  files.Add("notes.txt", 3);
  FakeTree tree;
  tree.Add("dist/", "README.txt", ITEM_FILE);
  tree.Add("dist/", "Readme.txt", ITEM_FILE);
  tree.Add("dist/", "docs", ITEM_FOLDER);
  tree.Add("dist/docs/", "build", ITEM_FOLDER);
  tree.Add("dist/docs/build/", "page.htm", ITEM_FILE);
  tree.Add("dist/", "build", ITEM_FOLDER);
  tree.Add("dist/build/", "x.obj", ITEM_FILE);
  tree.Add("more/", "NOTES.TXT", ITEM_FILE);
  auto read = [&](const std::string& lines) {
    Outcome outcome;
    outcome.ok = ReadManifest(std::string(kProduct) + "[files]\n" + lines, "app.ini", "",
                              files.Lookup(), &outcome.manifest, &outcome.errors, tree.Lister());
    return outcome;
  };
  Outcome outcome = read("\\ = dist/\n");
  ASSERT_EQ(outcome.errors.size(), 1u);
  EXPECT_EQ(outcome.errors[0],
            "app.ini:6: \"Readme.txt\" in folder \"dist/\": duplicate target \"Readme.txt\" "
            "(first at line 6 as \"README.txt\", \"README.txt\" in folder \"dist/\"); Windows "
            "takes names that differ only in case for the same file");
  // Two folder lines that bring one name, each in its own spelling.
  files.AddFolder("other");
  tree.Add("other/", "notes.txt", ITEM_FILE);
  outcome = read("\\ = more/\n\\ = other/\n");
  ASSERT_EQ(outcome.errors.size(), 1u);
  EXPECT_EQ(outcome.errors[0],
            "app.ini:7: \"notes.txt\" in folder \"other/\": duplicate target \"notes.txt\" "
            "(first at line 6 as \"NOTES.TXT\", \"NOTES.TXT\" in folder \"more/\"); Windows "
            "takes names that differ only in case for the same file");
  // A [files] line of another spelling replaces the entry a folder line brought, as it
  // does in the same spelling.
  outcome = read("\\ = more/\nnotes.txt = notes.txt | programs\n");
  ASSERT_TRUE(outcome.ok) << outcome.errors[0];
  ASSERT_EQ(outcome.manifest.contents.entries.size(), 1u);
  EXPECT_EQ(outcome.manifest.contents.entries[0].flags, ENTRY_PROGRAMS_SHORTCUT);
  // Excluded without case, both spellings go; "/build" leaves out the top folder only.
  outcome = read("\\ = dist/\n[exclude]\nREADME.TXT\n/BUILD\n");
  ASSERT_TRUE(outcome.ok) << outcome.errors[0];
  std::vector<std::string> names;
  for (const PackageEntry& entry : outcome.manifest.contents.entries) names.push_back(entry.name);
  EXPECT_EQ(names, std::vector<std::string>{"docs\\build\\page.htm"});
}

TEST(StarterManifest, NameAndVersionFromTheFolderName) {
  struct Case {
    const char* folder;
    const char* name;
    const char* version;
  } cases[] = {
      {"alpha-1.2", "alpha", "1.2"},
      {"Alpha Tools 2.0 beta", "Alpha Tools", "2.0 beta"},
      {"tool_v3", "tool", "3"},
      {"x264-2.1", "x264", "2.1"},
      {"alpha - 1.2", "alpha", "1.2"},
      {"alpha", "alpha", ""},
      {"alpha-version", "alpha-version", ""},
      {"-1.0", "-1.0", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    std::string name, version;
    SplitFolderName(c.folder, &name, &version);
    EXPECT_EQ(name, c.name);
    EXPECT_EQ(version, c.version);
  }
}

// The starter manifest for a folder with a program, a text licence and names a setup
// cannot carry reads as pack reads it: the program and the licence flagged, each refused
// name left out by a line tied to its place, with its reason above it.
TEST(StarterManifest, PacksAsWrittenAndExcludesWhatPackWouldRefuse) {
  FakeFiles files;
  files.AddFolder("dist/alpha-1.2");
  files.Add("dist/alpha-1.2/alpha.exe", 3);
  files.Add("dist/alpha-1.2/LICENSE.txt", 3);
  FakeTree tree;
  for (const char* name : {"alpha.exe", "LICENSE.txt", "CON.txt", "a*b", "axb"}) {
    tree.Add("dist/alpha-1.2/", name, ITEM_FILE);
  }
  tree.Add("dist/alpha-1.2/", "link", ITEM_LINK);
  tree.Add("dist/alpha-1.2/", "docs", ITEM_FOLDER);
  tree.Add("dist/alpha-1.2/docs/", "Guide.htm", ITEM_FILE);
  tree.Add("dist/alpha-1.2/docs/", "GUIDE.htm", ITEM_FILE);
  tree.Add("dist/alpha-1.2/docs/", "link", ITEM_FILE);
  StarterRequest request;
  request.folder_path = "dist/alpha-1.2/";
  request.folder_source = "alpha-1.2/";
  request.folder_name = "alpha-1.2";
  request.name = "alpha";
  request.version = "1.2";
  request.manifest_name = "alpha-1.2.ini";
  std::string text;
  StarterSummary summary;
  std::vector<std::string> errors;
  ASSERT_TRUE(WriteStarterManifest(request, tree.Lister(), &text, &summary, &errors));
  EXPECT_EQ(summary.program, "alpha.exe");
  EXPECT_EQ(summary.license, "LICENSE.txt");
  EXPECT_EQ(summary.files, 3u);  // alpha.exe, LICENSE.txt, docs/link: "a*b" takes "axb" along
  EXPECT_EQ(summary.excluded, 4u);
  for (const char* line : {"\n/CON.txt\n", "\n/docs/GUIDE.htm\n", "\n/link\n", "\n/a*b\n",
                           "\nalpha.exe = alpha-1.2/alpha.exe | programs desktop\n",
                           "\n; alpha.exe = alpha-1.2/alpha.exe | programs desktop launch\n",
                           "\nLICENSE.txt = alpha-1.2/LICENSE.txt | license\n",
                           "; \"a*b\": target \"a*b\" contains \"*\", which Windows forbids in "
                           "file names; this line also leaves out \"axb\"\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
  }
  EXPECT_NE(text.find("a plain text runs together"), std::string::npos);

  Outcome outcome;
  outcome.ok = ReadManifest(text, "alpha-1.2.ini", "dist/", files.Lookup(), &outcome.manifest,
                            &outcome.errors, tree.Lister());
  ASSERT_TRUE(outcome.ok) << outcome.errors[0] << "\n" << text;
  EXPECT_TRUE(outcome.manifest.contents.window_class.empty());
  std::vector<std::string> names;
  for (const PackageEntry& entry : outcome.manifest.contents.entries) {
    names.push_back(entry.name + " " + FlagNames(entry.flags));
  }
  EXPECT_EQ(names, (std::vector<std::string>{"LICENSE.txt license", "alpha.exe desktop programs",
                                             "docs\\link -"}));
}

// A folder the lister cannot read is the one problem; nothing is written.
TEST(StarterManifest, AFolderThatCannotBeListedIsReported) {
  FakeTree tree;
  StarterRequest request;
  request.folder_path = "gone/";
  std::string text;
  StarterSummary summary;
  std::vector<std::string> errors;
  EXPECT_FALSE(WriteStarterManifest(request, tree.Lister(), &text, &summary, &errors));
  EXPECT_EQ(errors, std::vector<std::string>{"cannot list the folder \"gone/\""});
  EXPECT_TRUE(text.empty());
}

TEST(TextEncoding, Utf8DecodingRefusesMalformedInput) {
  std::u32string out;
  EXPECT_TRUE(DecodeUtf8("a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", &out));
  EXPECT_EQ(out, (std::u32string{U'a', 0xE9, 0x20AC, 0x1F600}));
  for (const char* bad : {"\x80", "\xC3", "\xE2\x82", "\xC0\x80", "\xE0\x80\x80",
                          "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80", "\xC3\x28"}) {
    EXPECT_FALSE(DecodeUtf8(bad, &out)) << testing::PrintToString(std::string(bad));
  }
}

TEST(TextEncoding, Windows1252RoundTrip) {
  for (int byte = 0; byte < 256; ++byte) {
    char32_t c = Windows1252CodePoint((uint8_t)byte);
    uint8_t back = 0;
    bool unassigned = byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D;
    if (unassigned || (byte >= 0x80 && byte < 0xA0 && c < 0x100)) {
      EXPECT_FALSE(Windows1252Byte(c, &back)) << byte;
    } else {
      ASSERT_TRUE(Windows1252Byte(c, &back)) << byte;
      EXPECT_EQ(back, byte);
    }
  }
  uint8_t byte;
  EXPECT_TRUE(Windows1252Byte(0x20AC, &byte));
  EXPECT_EQ(byte, 0x80);
  EXPECT_FALSE(Windows1252Byte(0x0100, &byte));
  EXPECT_EQ(EncodeUtf16(U"a\U0001F600"), (std::u16string{u'a', 0xD83D, 0xDE00}));
  EXPECT_EQ(Utf16ToUtf8(u"caf\u00e9"), "caf\xC3\xA9");
}

TEST(TargetNames, KeysCompareWithoutCase) {
  EXPECT_EQ(NameKey("Bin\\ALPHA.exe"), NameKey("bin\\alpha.EXE"));
  EXPECT_EQ(NameKey("\xC9t\xE9"), NameKey("\xE9t\xE9"));  // Été, été
  EXPECT_EQ(NameKey("\x8A"), NameKey("\x9A"));            // Š, š
  EXPECT_NE(NameKey("\xD7"), NameKey("\xF7"));            // × and ÷ are not letters
  EXPECT_EQ(AnsiToUtf8("caf\xE9 \x80"), "caf\xC3\xA9 \xE2\x82\xAC");
}

TEST(PackageListing, FlagNames) {
  EXPECT_EQ(FlagNames(0), "-");
  EXPECT_EQ(FlagNames(0xFFFE), "uninstaller");
  EXPECT_EQ(FlagNames(0x17), "desktop startup programs launch");
  EXPECT_EQ(FlagNames(0x0C), "programs license");
  EXPECT_EQ(FlagNames(0x1F), "desktop startup programs license launch");
  EXPECT_EQ(FlagNames(0x30), "launch 0x0020");
  EXPECT_EQ(FlagNames(0xFFFF), "desktop startup programs license launch 0xffe0");
}

}  // namespace
