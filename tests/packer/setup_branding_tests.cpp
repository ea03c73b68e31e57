// The product's icon and version information on its setup executable, read back the way
// Explorer and the dialog read them (LoadImageW, GetFileVersionInfoW), and icon files that
// are not well formed refused, naming the manifest line.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "harness/console_child.h"
#include "harness/package_builder.h"
#include "harness/process.h"
#include "harness/scratch.h"
#include "packer/core/icon_file.h"

namespace {

std::vector<uint8_t> TestIcon() {
  std::vector<unsigned char> bytes = ReadBytes(BinDir() + L"test-icon.ico");
  EXPECT_FALSE(bytes.empty()) << "the build writes test-icon.ico";
  return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::wstring VersionString(const std::vector<BYTE>& block, const wchar_t* name) {
  wchar_t* value = NULL;
  UINT length = 0;
  std::wstring path = std::wstring(L"\\StringFileInfo\\000004b0\\") + name;
  if (!VerQueryValueW(block.data(), path.c_str(), (void**)&value, &length) || value == NULL) {
    return L"(none)";
  }
  return value;
}

// The width of the icon image LoadImageW picks from group 102 for `size` pixels.
int LoadedIconWidth(HMODULE module, int size) {
  HICON icon = (HICON)LoadImageW(module, MAKEINTRESOURCEW(102), IMAGE_ICON, size, size, 0);
  if (icon == NULL) return 0;
  ICONINFO info = {};
  BITMAP bitmap = {};
  GetIconInfo(icon, &info);
  GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  DestroyIcon(icon);
  return bitmap.bmWidth;
}

TEST(SetupBranding, IconAndVersionInformationAsThePlatformReadsThem) {
  ScratchFolder scratch;
  std::vector<uint8_t> icon = TestIcon();
  CreateDirectoryW((scratch / L"art").c_str(), NULL);
  WriteBytes(scratch / L"art\\app.ico", icon.data(), icon.size());
  WriteText(scratch / L"a.txt", "a");
  WriteText(scratch / L"app.ini",
            "[product]\nname = Brand Caf\xC3\xA9\nversion = 2.5 beta\nwindow_class = BrandWnd\n"
            "icon = art\\app.ico\ncompany = KOZ Soft\ncopyright = \xC2\xA9 2024 KOZ Soft\n"
            "file_version = 2.5.0.17\n[files]\na.txt = a.txt\n");
  ConsoleRun run = RunPack(L"app.ini -o setup.exe", scratch.path());
  ASSERT_EQ(run.exit_code, 0u) << run.err;
  std::wstring setup = scratch / L"setup.exe";

  // Every image of the icon file replaced the stub's, the 256-pixel PNG one included; the
  // dialog's banner and Explorer pick from these.
  HMODULE module = LoadLibraryExW(setup.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, (HMODULE)NULL);
  EXPECT_EQ(LoadedIconWidth(module, 16), 16);
  EXPECT_EQ(LoadedIconWidth(module, 32), 32);
  EXPECT_EQ(LoadedIconWidth(module, 256), 256);
  std::vector<IconImage> images;
  ASSERT_EQ(ReadIconFile(icon, &images), "");
  int found = 0;
  for (WORD id = 1; id <= 8; ++id) {
    HRSRC image = FindResourceW(module, MAKEINTRESOURCEW(id), (LPCWSTR)RT_ICON);
    if (image == NULL) continue;
    ++found;
    const BYTE* bytes = (const BYTE*)LockResource(LoadResource(module, image));
    EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + SizeofResource(module, image)),
              images[found - 1].bytes);
  }
  EXPECT_EQ(found, 3);
  FreeLibrary(module);

  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeW(setup.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(setup.c_str(), 0, size, block.data()));
  EXPECT_EQ(VersionString(block, L"ProductName"), L"Brand Caf\u00e9");
  EXPECT_EQ(VersionString(block, L"ProductVersion"), L"2.5 beta");
  EXPECT_EQ(VersionString(block, L"FileDescription"), L"Brand Caf\u00e9 Setup");
  EXPECT_EQ(VersionString(block, L"CompanyName"), L"KOZ Soft");
  EXPECT_EQ(VersionString(block, L"LegalCopyright"), L"\u00a9 2024 KOZ Soft");
  EXPECT_EQ(VersionString(block, L"FileVersion"), L"2.5.0.17");
  // The file name it was written under, and that name without ".exe".
  EXPECT_EQ(VersionString(block, L"OriginalFilename"), L"setup.exe");
  EXPECT_EQ(VersionString(block, L"InternalName"), L"setup");
  VS_FIXEDFILEINFO* fixed = NULL;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", (void**)&fixed, &length));
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(5, 2));
  EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(17, 0));
  EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(5, 2));
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
  WORD* translation = NULL;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", (void**)&translation,
                             &length));
  EXPECT_EQ(translation[0], 0);  // language neutral
  EXPECT_EQ(translation[1], 1200);

  // The uninstaller is carried as it is, with its own icon.
  EmbeddedPackage package = ReadEmbeddedPackage(setup);
  std::vector<unsigned char> uninstaller = ReadBytes(BinDir() + L"uninstall.exe");
  size_t data = 204 + 1 + 2 + 14 + 4;
  ASSERT_GE(package.bytes.size(), data + uninstaller.size());
  EXPECT_TRUE(std::equal(uninstaller.begin(), uninstaller.end(), package.bytes.begin() + data));
}

TEST(SetupBranding, MalformedIconsAreRefusedNamingTheLine) {
  std::vector<uint8_t> icon = TestIcon();
  std::vector<IconImage> images;
  struct Case {
    size_t at;  // the byte changed (or, with value -1, where the file is cut)
    int value;
    const char* problem;
  } cases[] = {
      {icon.size() - 10, -1, "image 3 runs past the end of the file"},
      {2, 2, "it is a cursor, not an icon"},
      {4, 0, "it holds no image"},
      {0, 'M', "it does not start with an icon directory"},
      {6 + 3 * 16 + 4, 0x40, "image 1 is 16x16 in the directory but its bitmap is 64x32 (an "
                             "icon's bitmap is twice as high: colours, then the mask)"},
      {6 + 3 * 16 + 16, 1, "image 1 is a compressed bitmap"},
      {6, 48, "image 1 is 48x16 in the directory but its bitmap is 16x32 (an icon's bitmap is "
              "twice as high: colours, then the mask)"},
      {6 + 2 * 16, 128, "image 3 is 128x256 in the directory but 256x256 in its PNG header"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bad = icon;
    if (c.value < 0) {
      bad.resize(c.at);
    } else {
      bad[c.at] = (uint8_t)c.value;
    }
    EXPECT_EQ(ReadIconFile(bad, &images), c.problem);
  }

  // End to end: the manifest line is named and nothing is written.
  ScratchFolder scratch;
  icon.resize(icon.size() - 10);
  WriteBytes(scratch / L"cut.ico", icon.data(), icon.size());
  WriteText(scratch / L"a.txt", "a");
  WriteText(scratch / L"app.ini", "[product]\nname = A\nversion = 1\nwindow_class = W\n"
                                  "icon = cut.ico\n[files]\na.txt = a.txt\n");
  ConsoleRun run = RunPack(L"app.ini -o setup.exe", scratch.path());
  EXPECT_EQ(run.exit_code, 1u);
  EXPECT_EQ(run.err, "app.ini:5: icon \"cut.ico\" is not a well-formed icon: image 3 runs past "
                     "the end of the file\npack.exe: 1 problem; nothing written\n");
  EXPECT_FALSE(FileExists(scratch / L"setup.exe"));
}

}  // namespace
