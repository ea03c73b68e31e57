#include "packer/tool/signing.h"

#include "package/little_endian.h"
#include "package/package_reader.h"
#include "packer/core/authenticode.h"
#include "packer/core/pe_image.h"
#include "packer/tool/file_access.h"
#include "packer/tool/package_listing.h"
#include "packer/tool/shell_command.h"

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

// The signature in a certificate entry is DER, which starts with a SEQUENCE tag.
constexpr uint8_t kDerSequenceTag = 0x30;

// What a file held before the sign command ran: enough to see whether it changed.
struct FileFingerprint {
  bool read = false;
  uint64_t size = 0;
  uint64_t hash = 0;  // FNV-1a over every byte
};

FileFingerprint FingerprintOf(const std::string& path) {
  FileFingerprint fingerprint;
  MappedFile mapped;
  std::string ignored;
  if (!MapWholeFile(path, &mapped, &ignored)) return fingerprint;
  uint64_t hash = 0xCBF29CE484222325ull;
  for (uint64_t k = 0; k < mapped.size; ++k) hash = (hash ^ mapped.bytes[k]) * 0x100000001B3ull;
  fingerprint.read = true;
  fingerprint.size = mapped.size;
  fingerprint.hash = hash;
  UnmapFile(&mapped);
  return fingerprint;
}

// "the sign command left the uninstaller unsigned (the file did not change): ..."
std::string UnsignedText(const char* what, const char* reason) {
  return std::string("the sign command left ") + what + " unsigned (" + reason +
         "): the command must sign the file it is given in place; a tool that writes the "
         "signed file elsewhere needs a step that moves it back over " SIGN_FILE_PLACEHOLDER;
}

// Refuses a file that the command left without a signature, or with one whose digests do
// not match the file ("the setup executable" is `what`). Returns false with a message.
bool CheckSignature(const PeImage& image, const char* what, std::string* error) {
  if (!HasSignature(image.bytes, image.size)) {
    *error = UnsignedText(what, "it carries no signature");
    return false;
  }
  std::string problem;
  AuthenticodeResult result = CheckAuthenticodeDigests(image, &problem);
  const std::string after = std::string("after the sign command ") + what;
  switch (result) {
    case AUTHENTICODE_OK:
      return true;
    case AUTHENTICODE_UNREADABLE:
      *error = after + "'s signature cannot be read: " + problem;
      break;
    case AUTHENTICODE_UNSUPPORTED:
      *error = after + "'s signature cannot be checked: " + problem;
      break;
    case AUTHENTICODE_MISMATCH:
      *error = after + " does not match its signature: " + problem;
      break;
  }
  return false;
}

}  // namespace

bool HasSignature(const uint8_t* bytes, uint64_t size) {
  PeImage image;
  if (ReadPeImage(bytes, size, &image) != PE_OK) return false;
  uint64_t at = DirectoryAddress(image, kCertificateDirectory);
  uint64_t table_size = DirectorySize(image, kCertificateDirectory);
  if (at == 0 || table_size <= kCertificateHeaderBytes || at + table_size > size) return false;
  uint32_t length = ReadLe32(bytes + at);
  return length > kCertificateHeaderBytes && length <= table_size &&
         ReadLe16(bytes + at + 4) == kCertificateRevision &&
         ReadLe16(bytes + at + 6) == kCertificateSignedData &&
         bytes[at + kCertificateHeaderBytes] == kDerSequenceTag;
}

bool SignFile(const std::string& command, const std::string& path, const char* what,
              std::string* error) {
  int exit_code = 0;
  std::string output;
  FileFingerprint before = FingerprintOf(path);
  if (!RunShellCommand(WithPath(command, path), &exit_code, &output, error)) return false;
  if (exit_code == 0) {
    // A tool that writes its result elsewhere exits 0 and leaves the file as it was.
    FileFingerprint after = FingerprintOf(path);
    bool unchanged = after.read && after.size == before.size && after.hash == before.hash;
    if (unchanged) *error = UnsignedText(what, "the file did not change");
    return !unchanged;
  }
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
  if (!ok) *error = "after the sign command the uninstaller is no longer a Windows program for x86";
  ok = ok && CheckSignature(image, "the uninstaller", error);
  UnmapFile(&mapped);
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
  if (!ok) {
    *error = "after the sign command the setup executable no longer carries its package intact";
  }
  ok = ok && CheckSignature(image, "the setup executable", error);
  UnmapFile(&mapped);
  return ok;
}
