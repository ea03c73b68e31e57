#include "harness/package_builder.h"

#include <windows.h>
#include <gtest/gtest.h>

#include "harness/process.h"
#include "harness/scratch.h"
#include "packer/tool/file_access.h"
#include "packer/tool/setup_writer.h"

namespace {

std::vector<uint32_t> HeldSizes(const TestPackageContents& contents) {
  EXPECT_EQ(contents.data.size(), contents.entries.size()) << "one content per entry";
  std::vector<uint32_t> sizes;
  for (const std::vector<uint8_t>& data : contents.data) sizes.push_back((uint32_t)data.size());
  return sizes;
}

// Collects a streamed package in memory, each entry's content from its `data`.
struct HeldPackage : PackageStreamSink {
  const TestPackageContents& contents;
  std::vector<uint8_t>& out;
  HeldPackage(const TestPackageContents& package, std::vector<uint8_t>& bytes)
      : contents(package), out(bytes) {}
  bool Put(const uint8_t* bytes, size_t count) override {
    out.insert(out.end(), bytes, bytes + count);
    return true;
  }
  bool CopyContent(size_t index, uint32_t size) override {
    const std::vector<uint8_t>& data = contents.data[index];
    out.insert(out.end(), data.begin(), data.begin() + size);
    return true;
  }
};

// Writes bytes held in memory into a setup executable.
struct BytesSource : PackageSource {
  const std::vector<uint8_t>& bytes;
  explicit BytesSource(const std::vector<uint8_t>& package) : bytes(package) {}
  bool WritePackage(FileHandle file, std::string* error) override {
    return WriteAll(file, bytes.data(), bytes.size(), error);
  }
};

// A bare file name means a program next to the test executable.
std::wstring ProgramPath(const std::wstring& program) {
  if (program.find(L'\\') != std::wstring::npos || program.find(L'/') != std::wstring::npos) {
    return program;
  }
  return BinDir() + program;
}

}  // namespace

TestPackageContents TestPackage() {
  TestPackageContents contents;
  contents.product_name = u"Test Product";
  contents.product_version = u"1.0";
  contents.window_class = u"TestProductWindow";
  return contents;
}

std::u16string U16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

void AddEntry(TestPackageContents& contents, uint16_t flags, const std::string& name,
              const std::string& content) {
  PackageEntry entry;
  entry.flags = flags;
  entry.name = name;
  contents.entries.push_back(entry);
  contents.data.emplace_back(content.begin(), content.end());
}

void AddUninstallerEntry(TestPackageContents& contents, const std::wstring& program) {
  std::wstring path = ProgramPath(program);
  PackageEntry entry;
  entry.flags = ENTRY_UNINSTALLER;
  entry.name = UNINSTALLER_FILE_NAME;
  std::vector<unsigned char> bytes = ReadBytes(path);
  EXPECT_FALSE(bytes.empty()) << "cannot read " << Utf8(path);
  contents.entries.insert(contents.entries.begin(), entry);
  contents.data.emplace(contents.data.begin(), bytes.begin(), bytes.end());
}

void WritePackage(const TestPackageContents& contents, std::vector<uint8_t>& out) {
  HeldPackage sink(contents, out);
  StreamPackage(contents, HeldSizes(contents), sink);
}

uint64_t PackageSize(const TestPackageContents& contents) {
  return PackageSize(contents, HeldSizes(contents));
}

std::vector<uint8_t> PackageBytes(const TestPackageContents& contents) {
  std::vector<uint8_t> bytes;
  WritePackage(contents, bytes);
  return bytes;
}

std::vector<uint8_t> WithUint32At(std::vector<uint8_t> bytes, size_t offset, uint32_t value) {
  for (int k = 0; k < 4; ++k) bytes[offset + k] = (uint8_t)(value >> (8 * k));
  return bytes;
}

std::vector<uint8_t> WithUnterminatedString(std::vector<uint8_t> bytes, size_t field_offset) {
  for (uint32_t unit = 0; unit < kHeaderStringUnits; ++unit) {
    bytes[field_offset + 2 * unit] = 'x';
    bytes[field_offset + 2 * unit + 1] = 0;
  }
  return bytes;
}

bool EmbedPackageBytes(const std::wstring& program, const std::wstring& output,
                       const std::vector<uint8_t>& package) {
  std::vector<unsigned char> stub = ReadBytes(ProgramPath(program));
  SetupImagePlan plan;
  BytesSource source(package);
  std::string error, written;
  if (!PlanSetupImage(std::vector<uint8_t>(stub.begin(), stub.end()), SetupBranding(),
                      package.size(), kMaxSetupImageBytes, &plan, &error) ||
      !WriteSetupFile(Utf8(output), plan, package.size(), source, &written, &error) ||
      !PublishFile(written, Utf8(output), &error)) {
    ADD_FAILURE() << "cannot build " << Utf8(output) << ": " << error;
    return false;
  }
  return true;
}

bool BuildInstaller(const std::wstring& program, const std::wstring& output,
                    const TestPackageContents& contents) {
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
