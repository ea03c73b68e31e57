// Reading what the programs left in the registry, through the registry API (Wine writes its
// registry files lazily, so they are never read directly).
#pragma once

#include <windows.h>
#include <string>

// A REG_SZ value; `found` is false when the key or the value is missing. `view` may name
// the registry's 32-bit or 64-bit view (KEY_WOW64_32KEY, KEY_WOW64_64KEY); 0 reads the
// test program's own.
struct RegistryString {
  bool found = false;
  std::wstring value;
};
RegistryString ReadRegistryString(HKEY root, const std::wstring& subkey,
                                  const wchar_t* value_name, REGSAM view = 0);
bool RegistryKeyExists(HKEY root, const std::wstring& subkey, REGSAM view = 0);

// The key below HKEY_LOCAL_MACHINE under which product `name` `version` registers in
// Windows' list of installed programs: "SOFTWARE\...\Uninstall\KOZ Soft <name> <version>".
std::wstring UninstallKey(const std::wstring& name, const std::wstring& version);
