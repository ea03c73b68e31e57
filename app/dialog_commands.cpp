#include "app/dialog_commands.h"

#include <shlwapi.h>

#include "app/folder_browser.h"
#include "app/license_viewer.h"
#include "app/resource.h"
#include "common/fatal_error.h"
#include "engine/install.h"
#include "engine/setup_options.h"
#include "engine/tokens.h"
#include "package/package.h"

namespace {

// Set from the moment Install is pressed until its handling ends. The running-application
// box, the success box and the Run Once wait all run message loops while the dialog stays
// enabled; without this flag a second Install (or a mode change, a browse, a licence
// extraction) could start inside the running one.
bool g_install_command_active;

// Room for "%s is still running, please close the application." with a product name of
// at most 31 characters.
constexpr unsigned kRunningMessageCapacity = 128;

// Run Once installs below the temporary folder, named after the product only.
const wchar_t kRunOnceFolderBelowTemp[] = L"KOZ_Soft_#N";

// Controls shown in Normal install and hidden in Run Once mode.
const int kNormalInstallControls[] = {
    IDC_PROGRAMS_SHORTCUT, IDC_DESKTOP_SHORTCUT, IDC_STARTUP_SHORTCUT, IDC_LAUNCH_AFTER_INSTALL,
    IDC_FOLDER_LABEL,      IDC_FOLDER_EDIT,      IDC_BROWSE,
};

// Asks the user to close the product while a window of its class exists. Returns true
// when none is left, false when the user cancels.
bool RunningApplicationCheck() {
  while (FindWindowW(PackageWindowClass(), NULL) != NULL) {
    wchar_t text[kRunningMessageCapacity];
    wsprintfW(text, L"%s is still running, please close the application.",
              PackageProductName());
    if (MessageBoxW(NULL, text, L"Message", MB_RETRYCANCEL | MB_ICONERROR) != IDRETRY) {
      return false;
    }
  }
  return true;
}

BYTE IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) ? 1 : 0; }

// Run Once ignores the folder row: the temporary folder + "KOZ_Soft_<name>". Without a
// temporary folder there is no safe place to install into, so that is fatal.
void UseRunOnceFolder() {
  wchar_t* dir = g_setup_options.install_dir;
  DWORD length = GetTempPathW(kPathCapacity, dir);
  if (length == 0 || length >= kPathCapacity) FatalError(L"Could not find the temporary folder");
  StrCatBuffW(dir, kRunOnceFolderBelowTemp, kPathCapacity);
  ExpandTokens(dir, kPathCapacity);
}

// Copies the user's choices into g_setup_options. A folder text longer than 259
// characters is cut to 259.
void ReadSetupOptions(HWND dialog) {
  GetDlgItemTextW(dialog, IDC_FOLDER_EDIT, g_setup_options.install_dir, kPathCapacity);
  if (IsDlgButtonChecked(dialog, IDC_MODE_RUN_ONCE)) UseRunOnceFolder();
  g_setup_options.desktop_shortcut = IsChecked(dialog, IDC_DESKTOP_SHORTCUT);
  g_setup_options.startup_shortcut = IsChecked(dialog, IDC_STARTUP_SHORTCUT);
  g_setup_options.programs_shortcut = IsChecked(dialog, IDC_PROGRAMS_SHORTCUT);
  g_setup_options.launch_after_install = IsChecked(dialog, IDC_LAUNCH_AFTER_INSTALL);
}

INT_PTR OnInstall(HWND dialog) {
  g_install_command_active = true;
  if (!RunningApplicationCheck()) {
    g_install_command_active = false;
    return FALSE;
  }
  ReadSetupOptions(dialog);
  InstallPackage(dialog);
  g_install_command_active = false;
  SendMessageW(dialog, WM_CLOSE, 0, 0);
  return TRUE;
}

// The Install button is usable exactly while the agreement box is ticked.
void OnAgreement(HWND dialog) {
  EnableWindow(GetDlgItem(dialog, IDOK),
               IsDlgButtonChecked(dialog, IDC_LICENSE_AGREE) == BST_CHECKED);
}

}  // namespace

bool IsInstallCommandActive() { return g_install_command_active; }

void SwitchMode(HWND dialog, BYTE mode) {
  bool normal = mode == INSTALL_MODE_NORMAL;
  for (int id : kNormalInstallControls) {
    ShowWindow(GetDlgItem(dialog, id), normal ? SW_SHOW : SW_HIDE);
  }
  ShowWindow(GetDlgItem(dialog, IDC_RUN_ONCE_TEXT), normal ? SW_HIDE : SW_SHOW);
  SetDlgItemTextW(dialog, IDOK, normal ? L"Install" : L"Execute");
  g_setup_options.install_mode = mode;
}

// The notification code is not examined: every notification of a control runs its handler.
INT_PTR OnSetupCommand(HWND dialog, WORD id) {
  if (g_install_command_active) return FALSE;
  switch (id) {
    case IDOK: return OnInstall(dialog);
    case IDCANCEL: SendMessageW(dialog, WM_CLOSE, 0, 0); return TRUE;
    case IDC_LICENSE_AGREE: OnAgreement(dialog); return FALSE;
    case IDC_BROWSE: OnBrowse(dialog); return FALSE;
    case IDC_SHOW_LICENSE: LicenseViewer(dialog); return FALSE;
    case IDC_MODE_NORMAL: SwitchMode(dialog, INSTALL_MODE_NORMAL); return FALSE;
    case IDC_MODE_RUN_ONCE: SwitchMode(dialog, INSTALL_MODE_RUN_ONCE); return FALSE;
  }
  return FALSE;
}
