#include "harness/registry.h"

RegistryString ReadRegistryString(HKEY root, const std::wstring& subkey,
                                  const wchar_t* value_name, REGSAM view) {
  RegistryString result;
  HKEY key;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
    return result;
  }
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

bool RegistryKeyExists(HKEY root, const std::wstring& subkey, REGSAM view) {
  HKEY key;
  if (RegOpenKeyExW(root, subkey.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

std::wstring UninstallKey(const std::wstring& name, const std::wstring& version) {
  return L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KOZ Soft " + name + L" " +
         version;
}
