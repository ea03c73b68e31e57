#include "harness/console_child.h"

#include <gtest/gtest.h>

#include "harness/process.h"
#include "harness/scratch.h"
#include "harness/timeouts.h"

namespace {

HANDLE InheritableFile(const std::wstring& path) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), NULL, TRUE};
  return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, &inherit,
                     CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, NULL);
}

}  // namespace

ConsoleRun RunConsoleChild(const std::wstring& command_line, DWORD timeout_ms,
                           const wchar_t* directory) {
  ConsoleRun run;
  ScratchFolder capture;
  std::wstring out_path = capture / L"stdout.txt";
  std::wstring err_path = capture / L"stderr.txt";
  HANDLE out = InheritableFile(out_path);
  HANDLE err = InheritableFile(err_path);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = NULL;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION info = {};
  std::wstring line = command_line;
  BOOL started = CreateProcessW(NULL, &line[0], NULL, NULL, TRUE, CREATE_NO_WINDOW, NULL,
                                directory, &startup, &info);
  CloseHandle(out);
  CloseHandle(err);
  if (!started) {
    ADD_FAILURE() << "could not start: " << Utf8(command_line) << " (error " << GetLastError()
                  << ")";
    run.exit_code = kTimedOut;
    return run;
  }
  CloseHandle(info.hThread);
  Child child;
  child.process = info.hProcess;
  child.pid = info.dwProcessId;
  run.exit_code = FinishChild(child, timeout_ms);
  if (run.exit_code == kTimedOut) ADD_FAILURE() << "the child had to be ended";
  run.out = FileText(out_path);
  run.err = FileText(err_path);
  return run;
}

ConsoleRun RunPack(const std::wstring& arguments, const std::wstring& directory) {
  return RunConsoleChild(Quoted(PackExe()) + L" " + arguments, kPackTimeoutMs,
                         directory.c_str());
}

bool PackSampleProduct(const std::wstring& output) {
  // Started without capturing its output, which would need a folder in the temporary
  // folder: some tests point that at a folder whose contents they check.
  return RunChild(Quoted(PackExe()) + L" " + Quoted(BinDir() + L"sample\\alpha.ini") + L" -o " +
                      Quoted(output),
                  kPackTimeoutMs) == 0;
}
