// A test program that runs the install run on the package embedded in its own executable,
// as the setup dialog would after the user pressed Install. Tests embed packages into
// copies of it and answer its message boxes.
// Usage: install_probe.exe FOLDER [/runonce] [/desktop] [/startup] [/programs] [/launch]
// FOLDER becomes install_dir (an empty argument gives an empty folder); the switches set
// the install mode and the ticked options. No owner window is passed to the engine.
#include <windows.h>
#include <shellapi.h>

#include "engine/install.h"
#include "engine/setup_options.h"
#include "package/package.h"

namespace {

void ReadOptions() {
  g_setup_options.install_mode = INSTALL_MODE_NORMAL;
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == NULL) return;
  if (count >= 2) lstrcpynW(g_setup_options.install_dir, arguments[1], kPathCapacity);
  for (int i = 2; i < count; ++i) {
    const wchar_t* option = arguments[i];
    if (lstrcmpiW(option, L"/runonce") == 0) g_setup_options.install_mode = INSTALL_MODE_RUN_ONCE;
    if (lstrcmpiW(option, L"/desktop") == 0) g_setup_options.desktop_shortcut = 1;
    if (lstrcmpiW(option, L"/startup") == 0) g_setup_options.startup_shortcut = 1;
    if (lstrcmpiW(option, L"/programs") == 0) g_setup_options.programs_shortcut = 1;
    if (lstrcmpiW(option, L"/launch") == 0) g_setup_options.launch_after_install = 1;
  }
  LocalFree(arguments);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  ReadOptions();
  LocatePackage(GetModuleHandleW(NULL));
  InstallPackage(ProgramWaitHook{});
  return 0;
}
