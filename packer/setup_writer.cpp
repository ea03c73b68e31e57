#include "packer/setup_writer.h"

#include <vector>

#include "packer/console.h"
#include "packer/setup_image.h"

namespace {

// Single writes stay below what the platform takes in one call.
constexpr size_t kWriteSliceBytes = 16 * 1024 * 1024;

std::string ErrorText(const char* what, const std::wstring& path) {
  return std::string(what) + " \"" + Utf8(path) + "\" (error " + std::to_string(GetLastError()) +
         ")";
}

bool ReadWholeFile(const std::wstring& path, std::vector<uint8_t>* bytes, std::string* error) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  LARGE_INTEGER size;
  bool ok = file != INVALID_HANDLE_VALUE && GetFileSizeEx(file, &size) &&
            size.QuadPart < 64 * 1024 * 1024;
  if (ok) {
    bytes->resize((size_t)size.QuadPart);
    DWORD read = 0;
    ok = bytes->empty() ||
         (ReadFile(file, bytes->data(), (DWORD)bytes->size(), &read, NULL) && read == bytes->size());
  }
  if (!ok) *error = ErrorText("cannot read the setup stub", path);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return ok;
}

bool WriteZeros(HANDLE file, uint32_t count, std::string* error) {
  std::vector<uint8_t> zeros(count, 0);
  return WriteAll(file, zeros.data(), zeros.size(), error);
}

}  // namespace

bool WriteAll(HANDLE file, const void* bytes, size_t size, std::string* error) {
  const uint8_t* at = (const uint8_t*)bytes;
  while (size > 0) {
    DWORD slice = (DWORD)(size < kWriteSliceBytes ? size : kWriteSliceBytes);
    DWORD written = 0;
    if (!WriteFile(file, at, slice, &written, NULL) || written != slice) {
      *error = "cannot write the setup executable (error " + std::to_string(GetLastError()) + ")";
      return false;
    }
    at += slice;
    size -= slice;
  }
  return true;
}

bool WriteSetupExecutable(const std::wstring& stub, const std::wstring& output,
                          uint64_t package_size, const PackageStreamer& stream,
                          std::string* error) {
  std::vector<uint8_t> stub_bytes;
  if (!ReadWholeFile(stub, &stub_bytes, error)) return false;
  SetupImagePlan plan;
  if (!PlanSetupImage(stub_bytes, package_size, kMaxSetupImageBytes, &plan, error)) {
    *error = Utf8(stub) + ": " + *error;
    return false;
  }

  std::wstring temporary = output + L".partial";
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, NULL);
  if (file == INVALID_HANDLE_VALUE) {
    *error = ErrorText("cannot create", temporary);
    return false;
  }
  bool ok = WriteAll(file, plan.prefix.data(), plan.prefix.size(), error);
  LARGE_INTEGER start = {}, end = {}, zero = {};
  ok = ok && SetFilePointerEx(file, zero, &start, FILE_CURRENT) && stream(file, error);
  if (ok && (!SetFilePointerEx(file, zero, &end, FILE_CURRENT) ||
             (uint64_t)(end.QuadPart - start.QuadPart) != package_size)) {
    *error = "the package came out at another size than planned";
    ok = false;
  }
  ok = ok && WriteZeros(file, plan.suffix_zeros, error);
  if (!CloseHandle(file) && ok) {
    *error = ErrorText("cannot write", temporary);
    ok = false;
  }
  if (ok && !MoveFileExW(temporary.c_str(), output.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    *error = ErrorText("cannot write", output);
    ok = false;
  }
  if (!ok) DeleteFileW(temporary.c_str());
  return ok;
}
