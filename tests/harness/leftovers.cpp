#include "harness/leftovers.h"

#include <windows.h>
#include <shlobj.h>

#include "harness/registry.h"
#include "harness/scratch.h"
#include "harness/shell.h"

void Leftovers::AddFolderIfNew(const std::wstring& folder) {
  if (!FolderExists(folder)) new_folders_.push_back(folder);
}

void Leftovers::AddProduct(const std::wstring& name, const std::wstring& version,
                           const std::wstring& link) {
  AddKey(UninstallKey(name, version));
  AddPath(SpecialFolder(CSIDL_COMMON_PROGRAMS) + L"\\" + name + L" " + version);
  if (link.empty()) return;
  AddPath(SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + L"\\" + link);
  AddPath(SpecialFolder(CSIDL_COMMON_STARTUP) + L"\\" + link);
}

void Leftovers::RemoveNow() const {
  for (const std::wstring& path : paths_) RemoveTree(path);
  for (const std::wstring& folder : emptied_) {
    for (const std::wstring& name : FolderContents(folder)) RemoveTree(folder + L"\\" + name);
  }
  for (auto folder = new_folders_.rbegin(); folder != new_folders_.rend(); ++folder) {
    RemoveDirectoryW(folder->c_str());
  }
  for (const std::wstring& key : keys_) RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
}
