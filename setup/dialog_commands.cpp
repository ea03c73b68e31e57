#include "setup/dialog_commands.h"

#include <shlwapi.h>

#include "setup/folder_browser.h"
#include "setup/license_viewer.h"
#include "setup/resource.h"
#include "common/bounded_text.h"
#include "common/installation_identity.h"
#include "common/fatal_error.h"
#include "common/private_folder.h"
#include "engine/install.h"
#include "engine/setup_options.h"
#include "engine/tokens.h"
#include "package/package.h"

namespace {

// Set from the moment Install is pressed until its handling ends. The running-application
// box, the success box and the Run Once wait all run message loops without an owner
// window; without this flag a second Install (or a mode change, a browse, a licence
// extraction) could start inside the running one.
bool g_install_command_active;

// Room for "%s is still running, please close the application." with a product name of
// at most 31 characters.
constexpr unsigned kRunningMessageCapacity = 128;

// Run Once installs into this folder, named after the product only, inside a private
// folder below the temporary folder.
const wchar_t kRunOnceFolderName[] = RUN_ONCE_FOLDER_PREFIX L"#N";

// Controls shown in Normal install and hidden in Run Once mode.
const int kNormalInstallControls[] = {
    IDC_PROGRAMS_SHORTCUT, IDC_DESKTOP_SHORTCUT, IDC_STARTUP_SHORTCUT, IDC_LAUNCH_AFTER_INSTALL,
    IDC_FOLDER_LABEL,      IDC_FOLDER_EDIT,      IDC_BROWSE,
};

// Asks the user to close the product while a window of its class exists. Returns true
// when none is left, false when the user cancels.
bool RunningApplicationCheck() {
  // A product without a window class has nothing to look for; an empty class would find
  // any window without one.
  if (PackageWindowClass()[0] == 0) return true;
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

// While the Install command is handled, the radios and the agreement box show what it
// installs with: the mode in install_mode, the agreement given. Those controls change
// their own state when clicked, even while their handlers are held off; this undoes it.
void ShowInstallingChoices(HWND dialog) {
  bool normal = g_setup_options.install_mode == INSTALL_MODE_NORMAL;
  CheckDlgButton(dialog, IDC_MODE_NORMAL, normal ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, IDC_MODE_RUN_ONCE, normal ? BST_UNCHECKED : BST_CHECKED);
  CheckDlgButton(dialog, IDC_LICENSE_AGREE, BST_CHECKED);
}

// Run Once ignores the folder row: "KOZ_Soft_<name>" in a private folder made for this
// run. The temporary folder itself belongs to the user, and a "KOZ_Soft_<name>" made or
// changed there by another program must never be installed into or started from; when
// elevated, the private folder lies below the system's temporary folder, where no user can
// rename it between setup and the uninstaller, and the user may read what the product
// saved in it. Without a private folder there is no safe place to install into, so that
// is fatal.
void UseRunOnceFolder() {
  wchar_t name[kPathCapacity];
  CopyText(name, kPathCapacity, kRunOnceFolderName);
  ExpandTokens(name, kPathCapacity);
  wchar_t* dir = g_setup_options.install_dir;
  // Never closed: the folder stays held while the run writes into it, the program runs
  // from it and the uninstaller is started in it, until this process ends.
  HANDLE hold;
  if (!CreatePrivateFolder(dir, (unsigned)lstrlenW(name), &hold,
                           PRIVATE_IN_SYSTEM_TEMP_READABLE_BY_USER)) {
    FatalError(L"Could not find the temporary folder");
  }
  AppendText(dir, kPathCapacity, L"\\");
  AppendText(dir, kPathCapacity, name);
}

// Copies the user's choices into g_setup_options. A folder text longer than 259
// characters is cut to 259. The mode is the one the radios showed when Install was
// pressed, so the folder and the mode always agree.
void ReadSetupOptions(HWND dialog) {
  GetDlgItemTextW(dialog, IDC_FOLDER_EDIT, g_setup_options.install_dir, kPathCapacity);
  if (g_setup_options.install_mode == INSTALL_MODE_RUN_ONCE) UseRunOnceFolder();
  g_setup_options.desktop_shortcut = IsChecked(dialog, IDC_DESKTOP_SHORTCUT);
  g_setup_options.startup_shortcut = IsChecked(dialog, IDC_STARTUP_SHORTCUT);
  g_setup_options.programs_shortcut = IsChecked(dialog, IDC_PROGRAMS_SHORTCUT);
  g_setup_options.launch_after_install = IsChecked(dialog, IDC_LAUNCH_AFTER_INSTALL);
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

// Run Once's wait: the dialog is hidden while the installed program runs (`process`, NULL
// when it did not start), and this thread's windows stay serviced until it ends.
void HideAndWaitForProgram(void* dialog, HANDLE process) {
  ShowWindow((HWND)dialog, SW_HIDE);
  if (process == NULL) return;
  DrainMessages();
  for (;;) {
    DWORD result = MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
    // A failing wait would return at once forever: stop rather than spin.
    if (result == WAIT_OBJECT_0 || result == WAIT_FAILED) return;
    DrainMessages();
  }
}

// The boxes shown from here have no owner window; the dialog is disabled meanwhile, as an
// owned box would do, so the user's clicks do not reach it at all.
INT_PTR OnInstall(HWND dialog) {
  // Only with the agreement given, even when the command comes without the button.
  if (IsDlgButtonChecked(dialog, IDC_LICENSE_AGREE) != BST_CHECKED) return FALSE;
  g_install_command_active = true;
  EnableWindow(dialog, FALSE);
  if (!RunningApplicationCheck()) {
    g_install_command_active = false;
    EnableWindow(dialog, TRUE);
    return FALSE;
  }
  ShowInstallingChoices(dialog);
  ReadSetupOptions(dialog);
  InstallPackage(ProgramWaitHook{HideAndWaitForProgram, dialog, dialog});
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
  if (g_install_command_active) {
    if (id == IDC_MODE_NORMAL || id == IDC_MODE_RUN_ONCE || id == IDC_LICENSE_AGREE) {
      ShowInstallingChoices(dialog);
    }
    return FALSE;
  }
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
