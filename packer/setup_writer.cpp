#include "packer/setup_writer.h"

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
  std::string close_error;
  if (!CloseOutputFile(file, *path, &close_error) && ok) {
    *error = close_error;
    ok = false;
  }
  if (!ok) {
    RemoveFileQuietly(*path);
    path->clear();
  }
  return ok;
}
