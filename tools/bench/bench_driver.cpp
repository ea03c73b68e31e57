// Benchmark driver: starts the real setup and uninstall programs, drives them through
// window messages like a user, and times them; also measures the raw-write and raw-delete
// limits that the install and the uninstall are compared with. Prints one figure a line.
#include <windows.h>
#include <psapi.h>
#include <stdio.h>

#include <string>
#include <vector>

namespace {

double Now() {
  static LARGE_INTEGER frequency = {};
  if (frequency.QuadPart == 0) QueryPerformanceFrequency(&frequency);
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return (double)counter.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

struct Search {
  DWORD pid;              // 0: any process
  const wchar_t* title;   // NULL: any caption
  int required_control;   // 0: none
  HWND found;
};

BOOL CALLBACK Match(HWND window, LPARAM param) {
  Search* search = (Search*)param;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (!IsWindowVisible(window) || (search->pid != 0 && pid != search->pid)) return TRUE;
  wchar_t text[256];
  GetClassNameW(window, text, 256);
  if (lstrcmpW(text, L"#32770") != 0) return TRUE;
  if (search->title != NULL) {
    GetWindowTextW(window, text, 256);
    if (lstrcmpW(text, search->title) != 0) return TRUE;
  }
  if (search->required_control != 0 && GetDlgItem(window, search->required_control) == NULL) {
    return TRUE;
  }
  search->found = window;
  return FALSE;
}

HWND WaitDialog(DWORD pid, const wchar_t* title, int required_control, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  for (;;) {
    Search search = {pid, title, required_control, NULL};
    EnumWindows(Match, (LPARAM)&search);
    if (search.found != NULL) return search.found;
    if (GetTickCount() - start > timeout_ms) return NULL;
    Sleep(1);
  }
}

bool Start(const std::wstring& line, PROCESS_INFORMATION* info) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  std::wstring buffer = line;
  return CreateProcessW(NULL, &buffer[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, info) != 0;
}

int Fail(const char* what) {
  fprintf(stderr, "bench_driver: %s\n", what);
  return 1;
}

// The setup dialog is the dialog that holds the folder field (1008).
constexpr int kFolderEdit = 1008;
constexpr int kAgree = 1003;

int Startup(const std::wstring& setup) {
  PROCESS_INFORMATION info;
  double start = Now();
  if (!Start(L"\"" + setup + L"\"", &info)) return Fail("cannot start setup");
  HWND dialog = WaitDialog(info.dwProcessId, NULL, kFolderEdit, 60000);
  double elapsed = Now() - start;
  if (dialog == NULL) return Fail("no setup dialog");
  PostMessageW(dialog, WM_CLOSE, 0, 0);
  WaitForSingleObject(info.hProcess, 30000);
  printf("startup_ms %.1f\n", elapsed);
  return 0;
}

int Install(const std::wstring& setup, const std::wstring& folder) {
  PROCESS_INFORMATION info;
  if (!Start(L"\"" + setup + L"\"", &info)) return Fail("cannot start setup");
  HWND dialog = WaitDialog(info.dwProcessId, NULL, kFolderEdit, 60000);
  if (dialog == NULL) return Fail("no setup dialog");
  SendMessageW(GetDlgItem(dialog, kFolderEdit), WM_SETTEXT, 0, (LPARAM)folder.c_str());
  SendMessageW(GetDlgItem(dialog, kAgree), BM_CLICK, 0, 0);
  double start = Now();
  PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
  HWND done = WaitDialog(info.dwProcessId, L"Setup complete", 0, 600000);
  double elapsed = Now() - start;
  if (done == NULL) return Fail("no success message");
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof(memory);
  GetProcessMemoryInfo(info.hProcess, &memory, sizeof(memory));
  PostMessageW(done, WM_COMMAND, IDOK, 0);
  WaitForSingleObject(info.hProcess, 60000);
  printf("install_ms %.1f\npeak_working_set %lu\n", elapsed, (unsigned long)memory.PeakWorkingSetSize);
  return 0;
}

struct SourceFile {
  std::wstring relative;
  std::vector<char> data;
};

void Collect(const std::wstring& root, const std::wstring& relative,
             std::vector<std::wstring>& folders, std::vector<SourceFile>& files) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((root + relative + L"*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    std::wstring path = relative + name;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      folders.push_back(path);
      Collect(root, path + L"\\", folders, files);
      continue;
    }
    SourceFile file;
    file.relative = path;
    HANDLE handle = CreateFileW((root + path).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                                OPEN_EXISTING, 0, NULL);
    file.data.resize(GetFileSize(handle, NULL));
    DWORD read = 0;
    if (!file.data.empty()) ReadFile(handle, file.data.data(), (DWORD)file.data.size(), &read, NULL);
    CloseHandle(handle);
    files.push_back(std::move(file));
  } while (FindNextFileW(search, &found));
  FindClose(search);
}

// The limit for an install: the same files and folders written from memory.
int RawWrite(const std::wstring& source, const std::wstring& target) {
  std::vector<std::wstring> folders;
  std::vector<SourceFile> files;
  Collect(source + L"\\", L"", folders, files);
  double start = Now();
  CreateDirectoryW(target.c_str(), NULL);
  for (const std::wstring& folder : folders) CreateDirectoryW((target + L"\\" + folder).c_str(), NULL);
  for (const SourceFile& file : files) {
    HANDLE handle = CreateFileW((target + L"\\" + file.relative).c_str(), GENERIC_WRITE, 0, NULL,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (handle == INVALID_HANDLE_VALUE) return Fail("raw write failed");
    DWORD written = 0;
    WriteFile(handle, file.data.data(), (DWORD)file.data.size(), &written, NULL);
    CloseHandle(handle);
  }
  printf("rawwrite_ms %.1f\n", Now() - start);
  return 0;
}

unsigned CountFolderRecords(const std::wstring& folder) {
  std::vector<SourceFile> ignored;
  HANDLE handle = CreateFileW((folder + L"\\uninstall.dat").c_str(), GENERIC_READ,
                              FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (handle == INVALID_HANDLE_VALUE) return 0;
  std::vector<wchar_t> text(GetFileSize(handle, NULL) / 2 + 1);
  DWORD read = 0;
  ReadFile(handle, text.data(), (DWORD)(text.size() - 1) * 2, &read, NULL);
  CloseHandle(handle);
  std::wstring log(text.data(), read / 2);
  unsigned count = 0;
  for (size_t at = log.find(L"|S|"); at != std::wstring::npos; at = log.find(L"|S|", at + 3)) ++count;
  return count;
}

int Uninstall(const std::wstring& folder) {
  unsigned folder_records = CountFolderRecords(folder);
  PROCESS_INFORMATION info;
  if (!Start(L"\"" + folder + L"\\uninstall.exe\"", &info)) return Fail("cannot start uninstaller");
  HWND question = WaitDialog(info.dwProcessId, L"Uninstaller", 0, 60000);
  if (question == NULL) return Fail("no welcome question");
  double start = Now();
  PostMessageW(question, WM_COMMAND, IDYES, 0);
  HWND done = WaitDialog(0, L"Done", 0, 600000);
  double elapsed = Now() - start;
  if (done == NULL) return Fail("no Done message");
  PostMessageW(done, WM_COMMAND, IDOK, 0);
  WaitForSingleObject(info.hProcess, 30000);
  Sleep(300);  // let the second phase end after its box
  printf("uninstall_ms %.1f\nfolder_records %u\n", elapsed, folder_records);
  return 0;
}

void DeleteTree(const std::wstring& path) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((path + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      std::wstring child = path + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) DeleteTree(child);
      else DeleteFileW(child.c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(path.c_str());
}

// The limit for an uninstall's own work: deleting the same files and folders.
int RawDelete(const std::wstring& folder) {
  double start = Now();
  DeleteTree(folder);
  printf("rawdelete_ms %.1f\n", Now() - start);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::wstring command = argc > 1 ? argv[1] : L"";
  if (command == L"startup" && argc == 3) return Startup(argv[2]);
  if (command == L"install" && argc == 4) return Install(argv[2], argv[3]);
  if (command == L"rawwrite" && argc == 4) return RawWrite(argv[2], argv[3]);
  if (command == L"uninstall" && argc == 3) return Uninstall(argv[2]);
  if (command == L"rawdelete" && argc == 3) return RawDelete(argv[2]);
  fprintf(stderr,
          "usage: bench_driver startup SETUP | install SETUP FOLDER | rawwrite SOURCE TARGET |"
          " uninstall FOLDER | rawdelete FOLDER\n");
  return 2;
}
