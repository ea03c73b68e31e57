// A DLL that the DLL-search tests plant beside a program under the name of one that the
// system loads on demand. If the loader ever maps it, it appends a line to the file named
// by PLANTED_DLL_RECORD (its own path, a tab, the loading program's path), then
// refuses to load, so the program goes on with the genuine DLL as if nothing happened.
#include <windows.h>

namespace {

void AppendUtf8(HANDLE file, const wchar_t* text) {
  char bytes[3 * MAX_PATH];
  int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, bytes, sizeof(bytes), NULL, NULL);
  DWORD written = 0;
  if (size > 1) WriteFile(file, bytes, (DWORD)size - 1, &written, NULL);
}

void RecordLoad(HINSTANCE self) {
  wchar_t record[MAX_PATH];
  DWORD length = GetEnvironmentVariableW(L"PLANTED_DLL_RECORD", record, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  HANDLE file = CreateFileW(record, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return;
  wchar_t path[MAX_PATH] = L"";
  GetModuleFileNameW(self, path, MAX_PATH);
  AppendUtf8(file, path);
  AppendUtf8(file, L"\t");
  GetModuleFileNameW(NULL, path, MAX_PATH);
  AppendUtf8(file, path);
  AppendUtf8(file, L"\n");
  CloseHandle(file);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  RecordLoad(self);
  return FALSE;
}
