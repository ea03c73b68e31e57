// Reading packages: the bounded readers over well-formed and malformed bytes.
#include <gtest/gtest.h>

#include "package/package.h"

namespace {

TEST(PackageReader, EmptyFolderListAndNoEntries) {
  BYTE bytes[] = {0, 0xFF, 0xFF};
  const BYTE* next = NULL;
  const char* name;
  unsigned length;
  ASSERT_EQ(ParseFolderName(bytes, bytes + 3, &name, &length, &next), PACKAGE_READ_END);
  EXPECT_EQ(next, bytes + 1);
  wchar_t entry_name[kNameCapacity] = L"kept";
  const BYTE* data = NULL;
  DWORD size = 7, flags = 9;
  EXPECT_EQ(ParseEntry(next, bytes + 3, entry_name, kNameCapacity, &data, &size, &flags, &next),
            PACKAGE_READ_END);
  EXPECT_STREQ(entry_name, L"kept");
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(flags, 9u);
}

}  // namespace
