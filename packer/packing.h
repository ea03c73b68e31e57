// "pack.exe MANIFEST -o OUTPUT.exe": reading the manifest, checking it, and streaming the
// package into a copy of the setup stub.
#pragma once

#include <string>

// Packs the product that `manifest` describes into `output`, a copy of `stub` carrying the
// package, with `uninstaller` as its first entry. Returns 0, or 1 after printing every
// problem on standard error; on failure `output` is left as it was.
int PackInstaller(const std::wstring& manifest, const std::wstring& output,
                  const std::wstring& stub, const std::wstring& uninstaller);
