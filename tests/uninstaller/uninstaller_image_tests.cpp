// uninstall.exe as a program image: a GUI program for Windows 2000 and later, of the build's
// own kind (32-bit, or 64-bit in a 64-bit build), with
// its manifest (identity "uninstall", administrator rights) and its icon group 101.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "harness/process.h"
#include "harness/scratch.h"

namespace {

TEST(UninstallerImage, IsAGuiProgramForWindows2000OfTheBuildsKind) {
  std::vector<unsigned char> image = ReadBytes(UninstallerExe());
  ASSERT_GT(image.size(), sizeof(IMAGE_DOS_HEADER));
  const IMAGE_DOS_HEADER* dos = (const IMAGE_DOS_HEADER*)image.data();
  ASSERT_EQ(dos->e_magic, IMAGE_DOS_SIGNATURE);
  ASSERT_LT((size_t)dos->e_lfanew + sizeof(IMAGE_NT_HEADERS), image.size());
  const IMAGE_NT_HEADERS* nt = (const IMAGE_NT_HEADERS*)(image.data() + dos->e_lfanew);
  EXPECT_EQ(nt->Signature, IMAGE_NT_SIGNATURE);
  EXPECT_EQ(nt->FileHeader.Machine,
            sizeof(void*) == 8 ? IMAGE_FILE_MACHINE_AMD64 : IMAGE_FILE_MACHINE_I386);
  EXPECT_EQ(nt->OptionalHeader.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);
  EXPECT_EQ(nt->OptionalHeader.MajorSubsystemVersion, 5);
  EXPECT_EQ(nt->OptionalHeader.MinorSubsystemVersion, 0);
}

class LoadedImage {
 public:
  LoadedImage() {
    module_ = LoadLibraryExW(UninstallerExe().c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
  }
  ~LoadedImage() {
    if (module_ != NULL) FreeLibrary(module_);
  }
  HMODULE module() const { return module_; }
  // The bytes of resource `id` of `type`; empty when there is none.
  std::string Resource(int id, const wchar_t* type) const {
    HRSRC found = FindResourceW(module_, MAKEINTRESOURCEW(id), type);
    if (found == NULL) return std::string();
    HGLOBAL loaded = LoadResource(module_, found);
    const char* data = (const char*)LockResource(loaded);
    return data == NULL ? std::string() : std::string(data, SizeofResource(module_, found));
  }

 private:
  HMODULE module_ = NULL;
};

TEST(UninstallerImage, ManifestNamesTheProgramAndRequiresAdministratorRights) {
  LoadedImage image;
  ASSERT_NE(image.module(), nullptr);
  std::string manifest = image.Resource(1, MAKEINTRESOURCEW(24));
  ASSERT_FALSE(manifest.empty());
  for (const char* part : {"name=\"uninstall\"", "version=\"1.0.0.0\"",
                           sizeof(void*) == 8 ? "processorArchitecture=\"amd64\""
                                              : "processorArchitecture=\"X86\"",
                           "type=\"win32\"",
                           "level=\"requireAdministrator\""}) {
    EXPECT_NE(manifest.find(part), std::string::npos) << part;
  }
}

#pragma pack(push, 2)
struct IconGroupEntry {
  BYTE width, height, colour_count, reserved;
  WORD planes, bit_count;
  DWORD bytes;
  WORD id;
};
#pragma pack(pop)

TEST(UninstallerImage, IconGroup101HoldsOne32x32IconWith16Colours) {
  LoadedImage image;
  ASSERT_NE(image.module(), nullptr);
  std::string group = image.Resource(101, MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
  ASSERT_EQ(group.size(), 6 + sizeof(IconGroupEntry));
  const WORD* header = (const WORD*)group.data();
  EXPECT_EQ(header[1], 1) << "type: icon";
  EXPECT_EQ(header[2], 1) << "one image";
  const IconGroupEntry* entry = (const IconGroupEntry*)(group.data() + 6);
  EXPECT_EQ(entry->width, 32);
  EXPECT_EQ(entry->height, 32);
  EXPECT_EQ(entry->colour_count, 16);
  EXPECT_EQ(entry->bit_count, 4);
  EXPECT_FALSE(image.Resource(entry->id, MAKEINTRESOURCEW(3)).empty()) << "the icon itself";
}

}  // namespace
