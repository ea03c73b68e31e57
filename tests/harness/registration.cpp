#include "harness/registration.h"

#include <gtest/gtest.h>

#include "harness/text.h"

void ExpectRegistered(const std::wstring& name, const std::wstring& version,
                      const std::wstring& uninstaller) {
  const std::wstring key = UninstallKey(name, version);
  SCOPED_TRACE(Narrow(key));
  RegistryString command = ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"UninstallString");
  EXPECT_TRUE(command.found);
  EXPECT_EQ(command.value, L"\"" + uninstaller + L"\"");
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"DisplayName").value,
            name + L" " + version + L" (Remove / Re-install only)");
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"Publisher").value, L"KOZ Soft");
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"URLInfoAbout").value,
            L"https://www.example.com/");
}

TestUninstallKey::TestUninstallKey(const std::wstring& name, const std::wstring& version)
    : subkey_(UninstallKey(name, version)) {
  HKEY key;
  EXPECT_EQ(RegCreateKeyW(HKEY_LOCAL_MACHINE, subkey_.c_str(), &key), ERROR_SUCCESS);
  std::wstring display_name = name + L" " + version;
  RegSetValueExW(key, L"DisplayName", 0, REG_SZ, (const BYTE*)display_name.c_str(),
                 (DWORD)((display_name.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

TestUninstallKey::~TestUninstallKey() { RegDeleteKeyW(HKEY_LOCAL_MACHINE, subkey_.c_str()); }
