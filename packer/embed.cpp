#include "packer/embed.h"

#include <windows.h>

#include "package/package_layout.h"

namespace {

void SetError(wchar_t* error, unsigned capacity, const wchar_t* what, const wchar_t* path) {
  wchar_t text[1024];
  wsprintfW(text, L"%s: %.900s (error %lu)", what, path, GetLastError());
  lstrcpynW(error, text, capacity);
}

}  // namespace

bool EmbedPackage(const wchar_t* stub, const wchar_t* output, const void* package, size_t size,
                  wchar_t* error, unsigned error_capacity) {
  wchar_t temporary[MAX_PATH + 16];
  if (lstrlenW(output) >= MAX_PATH) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    SetError(error, error_capacity, L"output path too long", output);
    return false;
  }
  wsprintfW(temporary, L"%s.partial", output);
  if (!CopyFileW(stub, temporary, FALSE)) {
    SetError(error, error_capacity, L"cannot copy the setup stub", stub);
    return false;
  }
  SetFileAttributesW(temporary, FILE_ATTRIBUTE_NORMAL);
  HANDLE update = BeginUpdateResourceW(temporary, FALSE);
  bool ok = update != NULL &&
            UpdateResourceW(update, (LPCWSTR)RT_RCDATA, MAKEINTRESOURCEW(kPackageResourceId),
                            MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL), (void*)package,
                            (DWORD)size);
  if (update != NULL && !EndUpdateResourceW(update, !ok)) ok = false;
  if (!ok) {
    SetError(error, error_capacity, L"cannot store the package in", temporary);
    DeleteFileW(temporary);
    return false;
  }
  if (!MoveFileExW(temporary, output, MOVEFILE_REPLACE_EXISTING)) {
    SetError(error, error_capacity, L"cannot write", output);
    DeleteFileW(temporary);
    return false;
  }
  return true;
}
