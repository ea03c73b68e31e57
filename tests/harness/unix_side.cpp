#include "harness/unix_side.h"

#include <windows.h>

#include <fstream>

#include "harness/scratch.h"
#include "packer/windows/windows_text.h"

namespace {

typedef char*(CDECL* UnixNameFunction)(const wchar_t*);

}  // namespace

std::string UnixPath(const std::wstring& path) {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  UnixNameFunction unix_name =
      kernel != NULL ? (UnixNameFunction)GetProcAddress(kernel, "wine_get_unix_file_name") : NULL;
  if (unix_name == NULL) return std::string();
  char* name = unix_name(path.c_str());
  if (name == NULL) return std::string();
  std::string result = name;
  HeapFree(GetProcessHeap(), 0, name);
  return result;
}

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

bool RunUnixScript(const std::string& script, unsigned timeout_ms) {
  ScratchFolder scratch;
  const std::wstring script_path = scratch / L"script.sh", done = scratch / L"done";
  std::string unix_script = UnixPath(script_path), unix_done = UnixPath(done);
  if (unix_script.empty() || unix_done.empty()) return false;
  {
    std::ofstream out(script_path.c_str(), std::ios::binary);
    // The status file tells that the script ran to its end: Wine gives no handle of a Unix
    // program to wait on.
    out << "(\n" << script << "\n)\necho $? > " << ShellQuoted(unix_done) << "\n";
  }
  // Started through Wine's start.exe: a test process that starts Unix programs itself
  // later fails to read the registry (CoCreateInstance returns REGDB_E_READREGDB). Wine
  // splits the line at spaces, so the script's path must hold none.
  if (unix_script.find(' ') != std::string::npos) return false;
  std::wstring line = Utf16("start.exe /unix /bin/sh " + unix_script);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info)) {
    return false;
  }
  if (info.hThread != NULL) CloseHandle(info.hThread);
  if (info.hProcess != NULL) CloseHandle(info.hProcess);
  for (DWORD start = GetTickCount(); GetTickCount() - start < timeout_ms; Sleep(10)) {
    std::string status = FileText(done);
    if (!status.empty() && status.back() == '\n') return status == "0\n";
  }
  return false;
}

bool RunOnUnixSide(const std::string& command, unsigned timeout_ms) {
  return RunUnixScript(command, timeout_ms);
}

bool SwapOnUnixSide(const std::wstring& from, const std::wstring& to,
                    const std::wstring& link_target) {
  std::string from_unix = UnixPath(from);
  // The new name's folder exists; the name itself may not yet.
  size_t separator = to.rfind(L'\\');
  if (from_unix.empty() || separator == std::wstring::npos) return false;
  std::string to_folder = UnixPath(to.substr(0, separator));
  if (to_folder.empty()) return false;
  std::string command = "mv " + ShellQuoted(from_unix) + " " +
                        ShellQuoted(to_folder + "/" + Utf8(to.substr(separator + 1)));
  if (!link_target.empty()) {
    std::string target = UnixPath(link_target);
    if (target.empty()) return false;
    command += " && ln -s " + ShellQuoted(target) + " " + ShellQuoted(from_unix);
  }
  return RunOnUnixSide(command);
}
