#include "harness/scratch.h"

#include <shlobj.h>
#include <shlwapi.h>
#include <gtest/gtest.h>

ScratchFolder::ScratchFolder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  static unsigned counter = 0;
  for (;;) {
    wchar_t name[MAX_PATH];
    wsprintfW(name, L"%sscratch-%u-%u-%u", temp, GetCurrentProcessId(), GetTickCount(), ++counter);
    if (CreateDirectoryW(name, NULL)) {
      path_ = name;
      return;
    }
  }
}

ScratchFolder::~ScratchFolder() { RemoveTree(path_); }

void RemoveTree(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DeleteFileW(path.c_str());
    return;
  }
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name != L"." && name != L"..") RemoveTree(path + L"\\" + name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(path.c_str());
}

std::vector<unsigned char> ReadBytes(const std::wstring& path) {
  std::vector<unsigned char> bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE |
                            FILE_SHARE_DELETE, NULL, OPEN_EXISTING, 0, NULL);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  DWORD size = GetFileSize(file, NULL);
  bytes.resize(size);
  DWORD read = 0;
  if (size > 0) ReadFile(file, bytes.data(), size, &read, NULL);
  bytes.resize(read);
  CloseHandle(file);
  return bytes;
}

void WriteBytes(const std::wstring& path, const void* data, size_t size) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << Narrow(path);
  DWORD written = 0;
  if (size > 0) WriteFile(file, data, (DWORD)size, &written, NULL);
  CloseHandle(file);
  ASSERT_EQ(written, size);
}

void WriteText(const std::wstring& path, const std::string& text) {
  WriteBytes(path, text.data(), text.size());
}

bool FileExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool FolderExists(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

RegistryString ReadRegistryString(HKEY root, const std::wstring& subkey,
                                  const wchar_t* value_name) {
  RegistryString result;
  HKEY key;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return result;
  wchar_t data[2048];
  DWORD size = sizeof(data) - sizeof(wchar_t);
  DWORD type = 0;
  if (RegQueryValueExW(key, value_name, NULL, &type, (BYTE*)data, &size) == ERROR_SUCCESS &&
      type == REG_SZ) {
    data[size / sizeof(wchar_t)] = 0;
    result.found = true;
    result.value = data;
  }
  RegCloseKey(key);
  return result;
}

bool RegistryKeyExists(HKEY root, const std::wstring& subkey) {
  HKEY key;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

std::wstring SpecialFolder(int csidl) {
  wchar_t path[MAX_PATH] = L"";
  SHGetFolderPathW(NULL, csidl, NULL, 0, path);
  return path;
}

std::wstring Wide(const std::string& text) {
  if (text.empty()) return L"";
  int count = MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), NULL, 0);
  std::wstring out(count, 0);
  MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &out[0], count);
  return out;
}

std::string Narrow(const std::wstring& text) {
  if (text.empty()) return "";
  int count = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), NULL, 0, NULL, NULL);
  std::string out(count, 0);
  WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &out[0], count, NULL, NULL);
  return out;
}
