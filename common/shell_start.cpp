#include "common/shell_start.h"

#include <shellapi.h>

HANDLE StartThroughShell(const wchar_t* file, const wchar_t* parameters,
                         const wchar_t* directory, const wchar_t* verb, HWND owner) {
  SHELLEXECUTEINFOW request;
  ZeroMemory(&request, sizeof(request));
  request.cbSize = sizeof(request);
  request.fMask = SEE_MASK_NOCLOSEPROCESS;
  request.hwnd = owner;
  request.lpVerb = verb;
  request.lpFile = file;
  request.lpParameters = parameters;
  request.lpDirectory = directory;
  request.nShow = SW_SHOW;
  if (!ShellExecuteExW(&request)) return NULL;
  return request.hProcess;
}
