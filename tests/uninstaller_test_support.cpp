#include "uninstaller_test_support.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <algorithm>

#include "harness/process.h"
#include "harness/scratch.h"
#include "harness/windows.h"

std::wstring LogTextOf(const LogRecords& records, bool end_marker, const std::wstring& header) {
  std::wstring text = header + L"#DO NOT REMOVE/EDIT THIS FILE";
  for (const auto& record : records) {
    text += std::wstring(L"\r\n|") + record.first + L"|" + record.second + L"|";
  }
  if (end_marker) text += L"\r\n||";
  return text;
}

void WriteLog(const std::wstring& path, const std::wstring& text) {
  WriteBytes(path, text.data(), text.size() * sizeof(wchar_t));
}

std::wstring UninstallerExe() { return BinDir() + L"uninstall.exe"; }
std::wstring AlphaExe() { return BinDir() + L"alpha.exe"; }
std::wstring FakeCleanupExe() { return BinDir() + L"uninstaller_fake_cleanup.exe"; }

void CopyForTest(const std::wstring& from, const std::wstring& to) {
  ASSERT_TRUE(CopyFileW(from.c_str(), to.c_str(), FALSE))
      << Narrow(from) << " -> " << Narrow(to) << " error " << GetLastError();
}

TestUninstallKey::TestUninstallKey(const std::wstring& product)
    : subkey_(L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\KOZ Soft " + product) {
  HKEY key;
  EXPECT_EQ(RegCreateKeyW(HKEY_LOCAL_MACHINE, subkey_.c_str(), &key), ERROR_SUCCESS);
  RegSetValueExW(key, L"DisplayName", 0, REG_SZ, (const BYTE*)product.c_str(),
                 (DWORD)((product.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
}

TestUninstallKey::~TestUninstallKey() { RegDeleteKeyW(HKEY_LOCAL_MACHINE, subkey_.c_str()); }

bool TestUninstallKey::exists() const { return RegistryKeyExists(HKEY_LOCAL_MACHINE, subkey_); }

ScopedVariable::ScopedVariable(const wchar_t* name, const std::wstring& value) : name_(name) {
  SetEnvironmentVariableW(name, value.c_str());
}

ScopedVariable::~ScopedVariable() { SetEnvironmentVariableW(name_.c_str(), NULL); }

std::vector<std::vector<std::wstring>> RecordLines(const std::wstring& path) {
  std::vector<unsigned char> bytes = ReadBytes(path);
  std::wstring text = Wide(std::string(bytes.begin(), bytes.end()));
  std::vector<std::vector<std::wstring>> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    std::vector<std::wstring> fields;
    size_t field_start = start;
    for (size_t i = start; i <= end; ++i) {
      if (i == end || text[i] == L'\t') {
        fields.push_back(text.substr(field_start, i - field_start));
        field_start = i + 1;
      }
    }
    lines.push_back(fields);
    start = end + 1;
  }
  return lines;
}

std::vector<std::wstring> SplitCommandLine(const std::wstring& line) {
  std::vector<std::wstring> arguments;
  int count = 0;
  wchar_t** split = CommandLineToArgvW(line.c_str(), &count);
  if (split == NULL) return arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(split[i]);
  LocalFree(split);
  return arguments;
}

void AnswerMessageBox(DWORD pid, const std::wstring& caption, const std::wstring& text,
                      std::vector<int> buttons, int press) {
  // Found by caption: the process may have other dialogs open (the setup dialog).
  MessageBoxSeen box;
  box.window = WaitForWindow(pid, L"#32770", caption.c_str(), 20000);
  if (box.window == NULL) {
    MessageBoxSeen other = WaitForMessageBox(pid, 0);
    FAIL() << "no message box \"" << Narrow(caption) << "\"; showing: \""
           << Narrow(other.caption) << "\" \"" << Narrow(other.text) << "\"";
  }
  HWND static_text = GetDlgItem(box.window, 0xFFFF);
  EXPECT_EQ(static_text != NULL ? WindowText(static_text) : std::wstring(), text);
  for (int id = IDOK; id < 12; ++id) {
    bool wanted = std::find(buttons.begin(), buttons.end(), id) != buttons.end();
    EXPECT_EQ(GetDlgItem(box.window, id) != NULL, wanted)
        << "button " << id << " in \"" << Narrow(caption) << "\"";
  }
  PressButton(box.window, press);
  EXPECT_TRUE(WaitForWindowGone(box.window, 10000));
}

bool ShowsMessageBox(DWORD pid, DWORD timeout_ms) {
  return WaitForWindow(pid, L"#32770", NULL, timeout_ms) != NULL;
}
