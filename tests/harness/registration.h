// A product's registration in Windows' list of installed programs, as tests prepare and
// check it: the key from harness/registry.h and the four values the install run writes.
#pragma once

#include <string>

#include "harness/registry.h"

// Checks that UninstallKey(name, version) holds what the install run registers:
// UninstallString `uninstaller` in double quotes (the list of installed programs runs it
// as a command line), DisplayName "<name> <version> (Remove / Re-install only)",
// Publisher "KOZ Soft" and URLInfoAbout "https://www.example.com/".
void ExpectRegistered(const std::wstring& name, const std::wstring& version,
                      const std::wstring& uninstaller);

// The key of product `name` `version` with a DisplayName and, unless `uninstaller` is empty,
// the UninstallString naming it in double quotes (the uninstaller removes only a key that
// names its own installation's uninstall.exe), from construction to destruction.
class TestUninstallKey {
 public:
  TestUninstallKey(const std::wstring& name, const std::wstring& version,
                   const std::wstring& uninstaller = L"");
  ~TestUninstallKey();
  TestUninstallKey(const TestUninstallKey&) = delete;
  TestUninstallKey& operator=(const TestUninstallKey&) = delete;
  // The subkey path as the log's "R" record holds it.
  const std::wstring& subkey() const { return subkey_; }
  bool exists() const { return RegistryKeyExists(HKEY_LOCAL_MACHINE, subkey_); }

 private:
  std::wstring subkey_;
};
