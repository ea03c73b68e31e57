// Signing with the publisher's command: pack.exe runs it through cmd on the uninstaller,
// then on the setup; a failing or damaging command writes nothing. And the setup that
// pack_signing_test.sh signed with a real certificate, installed under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "setup/resource.h"
#include "harness/install_run.h"
#include "harness/setup_session.h"
#include "harness/console_child.h"
#include "harness/process.h"
#include "harness/scratch.h"
#include "harness/text.h"

namespace {

// The script line that signs %1 in place with fake_signer.exe (built beside the tests), a
// SHA-256 signature with real digests unless `mode` asks for another or for a fault: the
// packer refuses a file that a command left unsigned or whose digests do not match.
std::string SignLine(const std::string& mode = "sha256") {
  return "@\"" + Utf8(BinDir()) + "fake_signer.exe\" " + mode + " %1\r\n";
}

// A script that signs the uninstaller well and the setup with `setup_mode`.
std::string SignSetupWith(const std::string& setup_mode) {
  return "@if \"%~n1\"==\"setup.exe\" goto setup\r\n" + SignLine() + "@exit /b 0\r\n:setup\r\n" +
         SignLine(setup_mode);
}

// A product folder with a fake uninstaller (a real program, so it reads as one) and a
// sign command file.
struct SignedProduct {
  ScratchFolder scratch;
  SignedProduct() {
    WriteText(scratch / L"a.txt", "a");
    WriteText(scratch / L"app.ini", "[product]\nname = A\nversion = 1\nwindow_class = W\n"
                                    "[files]\na.txt = a.txt\n");
  }
  ConsoleRun PackWith(const std::string& sign_script) {
    WriteText(scratch / L"sign.cmd", sign_script);
    return RunPack(L"app.ini -o setup.exe --sign \"sign.cmd {file}\"", scratch.path());
  }
  // No setup and no temporary file (setup.exe.partial-XXXXXXXX and the uninstaller's).
  bool LeftNothing() const {
    for (const std::wstring& name : FolderContents(scratch.path())) {
      if (name.compare(0, 9, L"setup.exe") == 0) return false;
    }
    return true;
  }
};

TEST(PackSigning, TheCommandSignsTheUninstallerFirstThenTheSetup) {
  SignedProduct product;
  // %~n1 drops the temporary names' random ".partial-XXXXXXXX".
  ConsoleRun run = product.PackWith("@echo %~n1>>sign-log.txt\r\n" + SignLine());
  ASSERT_EQ(run.exit_code, 0u) << run.err;
  std::vector<unsigned char> log = ReadBytes(product.scratch / L"sign-log.txt");
  EXPECT_EQ(std::string(log.begin(), log.end()),
            "setup.exe.uninstall\r\nsetup.exe\r\n");
  EXPECT_TRUE(FileExists(product.scratch / L"setup.exe"));
  std::vector<std::wstring> left = FolderContents(product.scratch.path());
  EXPECT_EQ(std::count(left.begin(), left.end(), L"setup.exe"), 1);
  for (const std::wstring& name : left) EXPECT_EQ(name.find(L".partial"), std::wstring::npos);
}

TEST(PackSigning, AFailingOrDamagingCommandWritesNothing) {
  const std::string unsigned_end =
      "): the command must sign the file it is given in place; a tool that writes the signed "
      "file elsewhere needs a step that moves it back over {file}\n";
  struct Case {
    std::string script;
    std::string message;
  } cases[] = {
      {"@echo cannot reach the key store\r\n@exit /b 3\r\n",
       "the sign command failed for the uninstaller with exit code 3:\ncannot reach the key "
       "store\n"},
      {"@if \"%~n1\"==\"setup.exe\" exit /b 5\r\n" + SignLine(),
       "the sign command failed for the setup executable with exit code 5\n"},
      {"@type nul> %1\r\n",
       "after the sign command the uninstaller is no longer a Windows program for x86\n"},
      {"@if \"%~n1\"==\"setup.exe\" goto damage\r\n" + SignLine() + "@exit /b 0\r\n:damage\r\n"
       "@type nul> %1\r\n",
       "after the sign command the setup executable no longer carries its package intact\n"},
      // A tool that writes the signed file elsewhere leaves the file as it was.
      {"@echo %1>nul\r\n",
       "the sign command left the uninstaller unsigned (the file did not change" + unsigned_end},
      {"@echo more>>%1\r\n",
       "the sign command left the uninstaller unsigned (it carries no signature" + unsigned_end},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script.c_str());
    SignedProduct product;
    ConsoleRun run = product.PackWith(c.script);
    EXPECT_EQ(run.exit_code, 1u);
    EXPECT_EQ(run.err, c.message + "pack.exe: 1 problem; nothing written\n");
    EXPECT_TRUE(product.LeftNothing());
  }
}

TEST(PackSigning, SignaturesWithEitherDigestOrANestedOnePass) {
  for (const char* mode : {"sha1", "sha256", "dual"}) {
    SCOPED_TRACE(mode);
    SignedProduct product;
    ConsoleRun run = product.PackWith(SignLine(mode));
    EXPECT_EQ(run.exit_code, 0u) << run.err;
    EXPECT_TRUE(FileExists(product.scratch / L"setup.exe"));
  }
}

// A signature entry that only looks like signed data, or one whose digests do not match
// the file or each other, refuses the build: the message says which digest and both
// values (the digests depend on the uninstaller's bytes, so the test reads the texts'
// fixed parts).
TEST(PackSigning, ASignatureThatDoesNotMatchTheFileWritesNothing) {
  const std::string no_match =
      "after the sign command the uninstaller does not match its signature: ";
  struct Case {
    std::string script, start, part;
  } cases[] = {
      {SignLine("bogus"),
       "after the sign command the uninstaller's signature cannot be read: the signature's "
       "content type at byte 2 has tag 0x00 where tag 0x06 belongs\n",
       ""},
      {SignLine("wrong-file-digest"), no_match + "its SHA-256 Authenticode digest is ",
       ", but the signature names "},
      {SignLine("wrong-message-digest"),
       no_match + "the signer's messageDigest in the signature is ",
       ", but the SHA-256 digest of its signed content is "},
      {SignLine("wrong-nested-digest"), no_match + "its SHA-256 Authenticode digest is ",
       ", but the nested signature at byte "},
      {SignLine("sha512"),
       "after the sign command the uninstaller's signature cannot be checked: the file "
       "digest's algorithm at byte 77 is 2.16.840.1.101.3.4.2.3, which the sign step does not "
       "check; it checks SHA-1 (1.3.14.3.2.26) and SHA-256 (2.16.840.1.101.3.4.2.1)\n",
       ""},
      {SignSetupWith("wrong-file-digest"),
       "after the sign command the setup executable does not match its signature: its SHA-256 "
       "Authenticode digest is ",
       ", but the signature names "},
      {SignSetupWith("bogus"),
       "after the sign command the setup executable's signature cannot be read: ", "byte 2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script.c_str());
    SignedProduct product;
    ConsoleRun run = product.PackWith(c.script);
    EXPECT_EQ(run.exit_code, 1u);
    EXPECT_EQ(run.err.compare(0, c.start.size(), c.start), 0) << run.err;
    EXPECT_NE(run.err.find(c.part), std::string::npos) << run.err;
    const std::string end = "\npack.exe: 1 problem; nothing written\n";
    EXPECT_TRUE(run.err.size() >= end.size() &&
                run.err.compare(run.err.size() - end.size(), end.size(), end) == 0)
        << run.err;
    EXPECT_TRUE(product.LeftNothing());
  }
}

// Run by pack_signing_test.sh with the setup it signed and the uninstaller signed inside it;
// skipped otherwise.
TEST(SignedSetup, InstallsTheSignedUninstallerByteForByte) {
  const std::wstring setup = EnvironmentValue(L"PACK_SIGNED_SETUP");
  const std::wstring uninstaller = EnvironmentValue(L"PACK_SIGNED_UNINSTALLER");
  if (setup.empty() || uninstaller.empty()) GTEST_SKIP() << "run by pack_signing_test.sh";
  ScratchFolder scratch;
  const std::wstring dir = scratch / L"Signed";
  {
    SetupSession session(setup, L"Signed 1.0 Installer");
    ASSERT_TRUE(session.ok());
    session.SetFolder(dir);
    session.AgreeAndInstall();
    EXPECT_EQ(session.AnswerLastBox(kSuccessCaption, kSuccessText), 0u);
  }
  RegDeleteKeyW(HKEY_LOCAL_MACHINE,
                L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KOZ Soft Signed 1.0");
  std::vector<unsigned char> installed = ReadBytes(dir + L"\\uninstall.exe");
  EXPECT_FALSE(installed.empty());
  EXPECT_TRUE(installed == ReadBytes(uninstaller));
}

}  // namespace
