// Helpers shared by the install engine's tests: running the install probe on a package,
// reading the uninstall log, and removing what an installation put outside its folder.
#pragma once

#include <windows.h>
#include <string>
#include <utility>
#include <vector>

#include "harness/message_boxes.h"
#include "packer/package_writer.h"

// One log record: kind letter and text.
using LogRecordText = std::pair<wchar_t, std::wstring>;

// The uninstall log's text as written: a header and records, with or without end marker.
std::wstring LogText(const std::wstring& header, const std::vector<LogRecordText>& records,
                     bool end_marker = true);

// "name#version#class#DO NOT REMOVE/EDIT THIS FILE".
std::wstring LogHeader(const std::wstring& name, const std::wstring& version,
                       const std::wstring& window_class);

// The log file's UTF-16 text.
std::wstring ReadLog(const std::wstring& path);

// The folders that creating the full `path` records, parents first: every prefix ending
// before a backslash from the second backslash on, then `path` itself.
std::vector<std::wstring> FolderChain(const std::wstring& path);

// "S" records for `folders`, newest (last) first.
std::vector<LogRecordText> FolderRecords(const std::vector<std::wstring>& folders);

// The registry subkey of a product below HKEY_LOCAL_MACHINE.
std::wstring UninstallKey(const std::wstring& name, const std::wstring& version);

// Builds a copy of install_probe.exe carrying `package` in `scratch_folder` and returns its
// path (empty, with a test failure, when it cannot).
std::wstring BuildProbeInstaller(const std::wstring& scratch_folder,
                                 const std::vector<uint8_t>& package);

// The command line that installs into `install_dir` with `options`.
std::wstring ProbeCommand(const std::wstring& installer, const std::wstring& install_dir,
                          const std::wstring& options);

// Builds a copy of install_probe.exe carrying `contents` in `scratch_folder` and runs it
// with FOLDER `install_dir` and `options` (e.g. L"/desktop /programs"), answering every
// message box with OK.
AnsweredRun RunInstall(const std::wstring& scratch_folder, const PackageContents& contents,
                       const std::wstring& install_dir, const std::wstring& options = L"");

// The same with the package's bytes given as they are (malformed ones too).
AnsweredRun RunInstallBytes(const std::wstring& scratch_folder,
                            const std::vector<uint8_t>& package,
                            const std::wstring& install_dir, const std::wstring& options = L"");

// What a shell link file says, read back through IShellLinkW.
struct ShellLinkSeen {
  bool loaded = false;
  std::wstring target;
  std::wstring working_folder;
  std::wstring arguments;
  int show_command = 0;
};
ShellLinkSeen ReadShellLink(const std::wstring& link_path);

// Removes, when it goes, everything a test's installation may leave outside a scratch
// folder: files, folder trees and HKLM subkeys registered with it.
class Leftovers {
 public:
  Leftovers() = default;
  ~Leftovers();
  Leftovers(const Leftovers&) = delete;
  Leftovers& operator=(const Leftovers&) = delete;
  void AddPath(const std::wstring& path) { paths_.push_back(path); }
  void AddKey(const std::wstring& subkey) { keys_.push_back(subkey); }
  // A folder removed only if it did not exist when it was added (and is empty by then).
  void AddFolderIfNew(const std::wstring& folder);

 private:
  std::vector<std::wstring> paths_;
  std::vector<std::wstring> keys_;
  std::vector<std::wstring> new_folders_;
};
