// Writing a setup executable from its plan: the stub's bytes with the new section's head,
// the package streamed into place, the padding. Portable, over the host's files.
#pragma once

#include <stdint.h>

#include <string>

#include "packer/tool/file_access.h"
#include "packer/core/setup_image.h"

// Largest image the setup executable may have: a 32-bit process must map it whole.
constexpr uint64_t kMaxSetupImageBytes = 1536ull * 1024 * 1024;

// Where the package's bytes come from while a setup executable is written.
struct PackageSource {
  // Writes exactly the package's bytes to `file` at its position. Returns false with a
  // message in `error`.
  virtual bool WritePackage(FileHandle file, std::string* error) = 0;

 protected:
  ~PackageSource() = default;
};

// Closes the temporary file `file` named `*path` that `written` says was written whole.
// Returns true when both went well; otherwise removes the file, clears `*path` and returns
// false with a message in `error` (the close's own when the writing went well).
bool FinishTemporaryFile(FileHandle file, bool written, std::string* path, std::string* error);

// Copies the file `from` to a new temporary file (CreateTemporaryFile with `stem`) and
// returns its name in `path`. Returns false with a message; nothing is left then.
bool CopyToTemporaryFile(const std::string& from, const std::string& stem, std::string* path,
                         std::string* error);

// Writes a new temporary file (CreateTemporaryFile with `stem`, its name in `path`): the
// plan's prefix, the `package_size` bytes that `package` writes, the plan's padding.
// Returns false with a message in `error`; a file begun is removed again.
bool WriteSetupFile(const std::string& stem, const SetupImagePlan& plan, uint64_t package_size,
                    PackageSource& package, std::string* path, std::string* error);
