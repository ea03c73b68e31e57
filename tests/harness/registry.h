// Reading what the programs left in the registry, through the registry API (Wine writes its
// registry files lazily, so they are never read directly).
#pragma once

#include <windows.h>
#include <string>

// A REG_SZ value; `found` is false when the key or the value is missing.
struct RegistryString {
  bool found = false;
  std::wstring value;
};
RegistryString ReadRegistryString(HKEY root, const std::wstring& subkey,
                                  const wchar_t* value_name);
bool RegistryKeyExists(HKEY root, const std::wstring& subkey);

// The key below HKEY_LOCAL_MACHINE under which product `name` `version` registers in
// Windows' list of installed programs: "SOFTWARE\...\Uninstall\KOZ Soft <name> <version>".
std::wstring UninstallKey(const std::wstring& name, const std::wstring& version);
