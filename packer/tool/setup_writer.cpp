#include "packer/tool/setup_writer.h"

#include <vector>

bool WriteSetupFile(const std::string& stem, const SetupImagePlan& plan, uint64_t package_size,
                    PackageSource& package, std::string* path, std::string* error) {
  FileHandle file = CreateTemporaryFile(stem, path, error);
  if (file == kNoFile) return false;
  bool ok = WriteAll(file, plan.prefix.data(), plan.prefix.size(), error) &&
            package.WritePackage(file, error);
  if (ok && OutputPosition(file) != plan.prefix.size() + package_size) {
    *error = "the package came out at another size than planned";
    ok = false;
  }
  std::vector<uint8_t> zeros(plan.suffix_zeros, 0);
  ok = ok && WriteAll(file, zeros.data(), zeros.size(), error);
  return FinishTemporaryFile(file, ok, path, error);
}

bool FinishTemporaryFile(FileHandle file, bool written, std::string* path, std::string* error) {
  std::string close_error;
  if (!CloseOutputFile(file, *path, &close_error) && written) {
    *error = close_error;
    written = false;
  }
  if (!written) {
    RemoveFileQuietly(*path);
    path->clear();
  }
  return written;
}

bool CopyToTemporaryFile(const std::string& from, const std::string& stem, std::string* path,
                         std::string* error) {
  SourceInfo info = LookUpSource(from);
  if (info.kind != SOURCE_FILE || info.size > 0xFFFFFFFFull) {
    *error = "cannot copy \"" + from + "\": it is not a readable file under 4 GiB";
    return false;
  }
  FileHandle out = CreateTemporaryFile(stem, path, error);
  if (out == kNoFile) return false;
  std::vector<uint8_t> buffer;
  bool copied = CopySourceTo(from, (uint32_t)info.size, out, &buffer, error);
  return FinishTemporaryFile(out, copied, path, error);
}
