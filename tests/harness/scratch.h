// Scratch state for tests: a private folder removed afterwards, and the file readers and
// writers used to prepare the Wine drive and to check what the programs left on it.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "harness/text.h"  // Utf8 and Utf16, for messages that name paths

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

// Removes a file or a folder tree, read-only ones too; missing ones are fine.
void RemoveTree(const std::wstring& path);

// A file's bytes; empty when it cannot be read.
std::vector<unsigned char> ReadBytes(const std::wstring& path);
// The same as a byte string.
std::string FileText(const std::wstring& path);
// True when both files can be read, are not empty and hold the same bytes.
bool SameBytes(const std::wstring& a, const std::wstring& b);

// Write a whole file, failing the test when that does not work.
void WriteBytes(const std::wstring& path, const void* data, size_t size);
void WriteText(const std::wstring& path, const std::string& text);
void CopyForTest(const std::wstring& from, const std::wstring& to);

bool FileExists(const std::wstring& path);
bool FolderExists(const std::wstring& path);

// The names in `folder` (files and folders, without "." and ".."), in the order listed.
std::vector<std::wstring> FolderContents(const std::wstring& folder);
