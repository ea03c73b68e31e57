// Embedding a package into a copy of the setup stub with the platform's resource update
// functions.
#pragma once

#include <stddef.h>

// Copies `stub` to `output` and stores `size` bytes at `package` as resource RT_RCDATA
// 9999, language neutral. Writes a temporary file beside `output` and renames it at the
// end, so a failure leaves no half-written `output`. Returns false with a message in
// `error` (`error_capacity` units) on failure.
bool EmbedPackage(const wchar_t* stub, const wchar_t* output, const void* package, size_t size,
                  wchar_t* error, unsigned error_capacity);
