// Writing the setup executable on Windows: the stub, its new resource section, and the
// package streamed into place.
#pragma once

#include <windows.h>
#include <stdint.h>

#include <functional>
#include <string>

// Largest image the setup executable may have: a 32-bit process must map it whole.
constexpr uint64_t kMaxSetupImageBytes = 1536ull * 1024 * 1024;

// Writes exactly the package's bytes to `file` at its current position. Returns false with
// a message in `error`.
using PackageStreamer = std::function<bool(HANDLE file, std::string* error)>;

// Writes `output`: a copy of the program `stub` that carries a package of `package_size`
// bytes as resource RT_RCDATA 9999 (language neutral), whose bytes `stream` writes. Works in
// a temporary file beside `output` and renames it at the end, so a failure leaves `output`
// as it was. Returns false with a message in `error`.
bool WriteSetupExecutable(const std::wstring& stub, const std::wstring& output,
                          uint64_t package_size, const PackageStreamer& stream,
                          std::string* error);

// Writes all `size` bytes at `bytes` to `file`. Returns false with a message in `error`.
bool WriteAll(HANDLE file, const void* bytes, size_t size, std::string* error);
