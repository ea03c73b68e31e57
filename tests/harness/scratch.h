// Scratch state for tests: a private folder removed afterwards, and small file and
// registry readers used to check what the programs left on the Wine drive.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

// A fresh, uniquely named folder below the temporary folder; removed with everything in it
// when the object goes.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  // The folder, without trailing backslash.
  const std::wstring& path() const { return path_; }
  // path() + "\" + relative.
  std::wstring operator/(const std::wstring& relative) const { return path_ + L"\\" + relative; }

 private:
  std::wstring path_;
};

// Removes a file or a folder tree; missing ones are fine.
void RemoveTree(const std::wstring& path);

std::vector<unsigned char> ReadBytes(const std::wstring& path);
void WriteBytes(const std::wstring& path, const void* data, size_t size);
void WriteText(const std::wstring& path, const std::string& text);
bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);

// A REG_SZ value, or nullptr-like empty optional: `found` false when missing.
struct RegistryString {
  bool found = false;
  std::wstring value;
};
RegistryString ReadRegistryString(HKEY root, const std::wstring& subkey,
                                  const wchar_t* value_name);
bool RegistryKeyExists(HKEY root, const std::wstring& subkey);

// A special folder's path without trailing backslash, asked from the platform.
std::wstring SpecialFolder(int csidl);

// UTF-8 <-> UTF-16 for messages and files.
std::wstring Wide(const std::string& text);
std::string Narrow(const std::wstring& text);
