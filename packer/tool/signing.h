// Signing with the publisher's own tool: a command run through the host's shell with
// `{file}` replaced by the quoted path of the file to sign in place. The uninstaller is
// signed before it is packed, the setup executable before it is renamed into place; after
// each, the file must still read as what it was and carry a signature made for it: the
// signature's digests must match the file (packer/core/authenticode.h), which is no full
// verification of the signature and its certificates.
#pragma once

#include <stdint.h>
#include <string>

// The placeholder the sign command names the file with.
#define SIGN_FILE_PLACEHOLDER "{file}"

// Runs `command` on `path`; `what` names the file in messages ("the uninstaller"). Returns
// false with a message (the exit code and the command's output) when the command cannot be
// started or ends with an exit code other than 0, or leaves the file unchanged (a command
// that writes its result elsewhere).
bool SignFile(const std::string& command, const std::string& path, const char* what,
              std::string* error);

// Whether the Windows program `bytes` carries a certificate table whose first entry holds a
// signature (a PKCS #7 signed-data structure).
bool HasSignature(const uint8_t* bytes, uint64_t size);

// Checks that the signed uninstaller at `path` is still a 32-bit or 64-bit Windows program whose
// certificate table follows its sections and holds a signature whose digests match the file.
// Returns false with a message.
bool CheckSignedUninstaller(const std::string& path, std::string* error);

// Checks that the signed setup executable at `path` still carries its package: resource
// RT_RCDATA 9999 at `package_rva` with `package_size` bytes, all of them in the file, with
// a sound header, and a certificate table after the sections that holds a signature whose
// digests match the file. Returns false with a message.
bool CheckSignedSetup(const std::string& path, uint32_t package_rva, uint64_t package_size,
                      std::string* error);
