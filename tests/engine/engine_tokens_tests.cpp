// Token expansion of product texts (#N, #V, ##): replacements, cuts at the capacity, and
// nothing written past it.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "engine/tokens.h"

namespace {

std::wstring Expand(const std::wstring& text, unsigned capacity, const wchar_t* name = L"Alpha",
                    const wchar_t* version = L"1.0") {
  std::wstring buffer(capacity + 8, L'\x2603');  // poison past the capacity
  for (size_t i = 0; i < text.size() && i < buffer.size(); ++i) buffer[i] = text[i];
  if (text.size() < buffer.size()) buffer[text.size()] = 0;
  ExpandTokensWith(&buffer[0], capacity, name, version);
  // Input placed beyond the capacity is the caller's; only untouched units are checked.
  for (size_t i = std::max<size_t>(capacity, text.size() + 1); i < buffer.size(); ++i) {
    EXPECT_EQ(buffer[i], L'\x2603') << "written past the capacity at " << i;
  }
  return std::wstring(buffer.c_str());
}

TEST(ExpandTokens, ReplacesNameAndVersion) {
  EXPECT_EQ(Expand(L"#N #V Installer", 256), L"Alpha 1.0 Installer");
  EXPECT_EQ(Expand(L"KOZ Soft\\#N #V", 260), L"KOZ Soft\\Alpha 1.0");
  EXPECT_EQ(Expand(L"no tokens", 256), L"no tokens");
}

TEST(ExpandTokens, HashRules) {
  EXPECT_EQ(Expand(L"100##", 256), L"100#");
  EXPECT_EQ(Expand(L"a#Xb", 256), L"ab");
  EXPECT_EQ(Expand(L"12#", 256), L"12");
  EXPECT_EQ(Expand(L"#n #v", 256), L" ");  // lower case is no token: both characters drop
}

TEST(ExpandTokens, TrailingHashStopsBeforeTheTerminator) {
  // "12#" then garbage after the terminator: nothing after the terminator is read.
  wchar_t buffer[16] = {L'1', L'2', L'#', 0, L'#', L'N', 0};
  ExpandTokensWith(buffer, 16, L"Alpha", L"1.0");
  EXPECT_STREQ(buffer, L"12");
}

TEST(ExpandTokens, CutsAtCapacity) {
  EXPECT_EQ(Expand(L"#N!", 6, L"Alphabet"), L"Alpha");
  EXPECT_EQ(Expand(L"#N #V", 1), L"");
  EXPECT_EQ(Expand(L"abcdefgh", 4), L"abc");
  // A replacement that does not fit is cut; the next ordinary character stops the walk.
  EXPECT_EQ(Expand(L"ab#Ncd", 5), L"abAl");
}

TEST(ExpandTokens, InputLongerThanCapacityIsCutFirst) {
  wchar_t buffer[8] = {L'a', L'b', L'c', L'd', L'e', L'f', L'g', L'h'};  // no terminator
  ExpandTokensWith(buffer, 8, L"Alpha", L"1.0");
  EXPECT_STREQ(buffer, L"abcdefg");
}

TEST(ExpandTokens, CapacityZeroWritesNothing) {
  wchar_t buffer[2] = {L'x', L'y'};
  ExpandTokensWith(buffer, 0, L"Alpha", L"1.0");
  EXPECT_EQ(buffer[0], L'x');
  EXPECT_EQ(buffer[1], L'y');
}

TEST(ExpandTokens, SinglePass) {
  EXPECT_EQ(Expand(L"#N", 256, L"A#Vb"), L"A#Vb");
  EXPECT_EQ(Expand(L"#V#N", 256, L"##", L"#N"), L"#N##");
}

}  // namespace
