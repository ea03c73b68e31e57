#include "harness/registration.h"

#include <gtest/gtest.h>

#include "harness/text.h"

void ExpectRegistered(const std::wstring& name, const std::wstring& version,
                      const std::wstring& uninstaller) {
  const std::wstring key = UninstallKey(name, version);
  SCOPED_TRACE(Utf8(key));
  RegistryString command = ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"UninstallString");
  EXPECT_TRUE(command.found);
  EXPECT_EQ(command.value, L"\"" + uninstaller + L"\"");
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"DisplayName").value,
            name + L" " + version + L" (Remove / Re-install only)");
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"Publisher").value, L"KOZ Soft");
  EXPECT_EQ(ReadRegistryString(HKEY_LOCAL_MACHINE, key, L"URLInfoAbout").value,
            L"https://www.example.com/");
}

TestUninstallKey::TestUninstallKey(const std::wstring& name, const std::wstring& version,
                                   const std::wstring& uninstaller)
    : subkey_(UninstallKey(name, version)) {
  HKEY key;
  EXPECT_EQ(RegCreateKeyW(HKEY_LOCAL_MACHINE, subkey_.c_str(), &key), ERROR_SUCCESS);
  const std::wstring values[][2] = {{L"DisplayName", name + L" " + version},
                                    {L"UninstallString", L"\"" + uninstaller + L"\""}};
  for (const auto& value : values) {
    if (value[0] == L"UninstallString" && uninstaller.empty()) continue;
    RegSetValueExW(key, value[0].c_str(), 0, REG_SZ, (const BYTE*)value[1].c_str(),
                   (DWORD)((value[1].size() + 1) * sizeof(wchar_t)));
  }
  RegCloseKey(key);
}

TestUninstallKey::~TestUninstallKey() { RegDeleteKeyW(HKEY_LOCAL_MACHINE, subkey_.c_str()); }
