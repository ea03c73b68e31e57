// A stand-in for an installed program that the uninstaller starts: it appends to the file
// named by FAKE_CLEANUP_RECORD one line when it starts ("start", its command line, its
// working directory) and one when it ends ("end", 1 if a copy of the uninstaller already
// exists in a private folder "koz-*" below the temporary folder, else 0), tab separated,
// UTF-8. In between it lingers for
// FAKE_CLEANUP_LINGER_MS (default 300) so that a program started too early would show up
// between the two lines.
#include <windows.h>

#include <string>

namespace {

std::string Utf8(const std::wstring& text) {
  int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), NULL, 0, NULL, NULL);
  std::string out(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), (int)text.size(), &out[0], size, NULL, NULL);
  return out;
}

std::wstring Variable(const wchar_t* name) {
  wchar_t value[1024];
  DWORD length = GetEnvironmentVariableW(name, value, 1024);
  return length > 0 && length < 1024 ? std::wstring(value, length) : std::wstring();
}

void Append(const std::wstring& path, const std::string& line) {
  HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line.data(), (DWORD)line.size(), &written, NULL);
  CloseHandle(file);
}

// Whether some private folder below the temporary folder holds the uninstaller's copy.
bool CopyExists() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring folder = temp;
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW((folder + L"koz-*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return false;
  bool found = false;
  do {
    std::wstring copy = folder + data.cFileName + L"\\koz_uninstaller.exe";
    found = found || GetFileAttributesW(copy.c_str()) != INVALID_FILE_ATTRIBUTES;
  } while (FindNextFileW(search, &data));
  FindClose(search);
  return found;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  std::wstring record = Variable(L"FAKE_CLEANUP_RECORD");
  if (record.empty()) return 0;
  wchar_t folder[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, folder);
  Append(record, "start\t" + Utf8(GetCommandLineW()) + "\t" + Utf8(folder) + "\n");

  std::wstring linger = Variable(L"FAKE_CLEANUP_LINGER_MS");
  Sleep(linger.empty() ? 300 : (DWORD)_wtoi(linger.c_str()));

  Append(record, std::string("end\t") + (CopyExists() ? "1" : "0") + "\n");
  return 0;
}
