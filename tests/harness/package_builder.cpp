#include "harness/package_builder.h"

#include <windows.h>
#include <gtest/gtest.h>

#include "harness/process.h"
#include "harness/scratch.h"
#include "packer/setup_writer.h"

namespace {

// A bare file name means a program next to the test executable.
std::wstring ProgramPath(const std::wstring& program) {
  if (program.find(L'\\') != std::wstring::npos || program.find(L'/') != std::wstring::npos) {
    return program;
  }
  return BinDir() + program;
}

}  // namespace

PackageContents TestPackage() {
  PackageContents contents;
  contents.product_name = u"Test Product";
  contents.product_version = u"1.0";
  contents.window_class = u"TestProductWindow";
  return contents;
}

std::u16string U16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

void AddEntry(PackageContents& contents, uint16_t flags, const std::string& name,
              const std::string& content) {
  PackageEntry entry;
  entry.flags = flags;
  entry.name = name;
  entry.data.assign(content.begin(), content.end());
  contents.entries.push_back(entry);
}

void AddUninstallerEntry(PackageContents& contents, const std::wstring& program) {
  std::wstring path = ProgramPath(program);
  PackageEntry entry;
  entry.flags = ENTRY_UNINSTALLER;
  entry.name = UNINSTALLER_FILE_NAME;
  std::vector<unsigned char> bytes = ReadBytes(path);
  EXPECT_FALSE(bytes.empty()) << "cannot read " << Narrow(path);
  entry.data.assign(bytes.begin(), bytes.end());
  contents.entries.insert(contents.entries.begin(), entry);
}

std::vector<uint8_t> PackageBytes(const PackageContents& contents) {
  std::vector<uint8_t> bytes;
  WritePackage(contents, bytes);
  return bytes;
}

bool EmbedPackageBytes(const std::wstring& program, const std::wstring& output,
                       const std::vector<uint8_t>& package) {
  std::string error;
  PackageStreamer stream = [&package](HANDLE file, std::string* error) {
    return WriteAll(file, package.data(), package.size(), error);
  };
  if (!WriteSetupExecutable(ProgramPath(program), output, package.size(), stream, &error)) {
    ADD_FAILURE() << "cannot build " << Narrow(output) << ": " << error;
    return false;
  }
  return true;
}

bool BuildInstaller(const std::wstring& program, const std::wstring& output,
                    const PackageContents& contents) {
  return EmbedPackageBytes(program, output, PackageBytes(contents));
}

EmbeddedPackage ReadEmbeddedPackage(const std::wstring& path) {
  EmbeddedPackage result;
  HMODULE module = LoadLibraryExW(path.c_str(), NULL, LOAD_LIBRARY_AS_DATAFILE);
  if (module == NULL) return result;
  HRSRC info = FindResourceW(module, MAKEINTRESOURCEW(kPackageResourceId), (LPCWSTR)RT_RCDATA);
  if (info != NULL) {
    DWORD size = SizeofResource(module, info);
    HGLOBAL loaded = LoadResource(module, info);
    const uint8_t* bytes = loaded ? (const uint8_t*)LockResource(loaded) : NULL;
    if (bytes != NULL || size == 0) {
      result.found = true;
      result.bytes.assign(bytes, bytes + size);
    }
  }
  FreeLibrary(module);
  return result;
}
