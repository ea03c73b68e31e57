#include "packer/source_files.h"

#include <windows.h>

#include "packer/console.h"
#include "packer/setup_writer.h"

namespace {

// Manifests are short texts; anything bigger is not one.
constexpr DWORD kManifestMaxBytes = 16 * 1024 * 1024;
// Sources are copied in slices: large enough for few calls, small enough to stay cached.
constexpr DWORD kCopySliceBytes = 1024 * 1024;

std::string ErrorText(const char* what, const std::string& path) {
  return std::string(what) + " \"" + path + "\" (error " + std::to_string(GetLastError()) + ")";
}

}  // namespace

bool ReadTextFile(const std::wstring& path, std::string* text, std::string* error) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) {
    *error = ErrorText("cannot open the manifest", Utf8(path));
    return false;
  }
  LARGE_INTEGER size;
  bool ok = GetFileSizeEx(file, &size) && size.QuadPart <= kManifestMaxBytes;
  if (ok) {
    text->resize((size_t)size.QuadPart);
    DWORD read = 0;
    ok = size.QuadPart == 0 ||
         (ReadFile(file, &(*text)[0], (DWORD)size.QuadPart, &read, NULL) && read == size.QuadPart);
  }
  if (!ok) *error = ErrorText("cannot read the manifest", Utf8(path));
  CloseHandle(file);
  return ok;
}

SourceInfo LookUpSource(const std::string& path) {
  SourceInfo info;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Utf16(path).c_str(), GetFileExInfoStandard, &data)) return info;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    info.kind = SOURCE_FOLDER;
    return info;
  }
  info.kind = SOURCE_FILE;
  info.size = ((uint64_t)data.nFileSizeHigh << 32) | data.nFileSizeLow;
  return info;
}

bool CopySourceTo(const std::string& path, uint32_t size, HANDLE output,
                  std::vector<uint8_t>* buffer, std::string* error) {
  HANDLE file = CreateFileW(Utf16(path).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                            OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
  if (file == INVALID_HANDLE_VALUE) {
    *error = ErrorText("cannot open", path);
    return false;
  }
  LARGE_INTEGER now;
  bool ok = GetFileSizeEx(file, &now) && (uint64_t)now.QuadPart == size;
  if (!ok) *error = "\"" + path + "\" changed while it was packed";
  if (buffer->size() < kCopySliceBytes) buffer->resize(kCopySliceBytes);
  uint32_t done = 0;
  while (ok && done < size) {
    DWORD want = size - done < kCopySliceBytes ? size - done : kCopySliceBytes;
    DWORD read = 0;
    if (!ReadFile(file, buffer->data(), want, &read, NULL) || read == 0) {
      *error = ErrorText("cannot read", path);
      ok = false;
      break;
    }
    ok = WriteAll(output, buffer->data(), read, error);
    done += read;
  }
  CloseHandle(file);
  return ok;
}
