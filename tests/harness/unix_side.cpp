#include "harness/unix_side.h"

#include <windows.h>

#include "harness/scratch.h"
#include "harness/text.h"

namespace {

typedef char*(CDECL* UnixNameFunction)(const wchar_t*);

// Quotes `text` for /bin/sh: in single quotes, each single quote closed, escaped, reopened.
std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

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

bool RunOnUnixSide(const std::string& command, unsigned timeout_ms) {
  // Wine starts a Unix program from a Windows one, but gives no process handle to wait on:
  // the command leaves a file behind when it is done, with its exit status.
  ScratchFolder scratch;
  std::wstring done = scratch / L"done";
  std::string done_unix = UnixPath(done);
  if (done_unix.empty()) return false;
  std::string script = "(" + command + "); echo $? > " + ShellQuoted(done_unix);
  std::wstring line = L"Z:\\bin\\sh -c " + Utf16("\"" + script + "\"");
  // Double quotes inside the script would end the Windows argument: not supported.
  if (script.find('"') != std::string::npos) return false;
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &info)) {
    return false;
  }
  if (info.hThread != NULL) CloseHandle(info.hThread);
  if (info.hProcess != NULL) CloseHandle(info.hProcess);
  DWORD start = GetTickCount();
  while (GetTickCount() - start < timeout_ms) {
    std::string status = FileText(done);
    if (!status.empty() && status.back() == '\n') return status == "0\n";
    Sleep(10);
  }
  return false;
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
