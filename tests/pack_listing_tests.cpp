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
#include "harness/process.h"
#include "harness/scratch.h"
#include "harness/timeouts.h"
#include "packer/package_listing.h"

namespace {

// Bytes that end where an inaccessible page begins: a read past them faults.
class GuardedFile {
 public:
  explicit GuardedFile(size_t capacity) {
    size_ = (capacity + 4095) / 4096 * 4096;
    base_ = (uint8_t*)VirtualAlloc(NULL, size_ + 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    DWORD old;
    VirtualProtect(base_ + size_, 4096, PAGE_NOACCESS, &old);
  }
  ~GuardedFile() { VirtualFree(base_, 0, MEM_RELEASE); }
  const uint8_t* Hold(const std::vector<unsigned char>& bytes, size_t count) {
    uint8_t* start = base_ + size_ - count;
    memcpy(start, bytes.data(), count);
    return start;
  }

 private:
  uint8_t* base_;
  size_t size_;
};

std::vector<unsigned char> SampleSetup(const ScratchFolder& scratch) {
  std::wstring setup = scratch / L"alpha-setup.exe";
  EXPECT_EQ(RunChild(Quoted(BinDir() + L"pack.exe") + L" " +
                         Quoted(BinDir() + L"sample\\alpha.ini") + L" -o " + Quoted(setup),
                     kPackTimeoutMs),
            0u);
  return ReadBytes(setup);
}

ConsoleRun List(const ScratchFolder& scratch, const std::vector<unsigned char>& bytes) {
  WriteBytes(scratch / L"damaged.exe", bytes.data(), bytes.size());
  return RunConsoleChild(Quoted(BinDir() + L"pack.exe") + L" --list damaged.exe",
                         kPackTimeoutMs, scratch.path().c_str());
}

TEST(PackListing, EverySetupCutShortIsReportedAsDamage) {
  ScratchFolder scratch;
  std::vector<unsigned char> setup = SampleSetup(scratch);
  ASSERT_GT(setup.size(), 40000u);
  GuardedFile guarded(setup.size());
  size_t last = setup.size() - 5000;
  for (size_t cut = 30000; cut <= last; ++cut) {
    std::string out, problems;
    int code = ListSetupFile(guarded.Hold(setup, cut), cut, "cut.exe", &out, &problems);
    ASSERT_EQ(code, 1) << "cut at " << cut;
    ASSERT_NE(problems.find("cut.exe: "), std::string::npos) << "cut at " << cut;
  }
  for (size_t cut : {(size_t)30000, setup.size() / 2, last}) {
    ConsoleRun list = List(scratch, std::vector<unsigned char>(setup.begin(), setup.begin() + cut));
    EXPECT_EQ(list.exit_code, 1u) << "cut at " << cut;
    EXPECT_NE(list.err.find("damaged.exe: the package runs past the end of the file: "),
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
  EXPECT_EQ(list.err.find("damaged.exe: the package runs past the end of the file: "), 0u)
      << list.err;
  EXPECT_NE(list.err.find(" of its 2147483632 bytes are there\n"), std::string::npos) << list.err;
  EXPECT_NE(list.out.find("product_name: Alpha\n"), std::string::npos) << list.out;
}

}  // namespace
