#include "packer/packing.h"

#include <windows.h>

#include "packer/console.h"
#include "packer/embed.h"
#include "packer/manifest.h"
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

  // The whole package lives in one buffer; each source is read straight into its place.
  uint64_t size = PackageSize(manifest.contents, manifest.content_sizes);
  uint8_t* package =
      (uint8_t*)VirtualAlloc(NULL, (SIZE_T)size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
  if (package == NULL) {
    return Refuse({"not enough memory for a package of " + std::to_string(size) + " bytes"});
  }
  bool written = WritePackageInto(
      manifest.contents, manifest.content_sizes,
      [&manifest, &error](size_t index, uint8_t* out, uint32_t bytes) {
        return ReadSourceInto(manifest.sources[index], out, bytes, &error);
      },
      package);
  if (!written) {
    VirtualFree(package, 0, MEM_RELEASE);
    return Refuse({error});
  }
  wchar_t embed_error[1024] = L"";
  bool embedded = EmbedPackage(stub.c_str(), output.c_str(), package, (size_t)size, embed_error,
                               1024);
  VirtualFree(package, 0, MEM_RELEASE);
  if (!embedded) return Refuse({Utf8(embed_error)});

  PrintOut(Utf8(output) + ": " + std::to_string(manifest.contents.entries.size()) +
           " entries, " + std::to_string(manifest.contents.folders.size()) + " folders, " +
           "package of " + std::to_string(size) + " bytes\n");
  return 0;
}
