#include "packer/tool/packing.h"

#include <vector>

#include "packer/tool/console.h"
#include "packer/tool/file_access.h"
#include "packer/core/icon_file.h"
#include "packer/core/manifest.h"
#include "packer/core/pe_image.h"
#include "packer/core/setup_image.h"
#include "packer/tool/setup_writer.h"
#include "packer/tool/signing.h"
#include "packer/core/tool_identity.h"
#include "packer/core/version_resource.h"

namespace {

// Manifests are short texts; anything bigger is not one.
constexpr uint64_t kManifestMaxBytes = 16 * 1024 * 1024;
// An installed tool finds its stub and uninstaller here, relative to its own folder.
const char kShareFolder[] = "../share/pack/";
// Setup stubs are small programs.
constexpr uint64_t kStubMaxBytes = 64 * 1024 * 1024;

int Refuse(const std::vector<std::string>& errors) {
  std::string text;
  for (const std::string& error : errors) text += error + "\n";
  text += PACK_TOOL_NAME ": " + std::to_string(errors.size()) +
          (errors.size() == 1 ? " problem" : " problems") + "; nothing written\n";
  PrintError(text);
  return 1;
}

// The folder part of `path`, ending in its separator ("" for a bare name).
std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// Streams the product's package into the setup executable: the package's own bytes as they
// are made, each source copied in slices, so the product is never held in memory. A file a
// folder line found is read through the folder it was listed in, as it was listed.
struct ProductPackage : PackageSource, PackageStreamSink {
  const Manifest& manifest;
  FileHandle file = kNoFile;
  std::string* error = nullptr;
  std::vector<uint8_t> buffer;
  HeldFolder held;

  explicit ProductPackage(const Manifest& product) : manifest(product) {}
  ~ProductPackage() { ReleaseHeldFolder(&held); }

  bool WritePackage(FileHandle output, std::string* problem) override {
    file = output;
    error = problem;
    bool streamed = StreamPackage(manifest.contents, manifest.content_sizes, *this);
    ReleaseHeldFolder(&held);
    return streamed;
  }
  bool Put(const uint8_t* bytes, size_t count) override {
    return WriteAll(file, bytes, count, error);
  }
  bool CopyContent(size_t index, uint32_t size) override {
    const FoundSource& found = manifest.found[index];
    if (found.walk < 0) return CopySourceTo(manifest.sources[index], size, file, &buffer, error);
    return CopyFoundFileTo(manifest.walks[found.walk], found.file, manifest.sources[index], size,
                           &held, file, &buffer, error);
  }
};

// "32-bit (x86)" or "64-bit (x64)".
std::string KindName(const PeImage& image) {
  return std::string(image.is_64_bit ? "64-bit (" : "32-bit (") + PeArchName(image) + ")";
}

// Checks that the setup stub and the uninstaller are programs of one kind, the one the
// manifest's `arch` asks for: a 64-bit setup must not install a 32-bit uninstaller that
// a Windows without 32-bit support cannot run. A stub or uninstaller that is no Windows
// program at all is left to the checks that read it.
void CheckProgramKinds(const PackRequest& request, const Manifest& manifest,
                       const std::vector<uint8_t>& stub, std::vector<std::string>* errors) {
  PeImage stub_image, uninstaller_image;
  if (ReadPeImage(stub.data(), stub.size(), &stub_image) != PE_OK) return;
  // Every section of the stub is checked here, before anything is laid out or written.
  std::string stub_damage = CheckPeLayout(stub_image);
  if (!stub_damage.empty()) {
    errors->push_back("the setup stub \"" + request.stub + "\" is damaged: " + stub_damage);
    return;
  }
  if (manifest.arch != ARCH_UNSET && (manifest.arch == ARCH_X64) != stub_image.is_64_bit) {
    errors->push_back(request.manifest + ":" + std::to_string(manifest.arch_line) + ": arch = " +
                      (manifest.arch == ARCH_X64 ? "x64" : "x86") + ", but the setup stub \"" +
                      request.stub + "\" is a " + KindName(stub_image) + " program");
  }
  std::vector<uint8_t> uninstaller;
  std::string error;
  if (!ReadWholeFile(request.uninstaller, kStubMaxBytes, "the uninstaller", &uninstaller, &error) ||
      ReadPeImage(uninstaller.data(), uninstaller.size(), &uninstaller_image) != PE_OK) {
    return;
  }
  // The uninstaller is carried as it is, but a program whose sections lie outside it is
  // damaged: it would be installed and then fail on every machine.
  std::string damage = CheckPeLayout(uninstaller_image);
  if (!damage.empty()) {
    errors->push_back("the uninstaller \"" + request.uninstaller + "\" is damaged: " + damage);
    return;
  }
  if (uninstaller_image.is_64_bit != stub_image.is_64_bit) {
    errors->push_back("the uninstaller \"" + request.uninstaller + "\" is a " +
                      KindName(uninstaller_image) + " program, but the setup stub \"" +
                      request.stub + "\" is a " + KindName(stub_image) + " one: they must " +
                      "be of one kind");
  }
}

// Refuses an output that is one of the inputs (the same file, by any name): writing it
// would replace what the setup is made of.
void CheckOutputIsNoInput(const PackRequest& request, const Manifest& manifest,
                          std::vector<std::string>* errors) {
  const std::string& output = request.output;
  std::string start = "-o \"" + output + "\" names ";
  std::string end = "; write the setup to another file";
  if (IsSameFile(output, request.manifest)) {
    errors->push_back(start + "the manifest \"" + request.manifest + "\"" + end);
  }
  if (IsSameFile(output, request.stub)) {
    errors->push_back(start + "the setup stub \"" + request.stub + "\"" + end);
  }
  if (!manifest.branding.icon_source.empty() &&
      IsSameFile(output, manifest.branding.icon_source)) {
    errors->push_back(start + "the icon \"" + manifest.branding.icon_source + "\"" + end);
  }
  for (size_t k = 0; k < manifest.sources.size(); ++k) {
    if (!IsSameFile(output, manifest.sources[k])) continue;
    std::string what = manifest.lines[k] == 0 ? "the uninstaller" : "a source";
    std::string where = manifest.lines[k] == 0 ? "" : " (" + request.manifest + ":" +
                                                           std::to_string(manifest.lines[k]) + ")";
    errors->push_back(start + what + " \"" + manifest.sources[k] + "\"" + where + end);
  }
}

// Reads the product's icon, if the manifest names one, into `branding`; a problem goes to
// `errors` with the manifest's line.
void ReadIcon(const std::string& manifest_name, const ProductBranding& product,
              SetupBranding* branding, std::vector<std::string>* errors) {
  if (product.icon_source.empty()) return;
  std::vector<uint8_t> icon;
  std::string error, problem;
  if (!ReadWholeFile(product.icon_source, kIconFileMaxBytes, "the icon", &icon, &error)) {
    errors->push_back(error);
  } else if (!(problem = ReadIconFile(icon, &branding->icon)).empty()) {
    errors->push_back(manifest_name + ":" + std::to_string(product.icon_line) + ": icon \"" +
                      product.icon_text + "\" is not a well-formed icon: " + problem);
  }
}

// The setup executable's version resource: the product's name, version and branding, and
// the file name the setup is written under (`output`).
std::vector<uint8_t> SetupVersionResource(const Manifest& manifest, const std::string& output) {
  const ProductBranding& product = manifest.branding;
  VersionInfo version;
  version.product_name = manifest.contents.product_name;
  version.product_version = manifest.contents.product_version;
  version.file_description = manifest.contents.product_name + u" Setup";
  version.company = product.company;
  version.copyright = product.copyright;
  SetFileNames(output, &version);
  for (int k = 0; k < 4; ++k) {
    version.file_version[k] = product.file_version[k];
    version.product_numbers[k] = product.product_numbers[k];
  }
  return VersionResource(version);
}

// Reads the manifest and everything it names that the checks need, and fills in the
// default stub and uninstaller for the manifest's `arch`. Returns false with every problem
// in `errors`.
bool ReadProduct(PackRequest* request, Manifest* manifest, SetupBranding* branding,
                 std::vector<uint8_t>* stub, std::vector<std::string>* errors) {
  std::vector<uint8_t> bytes;
  std::string error;
  if (!ReadWholeFile(request->manifest, kManifestMaxBytes, "the manifest", &bytes, &error)) {
    errors->push_back(error);
    return false;
  }
  std::string text(bytes.begin(), bytes.end());
  HeldFolder listing;
  FolderLister lister = [&listing](const FolderWalk& walk, std::vector<FolderItem>* items,
                                   FileIdentity* root_identity, std::string* problem) {
    return ListFolder(walk, &listing, items, root_identity, problem);
  };
  ReadManifest(text, request->manifest, FolderOf(request->manifest), LookUpSource, manifest,
               errors, lister);
  ReleaseHeldFolder(&listing);
  const char* suffix = manifest->arch == ARCH_X64 ? "-x64.exe" : ".exe";
  if (request->stub.empty()) request->stub = DefaultPart(std::string("setup-stub") + suffix);
  if (request->uninstaller.empty()) {
    request->uninstaller = DefaultPart(std::string("uninstall") + suffix);
  }
  AddUninstaller(request->uninstaller, LookUpSource, manifest, errors);
  if (LookUpSource(request->stub).kind != SOURCE_FILE) {
    errors->push_back("the setup stub \"" + request->stub + "\" is not a file");
  } else if (!ReadWholeFile(request->stub, kStubMaxBytes, "the setup stub", stub, &error)) {
    errors->push_back(error);
  } else {
    CheckProgramKinds(*request, *manifest, *stub, errors);
  }
  ReadIcon(request->manifest, manifest->branding, branding, errors);
  CheckOutputIsNoInput(*request, *manifest, errors);
  if (!errors->empty()) return false;
  branding->version = SetupVersionResource(*manifest, request->output);
  return true;
}

// Signs a copy of the uninstaller beside the output (its temporary name in `copy_path`) and
// packs that copy instead, so the installed uninstall.exe carries the signature.
bool SignUninstaller(const PackRequest& request, std::string* copy_path, Manifest* manifest,
                     std::string* error) {
  if (!CopyToTemporaryFile(request.uninstaller, request.output + ".uninstall", copy_path,
                           error)) {
    return false;
  }
  const std::string& copy = *copy_path;
  if (!SignFile(request.sign_command, copy, "the uninstaller", error) ||
      !CheckSignedUninstaller(copy, error)) {
    return false;
  }
  SourceInfo info = LookUpSource(copy);
  if (info.kind != SOURCE_FILE || info.size == 0 || info.size > 0xFFFFFFFFull) {
    *error = "after the sign command the uninstaller is no longer a readable program file";
    return false;
  }
  manifest->sources[0] = copy;
  manifest->content_sizes[0] = (uint32_t)info.size;
  return true;
}

// Writes the setup executable as a temporary file beside the output (its name in
// `partial_path`), signs it if asked, and renames it into place.
bool WriteSetup(const PackRequest& request, const Manifest& manifest,
                const std::vector<uint8_t>& stub, const SetupBranding& branding,
                std::string* partial_path, uint64_t package_size, std::string* error) {
  SetupImagePlan plan;
  if (!PlanSetupImage(stub, branding, package_size, kMaxSetupImageBytes, &plan, error)) {
    *error = request.stub + ": " + *error;
    return false;
  }
  ProductPackage package(manifest);
  if (!WriteSetupFile(request.output, plan, package_size, package, partial_path, error)) {
    return false;
  }
  const std::string& partial = *partial_path;
  if (!request.sign_command.empty() &&
      (!SignFile(request.sign_command, partial, "the setup executable", error) ||
       !CheckSignedSetup(partial, plan.package_rva, package_size, error))) {
    return false;
  }
  return PublishFile(partial, request.output, error);
}

}  // namespace

std::string DefaultPart(const std::string& name) {
  std::string beside = ProgramFolder() + name;
  if (LookUpSource(beside).kind == SOURCE_FILE) return beside;
  std::string shared = ProgramFolder() + kShareFolder + name;
  if (LookUpSource(shared).kind == SOURCE_FILE) return shared;
  return beside;
}

int PackInstaller(const PackRequest& given) {
  PackRequest request = given;
  Manifest manifest;
  SetupBranding branding;
  std::vector<uint8_t> stub;
  std::vector<std::string> errors;
  if (!ReadProduct(&request, &manifest, &branding, &stub, &errors)) return Refuse(errors);

  // Both temporary files lie beside the output, under names made for this run, and go
  // whatever happens. Only files this run created are removed: a name stays empty until
  // its file is created.
  std::string partial, uninstaller_copy;
  std::string error;
  if (!CheckPackageSize(manifest, request.manifest, &errors)) return Refuse(errors);
  bool ok = request.sign_command.empty() ||
            SignUninstaller(request, &uninstaller_copy, &manifest, &error);
  // The signature makes the uninstaller larger.
  if (ok && !CheckPackageSize(manifest, request.manifest, &errors)) {
    RemoveFileQuietly(uninstaller_copy);
    return Refuse(errors);
  }
  uint64_t size = PackageSize(manifest.contents, manifest.content_sizes);
  ok = ok && WriteSetup(request, manifest, stub, branding, &partial, size, &error);
  if (!uninstaller_copy.empty()) RemoveFileQuietly(uninstaller_copy);
  if (!ok) {
    if (!partial.empty()) RemoveFileQuietly(partial);
    return Refuse({error});
  }
  PrintOut(request.output + ": " + std::to_string(manifest.contents.entries.size()) +
           " entries, " + std::to_string(manifest.contents.folders.size()) + " folders, " +
           "package of " + std::to_string(size) + " bytes\n");
  return 0;
}
