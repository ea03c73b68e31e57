#include "harness/log_text.h"

#include "harness/scratch.h"

std::wstring LogHeaderLine(const std::wstring& name, const std::wstring& version,
                       const std::wstring& window_class) {
  return name + L"#" + version + L"#" + window_class + L"#DO NOT REMOVE/EDIT THIS FILE";
}

std::wstring LogContents(const std::wstring& header, const LogRecords& records, bool end_marker) {
  std::wstring text = header;
  for (const LogRecordText& record : records) {
    text += L"\r\n|";
    text += record.first;
    text += L"|" + record.second + L"|";
  }
  if (end_marker) text += L"\r\n||";
  return text;
}

std::wstring AlphaLog(const LogRecords& records, bool end_marker) {
  return LogContents(LogHeaderLine(L"Alpha", L"1.0", L"AlphaWnd"), records, end_marker);
}

std::wstring TestPackageLogHeader() {
  return LogHeaderLine(L"Test Product", L"1.0", L"TestProductWindow");
}

void WriteLog(const std::wstring& path, const std::wstring& text) {
  WriteBytes(path, text.data(), text.size() * sizeof(wchar_t));
}

std::wstring ReadLog(const std::wstring& path) {
  std::vector<unsigned char> bytes = ReadBytes(path);
  return std::wstring((const wchar_t*)bytes.data(), bytes.size() / sizeof(wchar_t));
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

void AddFolderRecords(LogRecords& records, const std::vector<std::wstring>& folders,
                      const std::vector<std::wstring>& more) {
  for (auto folder = more.rbegin(); folder != more.rend(); ++folder) {
    records.push_back({L'S', *folder});
  }
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
    records.push_back({L'S', *folder});
  }
}
