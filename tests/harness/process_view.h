// How another process was started, read from its process parameters: the image path, the
// exact command line and the current working directory. Works for 32-bit processes opened
// with PROCESS_QUERY_INFORMATION and PROCESS_VM_READ.
#pragma once

#include <windows.h>
#include <string>

struct ProcessView {
  bool read = false;               // false when the process could not be read
  std::wstring image_path;
  std::wstring command_line;
  std::wstring current_directory;  // with its trailing backslash, as the process keeps it
};

// Reads the view of `process`. A process that is still starting may not be readable yet:
// this tries for up to `timeout_ms`.
ProcessView ReadProcessView(HANDLE process, DWORD timeout_ms = 5000);
