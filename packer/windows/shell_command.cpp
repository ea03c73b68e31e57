#include "packer/tool/shell_command.h"

#include <windows.h>

#include "packer/windows/windows_text.h"

namespace {

// The command interpreter from the system folder, never one found beside the product.
std::wstring CommandInterpreter() {
  wchar_t folder[MAX_PATH];
  UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return L"cmd.exe";
  return std::wstring(folder, length) + L"\\cmd.exe";
}

// Starts `command` through cmd.exe with standard input from NUL and both outputs into
// `write_end`. Returns false, with the system's error code in `*error_code`, when it does
// not start.
bool StartInterpreter(const std::string& command, HANDLE write_end, PROCESS_INFORMATION* process,
                      DWORD* error_code) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
  HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                             OPEN_EXISTING, 0, NULL);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = write_end;
  startup.hStdError = write_end;
  // "/s" takes the quotes around the command away and leaves the rest exactly as written.
  std::wstring interpreter = CommandInterpreter();
  std::wstring line = L"\"" + interpreter + L"\" /d /s /c \"" + Utf16(command) + L"\"";
  BOOL started = CreateProcessW(interpreter.c_str(), &line[0], NULL, NULL, TRUE, 0, NULL, NULL,
                                &startup, process);
  *error_code = GetLastError();
  if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
  return started != FALSE;
}

}  // namespace

bool RunShellCommand(const std::string& command, int* exit_code, std::string* output,
                     std::string* error) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
  HANDLE read_end = NULL, write_end = NULL;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) {
    *error = "cannot start cmd.exe: " + SystemErrorText(GetLastError());
    return false;
  }
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  PROCESS_INFORMATION process = {};
  DWORD start_error = 0;
  bool started = StartInterpreter(command, write_end, &process, &start_error);
  CloseHandle(write_end);
  if (!started) {
    CloseHandle(read_end);
    *error = "cannot start cmd.exe: " + SystemErrorText(start_error);
    return false;
  }
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(read_end, buffer, sizeof(buffer), &got, NULL) && got > 0) {
    output->append(buffer, got);
  }
  CloseHandle(read_end);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  *exit_code = (int)code;
  return true;
}

std::string QuoteForShell(const std::string& path) { return "\"" + path + "\""; }
