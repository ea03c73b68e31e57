// pack.exe: builds a single-file installer from a manifest, or lists the package of one.
//   pack.exe MANIFEST -o OUTPUT.exe [--stub STUB.exe] [--uninstaller UNINSTALL.exe]
//   pack.exe --list SETUP.exe
// Exit codes: 0 done, 1 refused or failed (messages on standard error), 2 usage error.
#include <windows.h>

#include <string>

#include "packer/console.h"
#include "packer/package_listing.h"
#include "packer/packing.h"

namespace {

const char kUsage[] =
    "usage: pack.exe MANIFEST -o OUTPUT.exe [--stub STUB.exe] [--uninstaller UNINSTALL.exe]\n"
    "       pack.exe --list SETUP.exe\n"
    "The stub and the uninstaller default to setup-stub.exe and uninstall.exe next to\n"
    "pack.exe.\n";

int UsageError(const std::string& problem) {
  PrintError("pack.exe: " + problem + "\n" + kUsage);
  return 2;
}

// The folder pack.exe runs from, with a trailing backslash.
std::wstring OwnFolder() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
  std::wstring folder(path, length < MAX_PATH ? length : 0);
  return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring manifest, output, stub, uninstaller, list;
  for (int k = 1; k < argc; ++k) {
    std::wstring argument = argv[k];
    std::wstring* value = argument == L"-o"              ? &output
                          : argument == L"--stub"        ? &stub
                          : argument == L"--uninstaller" ? &uninstaller
                          : argument == L"--list"        ? &list
                                                         : nullptr;
    if (argument == L"-h" || argument == L"--help" || argument == L"/?") {
      PrintOut(kUsage);
      return 0;
    }
    if (value != nullptr) {
      if (k + 1 >= argc || argv[k + 1][0] == 0) return UsageError(Utf8(argument) + " needs a value");
      if (!value->empty()) return UsageError(Utf8(argument) + " given twice");
      *value = argv[++k];
    } else if (argument.size() > 1 && argument[0] == L'-') {
      return UsageError("unknown option " + Utf8(argument));
    } else if (manifest.empty()) {
      manifest = argument;
    } else {
      return UsageError("more than one manifest: " + Utf8(argument));
    }
  }
  if (!list.empty()) {
    if (!manifest.empty() || !output.empty() || !stub.empty() || !uninstaller.empty()) {
      return UsageError("--list takes no other arguments");
    }
    return ListPackage(list);
  }
  if (manifest.empty()) return UsageError("no manifest given");
  if (output.empty()) return UsageError("no output given (-o OUTPUT.exe)");
  if (stub.empty()) stub = OwnFolder() + L"setup-stub.exe";
  if (uninstaller.empty()) uninstaller = OwnFolder() + L"uninstall.exe";
  return PackInstaller(manifest, output, stub, uninstaller);
}
