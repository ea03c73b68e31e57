#include "uninstaller/log_applications.h"

#include <windows.h>
#include <shellapi.h>

#include "common/bounded_text.h"
#include "common/shell_start.h"
#include "uninstall_log/log_format.h"
#include "uninstall_log/log_reader.h"

void RunLogApplications(const wchar_t* text, size_t length, size_t from,
                        ApplicationStarter start) {
  // The same record walk as the removal, so a program is started only for a record that
  // the log holds complete, with its closing "|".
  size_t position = from;
  LogRecord record;
  while (NextLogRecord(text, length, &position, &record) == LOG_WALK_RECORD) {
    if (record.kind != LOG_RECORD_EXECUTABLE) continue;
    wchar_t path[kPathCapacity];
    if (!CopyUnits(path, kPathCapacity, record.text, record.text_length)) continue;
    if (path[0] == 0) continue;
    start(path);
  }
}

HANDLE StartApplication(const wchar_t* path) {
  // The start's result is not looked at: without a process handle there is nothing to
  // wait for, and the uninstall goes on.
  return StartThroughShell(path, L"/uninstall", NULL, NULL, NULL);
}

void WaitForApplication(HANDLE process) {
  if (process == NULL) return;
  WaitForSingleObject(process, INFINITE);
  CloseHandle(process);
}
