#include "packer/packing.h"

#include <windows.h>

#include "packer/console.h"
#include "packer/manifest.h"
#include "packer/setup_writer.h"
#include "packer/source_files.h"

namespace {

int Refuse(const std::vector<std::string>& errors) {
  std::string text;
  for (const std::string& error : errors) text += error + "\n";
  text += "pack.exe: " + std::to_string(errors.size()) +
          (errors.size() == 1 ? " problem" : " problems") + "; nothing written\n";
  PrintError(text);
  return 1;
}

// The folder part of `path` in UTF-8, ending in its separator ("" for a bare name).
std::string FolderOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? "" : Utf8(path.substr(0, slash + 1));
}

}  // namespace

int PackInstaller(const std::wstring& manifest_path, const std::wstring& output,
                  const std::wstring& stub, const std::wstring& uninstaller) {
  std::vector<std::string> errors;
  std::string text, error;
  if (!ReadTextFile(manifest_path, &text, &error)) return Refuse({error});

  Manifest manifest;
  std::string name = Utf8(manifest_path);
  ReadManifest(text, name, FolderOf(manifest_path), LookUpSource, &manifest, &errors);
  AddUninstaller(Utf8(uninstaller), LookUpSource, &manifest, &errors);
  if (LookUpSource(Utf8(stub)).kind != SOURCE_FILE) {
    errors.push_back("the setup stub \"" + Utf8(stub) + "\" is not a file");
  }
  if (errors.empty()) CheckPackageSize(manifest, name, &errors);
  if (!errors.empty()) return Refuse(errors);

  // The package is streamed into the output: its own bytes as they are made, each source
  // copied in slices, so the product is never held in memory.
  uint64_t size = PackageSize(manifest.contents, manifest.content_sizes);
  std::vector<uint8_t> buffer;
  PackageStreamer stream = [&manifest, &buffer](HANDLE file, std::string* error) {
    return StreamPackage(
        manifest.contents, manifest.content_sizes,
        [file, error](const uint8_t* bytes, size_t count) {
          return WriteAll(file, bytes, count, error);
        },
        [&manifest, &buffer, file, error](size_t index, uint32_t count) {
          return CopySourceTo(manifest.sources[index], count, file, &buffer, error);
        });
  };
  if (!WriteSetupExecutable(stub, output, size, stream, &error)) return Refuse({error});

  PrintOut(Utf8(output) + ": " + std::to_string(manifest.contents.entries.size()) +
           " entries, " + std::to_string(manifest.contents.folders.size()) + " folders, " +
           "package of " + std::to_string(size) + " bytes\n");
  return 0;
}
