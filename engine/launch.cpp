#include "engine/launch.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "common/bounded_text.h"
#include "common/installation_identity.h"
#include "common/shell_start.h"
#include "engine/installed_paths.h"
#include "engine/setup_options.h"
#include "package/package.h"

namespace {

#define FIRST_RUN_ARGUMENT L"/FIRSTRUN"
#define RUN_ONCE_ARGUMENT L"/RUNONCE"

// Waits for Run Once's program through the setup program's hook, or plainly without one.
void WaitForProgram(const ProgramWaitHook& hook, HANDLE process) {
  if (hook.wait != NULL) {
    hook.wait(hook.context, process);
  } else if (process != NULL) {
    WaitForSingleObject(process, INFINITE);
  }
}

}  // namespace

void LaunchInstalledPrograms(const ProgramWaitHook& hook) {
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
      HANDLE process = StartThroughShell(path, run_once ? RUN_ONCE_ARGUMENT : FIRST_RUN_ARGUMENT,
                                         folder, L"open", hook.owner);
      if (!run_once) {
        // Not waited for; the handle is not needed.
        if (process != NULL) CloseHandle(process);
        continue;
      }
      // Run Once: only the first launchable program, and the uninstaller after it ends.
      WaitForProgram(hook, process);
      if (process != NULL) CloseHandle(process);
      break;
    }
  }
  if (!run_once) return;

  wchar_t uninstaller[kPathCapacity];
  if (!BuildInstalledPath(INSTALLED_UNINSTALLER_NAME, uninstaller)) return;
  HANDLE process = StartThroughShell(uninstaller, SWITCH_AUTO, g_setup_options.install_dir,
                                     L"open", hook.owner);
  if (process != NULL) CloseHandle(process);
}
