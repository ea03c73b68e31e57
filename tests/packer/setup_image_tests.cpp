// The setup executable's layout: the stub's own resources kept, the package in a section of
// its own that starts on a page boundary, and stubs that cannot carry a package refused.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "harness/package_builder.h"
#include "harness/process.h"
#include "harness/scratch.h"
#include "packer/core/setup_image.h"

namespace {

constexpr uint64_t kNoLimit = 1ull << 40;

std::vector<uint8_t> StubBytes() {
  std::vector<unsigned char> bytes = ReadBytes(BinDir() + L"setup-stub.exe");
  EXPECT_FALSE(bytes.empty());
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

uint32_t Get32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | ((uint32_t)b[at + 3] << 24);
}

std::string RefusalFor(const std::vector<uint8_t>& stub, uint64_t limit = kNoLimit) {
  SetupImagePlan plan;
  std::string error;
  EXPECT_FALSE(PlanSetupImage(stub, SetupBranding(), 100, limit, &plan, &error));
  return error;
}

TEST(SetupImage, PackageSectionStartsOnAPageOfTheFile) {
  std::vector<uint8_t> stub = StubBytes();
  SetupImagePlan plan;
  std::string error;
  ASSERT_TRUE(PlanSetupImage(stub, SetupBranding(), 12345, kNoLimit, &plan, &error)) << error;
  uint32_t pe = Get32(plan.prefix, 0x3C);
  unsigned sections = plan.prefix[pe + 6] | (plan.prefix[pe + 7] << 8);
  size_t table = pe + 24 + (plan.prefix[pe + 20] | (plan.prefix[pe + 21] << 8));
  size_t last = table + 40 * (sections - 1);
  // The new section is the one and only ".rsrc": the stub's own is renamed.
  const std::string kResourceName(".rsrc\0\0\0", 8);
  EXPECT_EQ(std::string((const char*)&plan.prefix[last], 8), kResourceName);
  for (unsigned k = 0; k + 1 < sections; ++k) {
    EXPECT_NE(std::string((const char*)&plan.prefix[table + 40 * k], 8), kResourceName) << k;
  }
  EXPECT_EQ(Get32(plan.prefix, last + 20) % 4096, 0u);
  // The resource directory now points at the new section.
  uint32_t directories = pe + 24 + (sizeof(void*) == 8 ? 112 : 96);
  EXPECT_EQ(Get32(plan.prefix, directories + 16), Get32(plan.prefix, last + 12));
  // The file is prefix + package + padding to the file alignment.
  uint32_t file_alignment = Get32(plan.prefix, pe + 24 + 36);
  EXPECT_EQ((plan.prefix.size() + 12345 + plan.suffix_zeros) % file_alignment, 0u);
}

TEST(SetupImage, StubResourcesStayAndThePackageReadsBack) {
  ScratchFolder scratch;
  std::wstring setup = scratch / L"setup.exe";
  std::vector<uint8_t> package(70000);
  for (size_t i = 0; i < package.size(); ++i) package[i] = (uint8_t)(i * 7 + 3);
  ASSERT_TRUE(EmbedPackageBytes(L"setup-stub.exe", setup, package));

  HMODULE module = LoadLibraryExW(setup.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, (HMODULE)NULL);
  EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(101), (LPCWSTR)RT_DIALOG), (HRSRC)NULL);
  EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(102), (LPCWSTR)RT_GROUP_ICON), (HRSRC)NULL);
  EXPECT_NE(FindResourceW(module, MAKEINTRESOURCEW(1), (LPCWSTR)RT_MANIFEST), (HRSRC)NULL);
  FreeLibrary(module);
  EmbeddedPackage embedded = ReadEmbeddedPackage(setup);
  ASSERT_TRUE(embedded.found);
  EXPECT_EQ(embedded.bytes, package);
}

TEST(SetupImage, RefusesStubsThatCannotCarryAPackage) {
  EXPECT_EQ(RefusalFor({}), "the setup stub is not a Windows program");
  EXPECT_EQ(RefusalFor(std::vector<uint8_t>(4096, 'M')), "the setup stub is not a Windows program");

  std::vector<uint8_t> stub = StubBytes();
  std::vector<uint8_t> not_pe = stub;
  not_pe[Get32(stub, 0x3C)] = 'X';
  EXPECT_EQ(RefusalFor(not_pe), "the setup stub is not a 32-bit or 64-bit Windows program for x86");

  std::vector<uint8_t> signed_stub = stub;
  uint32_t security = Get32(stub, 0x3C) + 24 + (sizeof(void*) == 8 ? 112 : 96) + 8 * 4;
  signed_stub[security + 4] = 0x10;
  EXPECT_EQ(RefusalFor(signed_stub),
            "the setup stub is signed; sign the setup executable after packing");

  EXPECT_EQ(RefusalFor(stub, 16 * 1024), "the setup executable would be too large to load");
}

TEST(SetupImage, RefusesAStubThatAlreadyCarriesAPackage) {
  ScratchFolder scratch;
  std::wstring setup = scratch / L"setup.exe";
  ASSERT_TRUE(EmbedPackageBytes(L"setup-stub.exe", setup, std::vector<uint8_t>(10, 1)));
  std::vector<unsigned char> bytes = ReadBytes(setup);
  EXPECT_EQ(RefusalFor(std::vector<uint8_t>(bytes.begin(), bytes.end())),
            "the setup stub already carries a package");
}

}  // namespace
