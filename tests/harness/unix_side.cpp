#include "harness/unix_side.h"

#include <windows.h>

#include <fstream>

#include "packer/windows/windows_text.h"

namespace {

typedef char*(CDECL* UnixFileNameProc)(const wchar_t*);

}  // namespace

std::string UnixPath(const std::wstring& path) {
  UnixFileNameProc to_unix = (UnixFileNameProc)GetProcAddress(
      GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
  if (to_unix == NULL) return "";
  char* unix_path = to_unix(path.c_str());
  if (unix_path == NULL) return "";
  std::string result = unix_path;
  HeapFree(GetProcessHeap(), 0, unix_path);
  return result;
}

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

bool RunUnixScript(const std::string& script, unsigned timeout_ms) {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  wchar_t name[MAX_PATH];
  if (!GetTempFileNameW(temp, L"unx", 0, name)) return false;
  std::wstring script_path = name, done_path = script_path + L".done";
  std::string unix_script = UnixPath(script_path), unix_done = UnixPath(done_path);
  {
    std::ofstream out(script_path.c_str(), std::ios::binary);
    // The marker tells that the script ran to its end: Wine does not pass a Unix
    // program's end on to the waiting Windows process.
    out << script << "\ntouch " << ShellQuoted(unix_done) << "\n";
  }
  // Wine starts a Unix program named by its Unix path and splits the line at spaces; it
  // gives no process handle for it, so the marker is waited for instead. The start goes
  // through Wine's start.exe: a test process that starts Unix programs itself later fails
  // to read the registry (CoCreateInstance returns REGDB_E_READREGDB).
  std::wstring line = Utf16("start.exe /unix /bin/sh " + unix_script);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  bool started = CreateProcessW(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup,
                                &info) != FALSE;
  if (info.hProcess != NULL) CloseHandle(info.hProcess);
  if (info.hThread != NULL) CloseHandle(info.hThread);
  bool done = false;
  for (unsigned waited = 0; started && waited < timeout_ms; waited += 20) {
    if (GetFileAttributesW(done_path.c_str()) != INVALID_FILE_ATTRIBUTES) {
      done = true;
      break;
    }
    Sleep(20);
  }
  DeleteFileW(done_path.c_str());
  DeleteFileW(script_path.c_str());
  return done;
}
