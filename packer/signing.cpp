#include "packer/signing.h"

#include "package/package_reader.h"
#include "packer/host_files.h"
#include "packer/package_listing.h"
#include "packer/pe_image.h"
#include "packer/shell_command.h"

namespace {

std::string WithPath(const std::string& command, const std::string& path) {
  std::string line = command;
  std::string quoted = QuoteForShell(path);
  const std::string placeholder = SIGN_FILE_PLACEHOLDER;
  for (size_t at = line.find(placeholder); at != std::string::npos;
       at = line.find(placeholder, at + quoted.size())) {
    line.replace(at, placeholder.size(), quoted);
  }
  return line;
}

// The certificate table (a file offset, not an RVA) must lie after every section's raw
// data and inside the file: appended, as signing tools append it.
bool CertificateIsAppended(const PeImage& image) {
  uint32_t at = DirectoryAddress(image, kCertificateDirectory);
  uint32_t size = DirectorySize(image, kCertificateDirectory);
  if (at == 0 && size == 0) return true;
  uint64_t sections_end = 0;
  for (const PeSection& s : image.sections) {
    if (s.raw_size > 0 && (uint64_t)s.raw_pointer + s.raw_size > sections_end) {
      sections_end = (uint64_t)s.raw_pointer + s.raw_size;
    }
  }
  return at >= sections_end && (uint64_t)at + size <= image.size;
}

}  // namespace

bool SignFile(const std::string& command, const std::string& path, const char* what,
              std::string* error) {
  int exit_code = 0;
  std::string output;
  if (!RunShellCommand(WithPath(command, path), &exit_code, &output, error)) return false;
  if (exit_code == 0) return true;
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  *error = std::string("the sign command failed for ") + what + " with exit code " +
           std::to_string(exit_code) + (output.empty() ? "" : ":\n" + output);
  return false;
}

bool CheckSignedUninstaller(const std::string& path, std::string* error) {
  MappedFile mapped;
  if (!MapWholeFile(path, &mapped, error)) return false;
  PeImage image;
  bool ok = ReadPeImage(mapped.bytes, mapped.size, &image) == PE_OK && CertificateIsAppended(image);
  UnmapFile(&mapped);
  if (!ok) *error = "after the sign command the uninstaller is no longer a Windows program for x86";
  return ok;
}

bool CheckSignedSetup(const std::string& path, uint32_t package_rva, uint64_t package_size,
                      std::string* error) {
  MappedFile mapped;
  if (!MapWholeFile(path, &mapped, error)) return false;
  PeImage image;
  PackagePlace place;
  bool ok = ReadPeImage(mapped.bytes, mapped.size, &image) == PE_OK &&
            CertificateIsAppended(image) && FindPackage(image, &place).empty() &&
            place.leaf.data_rva == package_rva && place.leaf.size == package_size &&
            place.held == package_size &&
            IsPackageHeaderSound(mapped.bytes + place.offset, (uint32_t)place.held);
  UnmapFile(&mapped);
  if (!ok) {
    *error = "after the sign command the setup executable no longer carries its package intact";
  }
  return ok;
}
