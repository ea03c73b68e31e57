// "pack.exe --list" on setups that are damaged the way downloads and hand edits damage
// them: cut short anywhere, or with a package resource whose size runs past the file. Each
// is reported as damage; nothing is read past the file.
#include <gtest/gtest.h>
#include <windows.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "harness/console_child.h"
#include "harness/guarded_memory.h"
#include "harness/process.h"
#include "harness/scratch.h"
#include "packer/tool/package_listing.h"

namespace {

std::vector<unsigned char> SampleSetup(const ScratchFolder& scratch) {
  std::wstring setup = scratch / L"alpha-setup.exe";
  EXPECT_TRUE(PackSampleProduct(setup));
  return ReadBytes(setup);
}

ConsoleRun List(const ScratchFolder& scratch, const std::vector<unsigned char>& bytes) {
  WriteBytes(scratch / L"damaged.exe", bytes.data(), bytes.size());
  return RunPack(L"--list damaged.exe", scratch.path());
}

TEST(PackListing, EverySetupCutShortIsReportedAsDamage) {
  ScratchFolder scratch;
  std::vector<unsigned char> setup = SampleSetup(scratch);
  // Cuts inside the package, from its first bytes on: the stub before it is read whole.
  PeImage image;
  ASSERT_EQ(ReadPeImage(setup.data(), setup.size(), &image), PE_OK);
  PackagePlace place;
  ASSERT_EQ(FindPackage(image, &place), "");
  const size_t first = (size_t)place.offset + 16;
  ASSERT_GT(setup.size(), first + 10000);
  size_t last = setup.size() - 5000;
  for (size_t cut = first; cut <= last; ++cut) {
    // The cut bytes end where an inaccessible page begins: a read past them faults.
    GuardedMemory guarded(setup.data(), cut);
    std::string out, problems;
    int code = ListSetupFile(guarded.begin(), cut, "cut.exe", &out, &problems);
    ASSERT_EQ(code, 1) << "cut at " << cut;
    ASSERT_NE(problems.find("cut.exe: "), std::string::npos) << "cut at " << cut;
  }
  for (size_t cut : {first, (first + last) / 2, last}) {
    ConsoleRun list = List(scratch, std::vector<unsigned char>(setup.begin(), setup.begin() + cut));
    EXPECT_EQ(list.exit_code, 1u) << "cut at " << cut;
    EXPECT_NE(list.err.find("damaged.exe: the file is shorter than its package says: "),
              std::string::npos)
        << list.err;
  }
}

TEST(PackListing, APackageSizeThatRunsPastTheImageIsReportedAsDamage) {
  ScratchFolder scratch;
  std::vector<unsigned char> setup = SampleSetup(scratch);
  PeImage image;
  ASSERT_EQ(ReadPeImage(setup.data(), setup.size(), &image), PE_OK);
  PackagePlace place;
  ASSERT_EQ(FindPackage(image, &place), "");
  // The resource's data entry: its RVA, then its size, which is set far past the image.
  uint8_t entry[8];
  memcpy(entry, &place.leaf.data_rva, 4);
  memcpy(entry + 4, &place.leaf.size, 4);
  auto found = std::search(setup.begin(), setup.end(), entry, entry + 8);
  ASSERT_NE(found, setup.end());
  uint32_t huge = 0x7FFFFFF0;
  memcpy(&*found + 4, &huge, 4);
  ConsoleRun list = List(scratch, setup);
  EXPECT_EQ(list.exit_code, 1u);
  EXPECT_EQ(list.err.find("damaged.exe: the file is shorter than its package says: "), 0u)
      << list.err;
  EXPECT_NE(list.err.find(" of the package's 2147483632 bytes are there; "), std::string::npos) << list.err;
  EXPECT_NE(list.out.find("product_name: Alpha\n"), std::string::npos) << list.out;
}

}  // namespace
