#include "uninstaller/log_file.h"

#include "common/held_files.h"
#include "uninstall_log/log_format.h"

LogReadResult ReadOpenLogFile(HANDLE file, LogText* log) {
  log->text = NULL;
  log->length = 0;
  DWORD high = 0;
  SetLastError(NO_ERROR);
  DWORD size = GetFileSize(file, &high);
  // A log of 4 GB or more cannot be held in this 32-bit process anyway.
  if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return LOG_READ_INCOMPLETE;
  if (high != 0) return LOG_READ_INCOMPLETE;

  void* block = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size);
  if (block == NULL) return LOG_READ_INCOMPLETE;
  DWORD read = 0;
  // A short or failed read would lose records: the caller then keeps the log untouched.
  if (!ReadFile(file, block, size, &read, NULL) || read != size) {
    HeapFree(GetProcessHeap(), 0, block);
    return LOG_READ_INCOMPLETE;
  }
  log->text = (wchar_t*)block;
  log->length = size / sizeof(wchar_t);
  return LOG_READ_COMPLETE;
}

LogReadResult ReadInstallationLogIn(HANDLE folder, LogText* log) {
  log->text = NULL;
  log->length = 0;
  const unsigned name_length = sizeof(UNINSTALL_LOG_NAME) / sizeof(wchar_t) - 1;
  HANDLE file;
  if (folder == NULL || OpenFileIn(folder, UNINSTALL_LOG_NAME, name_length, &file) != HELD_DONE) {
    return LOG_READ_NOT_OPENED;
  }
  LogReadResult result = ReadOpenLogFile(file, log);
  CloseHandle(file);
  return result;
}

void FreeLogText(LogText* log) {
  if (log->text != NULL) HeapFree(GetProcessHeap(), 0, log->text);
  log->text = NULL;
  log->length = 0;
}

void ShowScopeNotEstablished() {
  MessageBoxW(NULL, L"uninstall.dat does not belong to this installation folder, uninstall aborted!",
              L"Fatal error", MB_ICONERROR);
}

void ShowFolderBehindLink() {
  MessageBoxW(NULL,
              L"The installation folder is reached through a junction or symbolic link, "
              L"uninstall aborted!",
              L"Fatal error", MB_ICONERROR);
}

void ShowLogNotOpened() {
  MessageBoxW(NULL, L"Could not open uninstall.dat, uninstall aborted!", L"Fatal error",
              MB_ICONERROR);
}

void ShowFolderNotHeld(HoldResult result) {
  if (result == HOLD_LINK) {
    ShowFolderBehindLink();
  } else {
    ShowLogNotOpened();
  }
}
