#include "engine/fatal_error.h"

#include <windows.h>

#include "uninstall_log/log_writer.h"

void FatalError(const wchar_t* text) {
  CloseUninstallLog();
  MessageBoxW(NULL, text, L"Fatal error", MB_ICONERROR);
  ExitProcess(0);
}
