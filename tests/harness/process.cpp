#include "harness/process.h"

#include <shellapi.h>
#include <stdio.h>

#include "harness/text.h"

Child StartChild(const std::wstring& command_line, const wchar_t* directory) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  std::wstring line = command_line;  // CreateProcessW may write into the buffer
  Child child;
  if (!CreateProcessW(NULL, &line[0], NULL, NULL, FALSE, 0, NULL, directory, &startup, &info)) {
    fprintf(stderr, "could not start: %s (error %lu)\n", Utf8(command_line).c_str(),
            GetLastError());
    return child;
  }
  CloseHandle(info.hThread);
  child.process = info.hProcess;
  child.pid = info.dwProcessId;
  return child;
}

DWORD FinishChild(Child& child, DWORD timeout_ms) {
  if (child.process == NULL) return kTimedOut;
  DWORD code = kTimedOut;
  if (WaitForSingleObject(child.process, timeout_ms) == WAIT_OBJECT_0) {
    GetExitCodeProcess(child.process, &code);
  } else {
    fprintf(stderr, "child %lu did not end within %lu ms: ended\n", child.pid, timeout_ms);
    TerminateProcess(child.process, kTimedOut);
    WaitForSingleObject(child.process, 5000);
  }
  CloseHandle(child.process);
  child.process = NULL;
  return code;
}

DWORD RunChild(const std::wstring& command_line, DWORD timeout_ms, const wchar_t* directory) {
  Child child = StartChild(command_line, directory);
  return FinishChild(child, timeout_ms);
}

std::wstring BinDir() {
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(NULL, path, MAX_PATH);
  std::wstring dir(path, length);
  return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

std::wstring PackExe() { return BinDir() + L"pack.exe"; }
std::wstring UninstallerExe() { return BinDir() + L"uninstall.exe"; }
std::wstring AlphaExe() { return BinDir() + L"alpha.exe"; }
std::wstring FakeCleanupExe() { return BinDir() + L"uninstaller_fake_cleanup.exe"; }

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

std::vector<std::wstring> SplitCommandLine(const std::wstring& line) {
  std::vector<std::wstring> arguments;
  int count = 0;
  wchar_t** split = CommandLineToArgvW(line.c_str(), &count);
  if (split == NULL) return arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(split[i]);
  LocalFree(split);
  return arguments;
}
