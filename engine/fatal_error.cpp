#include "engine/fatal_error.h"

#include <windows.h>

#include "engine/install.h"
#include "uninstall_log/log_writer.h"

void FatalError(const wchar_t* text) {
  CompleteInterruptedLog();
  CloseUninstallLog();
  MessageBoxW(NULL, text, L"Fatal error", MB_ICONERROR);
  ExitProcess(0);
}
