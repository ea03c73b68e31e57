// Checked text: the bounded text helpers every program joins paths with, and the
// special-folder lookup.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "common/bounded_text.h"
#include "common/shell_folders.h"
#include "harness/shell.h"

namespace {

// ---- Bounded text ----

TEST(BoundedText, AppendRefusesWhatDoesNotFitAndLeavesTheBuffer) {
  wchar_t buffer[8] = L"abc";
  EXPECT_TRUE(AppendText(buffer, 8, L"defg"));  // seven characters and the terminator
  EXPECT_STREQ(buffer, L"abcdefg");
  EXPECT_FALSE(AppendText(buffer, 8, L"h"));
  EXPECT_STREQ(buffer, L"abcdefg") << "a refused append leaves the buffer unchanged";
  EXPECT_TRUE(AppendText(buffer, 8, L""));
}

TEST(BoundedText, CopyEmptiesOnRefusal) {
  wchar_t buffer[4] = L"xyz";
  EXPECT_FALSE(CopyText(buffer, 4, L"long"));
  EXPECT_STREQ(buffer, L"");
  EXPECT_TRUE(CopyText(buffer, 4, L"abc"));
  EXPECT_STREQ(buffer, L"abc");
  EXPECT_FALSE(CopyText(buffer, 0, L""));
}

TEST(BoundedText, CopyUnitsKeepsAtMostCapacityMinusOne) {
  wchar_t buffer[4];
  EXPECT_TRUE(CopyUnits(buffer, 4, L"xyz", 3));
  EXPECT_STREQ(buffer, L"xyz");
  EXPECT_FALSE(CopyUnits(buffer, 4, L"wxyz", 4));
  EXPECT_STREQ(buffer, L"");
}

TEST(BoundedText, UnitsHoldingANulAreRefused) {
  wchar_t buffer[16] = L"C:\\";
  const wchar_t with_nul[] = {L'a', 0, L'b'};
  EXPECT_FALSE(AppendUnits(buffer, 16, with_nul, 3));
  EXPECT_STREQ(buffer, L"C:\\");
  EXPECT_FALSE(CopyUnits(buffer, 16, with_nul, 3));
  EXPECT_STREQ(buffer, L"");
}

TEST(BoundedText, EndWithBackslashAddsOneOnly) {
  wchar_t buffer[6] = L"C:\\a";
  EXPECT_TRUE(EndWithBackslash(buffer, 6));
  EXPECT_STREQ(buffer, L"C:\\a\\");
  EXPECT_TRUE(EndWithBackslash(buffer, 6));
  EXPECT_STREQ(buffer, L"C:\\a\\");
  wchar_t empty[2] = L"";
  EXPECT_TRUE(EndWithBackslash(empty, 2));
  EXPECT_STREQ(empty, L"");
  wchar_t full[5] = L"C:\\a";
  EXPECT_FALSE(EndWithBackslash(full, 5));
  EXPECT_STREQ(full, L"C:\\a");
}

// ---- Special folders ----

TEST(GetSpecialFolder, GivesPathsWithTrailingBackslash) {
  for (int csidl : {CSIDL_PROGRAM_FILES, CSIDL_COMMON_PROGRAMS, CSIDL_COMMON_STARTUP,
                    CSIDL_COMMON_DESKTOPDIRECTORY}) {
    SCOPED_TRACE(csidl);
    wchar_t out[kPathCapacity];
    ASSERT_NE(GetSpecialFolder(csidl, out), 0);
    std::wstring path = out;
    EXPECT_EQ(path.back(), L'\\');
    EXPECT_EQ(path.substr(0, path.size() - 1), SpecialFolder(csidl));
  }
}

TEST(GetSpecialFolder, UnknownFolderGivesEmptyString) {
  wchar_t out[kPathCapacity] = L"stale";
  EXPECT_EQ(GetSpecialFolder(0x7FFF, out), 0);
  EXPECT_STREQ(out, L"");
}

}  // namespace
