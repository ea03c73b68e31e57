// Running console programs (pack.exe) the way a shell would, keeping what they print.
#pragma once

#include <windows.h>
#include <string>

struct ConsoleRun {
  DWORD exit_code = 0;
  std::string out;  // standard output, as the bytes the program wrote
  std::string err;  // standard error
};

// Starts `command_line` exactly as given with standard output and error sent to files,
// waits up to `timeout_ms` (ending the child after that, which fails the test), and
// returns its exit code and what it printed.
ConsoleRun RunConsoleChild(const std::wstring& command_line, DWORD timeout_ms,
                           const wchar_t* directory = NULL);

// Runs build/bin\pack.exe with `arguments` in `directory`, as above.
ConsoleRun RunPack(const std::wstring& arguments, const std::wstring& directory);

// Packs the sample product (build/bin\sample\alpha.ini) into the setup program `output`
// with pack.exe; returns whether it succeeded.
bool PackSampleProduct(const std::wstring& output);
