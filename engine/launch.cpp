#include "engine/launch.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "common/bounded_text.h"
#include "engine/installed_paths.h"
#include "engine/setup_options.h"
#include "package/package.h"

namespace {

#define FIRST_RUN_ARGUMENT L"/FIRSTRUN"
#define RUN_ONCE_ARGUMENT L"/RUNONCE"
#define AUTO_UNINSTALL_ARGUMENT L"/AUTO"

// Starts `file` with `arguments` in `folder`. Returns the process handle, or NULL when the
// start failed or the shell handed the file to a program already running; failures are
// not reported.
HANDLE StartProgram(HWND dialog, const wchar_t* file, const wchar_t* arguments,
                    const wchar_t* folder) {
  SHELLEXECUTEINFOW request;
  ZeroMemory(&request, sizeof(request));
  request.cbSize = sizeof(request);
  request.fMask = SEE_MASK_NOCLOSEPROCESS;
  request.hwnd = dialog;
  request.lpVerb = L"open";
  request.lpFile = file;
  request.lpParameters = arguments;
  request.lpDirectory = folder;
  request.nShow = SW_SHOW;
  if (!ShellExecuteExW(&request)) return NULL;
  return request.hProcess;
}

// Dispatches what is queued. A WM_QUIT met here is dropped and ends this drain only.
void DrainMessages() {
  MSG message;
  while (PeekMessageW(&message, NULL, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) break;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// Waits for `process` to end while keeping this thread's windows serviced.
void WaitWhileDispatching(HANDLE process) {
  DrainMessages();
  for (;;) {
    DWORD result = MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
    // A failing wait would return at once forever: stop rather than spin.
    if (result == WAIT_OBJECT_0 || result == WAIT_FAILED) return;
    DrainMessages();
  }
}

}  // namespace

void LaunchInstalledPrograms(HWND dialog) {
  bool run_once = g_setup_options.install_mode == INSTALL_MODE_RUN_ONCE;
  if (run_once || g_setup_options.launch_after_install) {
    wchar_t name[kPathCapacity];
    const BYTE* data;
    DWORD size, flags;
    for (const BYTE* p = g_package.cursor;
         (p = ReadEntry(p, name, &data, &size, &flags)) != NULL;) {
      // The special values (the uninstaller among them) never count as launchable.
      if ((flags & kLaunchMask) != ENTRY_LAUNCH) continue;
      wchar_t path[kPathCapacity];
      wchar_t folder[kPathCapacity];
      if (!BuildInstalledPath(name, path)) continue;
      CopyText(folder, kPathCapacity, path);
      PathRemoveFileSpecW(folder);
      HANDLE process = StartProgram(dialog, path, run_once ? RUN_ONCE_ARGUMENT : FIRST_RUN_ARGUMENT,
                                    folder);
      if (!run_once) {
        // Not waited for; the handle is not needed.
        if (process != NULL) CloseHandle(process);
        continue;
      }
      // Run Once: only the first launchable program, and the uninstaller after it ends.
      ShowWindow(dialog, SW_HIDE);
      if (process != NULL) {
        WaitWhileDispatching(process);
        CloseHandle(process);
      }
      break;
    }
  }
  if (!run_once) return;

  wchar_t uninstaller[kPathCapacity];
  if (!BuildInstalledPath(UNINSTALLER_NAME, uninstaller)) return;
  HANDLE process = StartProgram(dialog, uninstaller, AUTO_UNINSTALL_ARGUMENT,
                                g_setup_options.install_dir);
  if (process != NULL) CloseHandle(process);
}
