#include "engine_support.h"

#include <shlobj.h>
#include <gtest/gtest.h>

#include "harness/package_builder.h"
#include "harness/process.h"
#include "harness/scratch.h"

std::wstring LogHeader(const std::wstring& name, const std::wstring& version,
                       const std::wstring& window_class) {
  return name + L"#" + version + L"#" + window_class + L"#DO NOT REMOVE/EDIT THIS FILE";
}

std::wstring LogText(const std::wstring& header, const std::vector<LogRecordText>& records,
                     bool end_marker) {
  std::wstring text = header;
  for (const LogRecordText& record : records) {
    text += L"\r\n|";
    text += record.first;
    text += L"|" + record.second + L"|";
  }
  if (end_marker) text += L"\r\n||";
  return text;
}

std::wstring ReadLog(const std::wstring& path) {
  std::vector<unsigned char> bytes = ReadBytes(path);
  return std::wstring((const wchar_t*)bytes.data(), bytes.size() / 2);
}

std::vector<std::wstring> FolderChain(const std::wstring& path) {
  std::vector<std::wstring> chain;
  size_t separator = path.empty() ? std::wstring::npos : path.find(L'\\', 1);
  if (separator != std::wstring::npos) separator = path.find(L'\\', separator + 1);
  while (separator != std::wstring::npos) {
    chain.push_back(path.substr(0, separator));
    separator = path.find(L'\\', separator + 1);
  }
  chain.push_back(path);
  return chain;
}

std::vector<LogRecordText> FolderRecords(const std::vector<std::wstring>& folders) {
  std::vector<LogRecordText> records;
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
    records.push_back({L'S', *folder});
  }
  return records;
}

std::wstring UninstallKey(const std::wstring& name, const std::wstring& version) {
  return L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KOZ Soft " + name + L" " +
         version;
}

std::wstring BuildProbeInstaller(const std::wstring& scratch_folder,
                                 const std::vector<uint8_t>& package) {
  static unsigned counter = 0;
  std::wstring installer = scratch_folder + L"\\setup-" + std::to_wstring(++counter) + L".exe";
  if (!EmbedPackageBytes(L"install_probe.exe", installer, package)) return L"";
  return installer;
}

std::wstring ProbeCommand(const std::wstring& installer, const std::wstring& install_dir,
                          const std::wstring& options) {
  // A backslash before the closing quote would escape it: double it, so the program still
  // receives exactly `install_dir`.
  std::wstring folder = install_dir;
  if (!folder.empty() && folder.back() == L'\\') folder += L'\\';
  std::wstring command = Quoted(installer) + L" " + Quoted(folder);
  if (!options.empty()) command += L" " + options;
  return command;
}

AnsweredRun RunInstallBytes(const std::wstring& scratch_folder,
                            const std::vector<uint8_t>& package,
                            const std::wstring& install_dir, const std::wstring& options) {
  std::wstring installer = BuildProbeInstaller(scratch_folder, package);
  if (installer.empty()) return AnsweredRun();
  return RunAnsweringMessageBoxes(ProbeCommand(installer, install_dir, options), 60000);
}

AnsweredRun RunInstall(const std::wstring& scratch_folder, const PackageContents& contents,
                       const std::wstring& install_dir, const std::wstring& options) {
  return RunInstallBytes(scratch_folder, PackageBytes(contents), install_dir, options);
}

ShellLinkSeen ReadShellLink(const std::wstring& link_path) {
  ShellLinkSeen seen;
  HRESULT com = CoInitialize(NULL);
  IShellLinkW* link = NULL;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 (void**)&link))) {
    IPersistFile* file = NULL;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file))) {
      if (SUCCEEDED(file->Load(link_path.c_str(), STGM_READ))) {
        wchar_t text[MAX_PATH] = L"";
        seen.loaded = true;
        if (SUCCEEDED(link->GetPath(text, MAX_PATH, NULL, SLGP_RAWPATH))) seen.target = text;
        text[0] = 0;
        if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH))) seen.working_folder = text;
        text[0] = 0;
        if (SUCCEEDED(link->GetArguments(text, MAX_PATH))) seen.arguments = text;
        link->GetShowCmd(&seen.show_command);
      }
      file->Release();
    }
    link->Release();
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return seen;
}

void Leftovers::AddFolderIfNew(const std::wstring& folder) {
  if (!FolderExists(folder)) new_folders_.push_back(folder);
}

Leftovers::~Leftovers() {
  for (const std::wstring& path : paths_) RemoveTree(path);
  for (auto folder = new_folders_.rbegin(); folder != new_folders_.rend(); ++folder) {
    RemoveDirectoryW(folder->c_str());
  }
  for (const std::wstring& key : keys_) RegDeleteKeyW(HKEY_LOCAL_MACHINE, key.c_str());
}
