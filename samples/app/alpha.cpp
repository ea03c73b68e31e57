// Alpha, the sample product: one empty main window of class "AlphaWnd". When the
// environment variable ALPHA_RECORD names a file, every start appends one UTF-8 line to it:
// the command line as GetCommandLineW gives it, a tab, the working directory, "\n". With
// the argument "/uninstall" it only records and exits with 0, as an application's
// clean-up step would.
#include <windows.h>
#include <shellapi.h>

namespace {

constexpr unsigned kRecordPathCapacity = 260;
constexpr unsigned kFolderCapacity = 260;
constexpr unsigned kLineCapacity = 4096;
constexpr int kRecordAttempts = 500;
constexpr DWORD kRecordRetryMs = 10;

// Converts `text` to UTF-8 at `out` (room for `capacity` bytes); returns the bytes written.
int AppendUtf8(const wchar_t* text, char* out, int capacity) {
  if (capacity <= 0) return 0;
  return WideCharToMultiByte(CP_UTF8, 0, text, -1, out, capacity, NULL, NULL) - 1;
}

// Appends the start record; silent when the variable is unset or the file cannot be opened.
void RecordStart() {
  wchar_t record_path[kRecordPathCapacity];
  DWORD length = GetEnvironmentVariableW(L"ALPHA_RECORD", record_path, kRecordPathCapacity);
  if (length == 0 || length >= kRecordPathCapacity) return;
  wchar_t folder[kFolderCapacity];
  DWORD folder_length = GetCurrentDirectoryW(kFolderCapacity, folder);
  if (folder_length == 0 || folder_length >= kFolderCapacity) folder[0] = 0;

  static char line[kLineCapacity];
  int used = AppendUtf8(GetCommandLineW(), line, kLineCapacity - 2);
  if (used < 0) used = 0;
  line[used++] = '\t';
  int added = AppendUtf8(folder, line + used, kLineCapacity - 1 - used);
  if (added > 0) used += added;
  line[used++] = '\n';

  // Several copies may record at once, and Wine does not make appends from two handles
  // atomic: each copy takes the file for itself, waiting (a few seconds at most) while
  // another one holds it.
  HANDLE file = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < kRecordAttempts && file == INVALID_HANDLE_VALUE; ++attempt) {
    file = CreateFileW(record_path, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_SHARING_VIOLATION) return;
    if (file == INVALID_HANDLE_VALUE) Sleep(kRecordRetryMs);
  }
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, (DWORD)used, &written, NULL);
  CloseHandle(file);
}

bool AskedToUninstall() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  bool asked = arguments != NULL && count >= 2 && lstrcmpiW(arguments[1], L"/uninstall") == 0;
  if (arguments != NULL) LocalFree(arguments);
  return asked;
}

LRESULT CALLBACK AlphaWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  RecordStart();
  if (AskedToUninstall()) return 0;

  WNDCLASSW window_class = {};
  window_class.lpfnWndProc = AlphaWindowProc;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursorW(NULL, (LPCWSTR)IDC_ARROW);
  window_class.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
  window_class.lpszClassName = L"AlphaWnd";
  if (!RegisterClassW(&window_class)) return 1;
  HWND window = CreateWindowW(L"AlphaWnd", L"Alpha", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                              CW_USEDEFAULT, 320, 200, NULL, NULL, instance, NULL);
  if (window == NULL) return 1;
  ShowWindow(window, show);

  MSG message;
  while (GetMessageW(&message, NULL, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}
