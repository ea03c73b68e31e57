#include "setup/setup_dialog.h"

#include <shlobj.h>
#include <shlwapi.h>

#include "setup/dialog_commands.h"
#include "setup/license_viewer.h"
#include "setup/resource.h"
#include "common/bounded_text.h"
#include "common/installation_identity.h"
#include "common/shell_folders.h"
#include "engine/setup_options.h"
#include "engine/tokens.h"
#include "package/package.h"

HINSTANCE g_module;

namespace {

// Default installation folder below Program Files, expanded with the product's tokens.
const wchar_t kDefaultFolderBelowProgramFiles[] = VENDOR_NAME L"\\#N #V";

// The caption and the welcome line are the only texts with product tokens. A text longer
// than the read limit is cut there before expansion.
void ExpandCaption(HWND dialog) {
  wchar_t text[kDialogTextCapacity];
  text[0] = 0;
  GetWindowTextW(dialog, text, kDialogTextReadLimit);
  ExpandTokens(text, kDialogTextCapacity);
  SetWindowTextW(dialog, text);
}

void ExpandControlText(HWND dialog, int id) {
  wchar_t text[kDialogTextCapacity];
  text[0] = 0;
  GetDlgItemTextW(dialog, id, text, kDialogTextReadLimit);
  ExpandTokens(text, kDialogTextCapacity);
  SetDlgItemTextW(dialog, id, text);
}

// Proposes Program Files\KOZ Soft\<name> <version>. The folder is not created here; when
// Program Files cannot be found the field holds the relative remainder.
void ProposeDefaultFolder(HWND dialog) {
  wchar_t folder[kPathCapacity];
  GetSpecialFolder(CSIDL_PROGRAM_FILES, folder);
  AppendText(folder, kPathCapacity, kDefaultFolderBelowProgramFiles);
  ExpandTokens(folder, kPathCapacity);
  SetDlgItemTextW(dialog, IDC_FOLDER_EDIT, folder);
}

void CheckFromOption(HWND dialog, int id, DWORD option_offset) {
  CheckDlgButton(dialog, id, PackageOptionByte(option_offset) ? BST_CHECKED : BST_UNCHECKED);
}

void InitialiseSetupDialog(HWND dialog) {
  g_setup_options.license_temp_path[0] = 0;
  g_setup_options.install_mode = INSTALL_MODE_NORMAL;
  LocatePackage(g_module);
  if (PackageOptionByte(kAllowRunOnceOffset) == 0) {
    ShowWindow(GetDlgItem(dialog, IDC_MODE_NORMAL), SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_MODE_RUN_ONCE), SW_HIDE);
    ShowWindow(GetDlgItem(dialog, IDC_OPTIONS_PROMPT), SW_SHOW);
  }
  ExpandCaption(dialog);
  ExpandControlText(dialog, IDC_WELCOME_TEXT);
  ProposeDefaultFolder(dialog);
  CheckDlgButton(dialog, IDC_MODE_NORMAL, BST_CHECKED);
  CheckFromOption(dialog, IDC_DESKTOP_SHORTCUT, kDefaultDesktopOffset);
  CheckFromOption(dialog, IDC_STARTUP_SHORTCUT, kDefaultStartupOffset);
  CheckFromOption(dialog, IDC_LAUNCH_AFTER_INSTALL, kDefaultLaunchOffset);
  CheckFromOption(dialog, IDC_PROGRAMS_SHORTCUT, kDefaultProgramsOffset);
}

// The banner icon's edge in pixels at 96 DPI, the platform's large-icon size there.
constexpr int kBannerIconSizeAt96Dpi = 32;

// Icon group 102 at the large-icon size of the screen's DPI (the program declares itself
// DPI aware, so that is the real DPI): LoadImageW takes the group's image that fits that
// size best, so a product icon with a 48-pixel image shows it at 144 DPI instead of a
// stretched 32-pixel one. NULL when the group cannot be loaded. The caller destroys it.
HICON LoadBannerIcon(HDC dc) {
  int size = MulDiv(kBannerIconSizeAt96Dpi, GetDeviceCaps(dc, LOGPIXELSX), 96);
  return (HICON)LoadImageW(GetModuleHandleW(NULL), MAKEINTRESOURCEW(IDI_SETUP), IMAGE_ICON,
                           size, size, LR_DEFAULTCOLOR);
}

// The banner is white from the top of the client area down to IDC_BANNER_LINE and as wide
// as the line, so it follows the dialog font's scaling. The icon sits at fixed pixels and
// is drawn at its own size (DrawIcon would stretch it to the large-icon metric).
void PaintBanner(HWND dialog) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(dialog, &paint);
  RECT banner;
  GetWindowRect(GetDlgItem(dialog, IDC_BANNER_LINE), &banner);
  MapWindowPoints(NULL, dialog, (POINT*)&banner, 2);
  banner.bottom = banner.top;
  banner.top = 0;
  FillRect(dc, &banner, (HBRUSH)GetStockObject(WHITE_BRUSH));
  HICON icon = LoadBannerIcon(dc);
  if (icon != NULL) {
    DrawIconEx(dc, 4, 8, icon, 0, 0, 0, NULL, DI_NORMAL);
    DestroyIcon(icon);
  }
  EndPaint(dialog, &paint);
}

// The two banner texts stand on white; every other static keeps the default colours.
INT_PTR BannerTextBrush(HWND dialog, HWND control) {
  if (control == GetDlgItem(dialog, IDC_WELCOME_TEXT) ||
      control == GetDlgItem(dialog, IDC_ADVICE_TEXT)) {
    return (INT_PTR)GetStockObject(WHITE_BRUSH);
  }
  return 0;
}

// Only the Install command may end the dialog while it is running: it ends it itself once
// the install run is over.
void CloseSetupDialog(HWND dialog) {
  if (!IsInstallCommandActive()) EndDialog(dialog, 0);
}

}  // namespace

INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: InitialiseSetupDialog(dialog); return TRUE;
    case WM_PAINT: PaintBanner(dialog); return FALSE;
    case WM_CTLCOLORSTATIC: return BannerTextBrush(dialog, (HWND)lparam);
    case WM_COMMAND: return OnSetupCommand(dialog, LOWORD(wparam));
    case WM_DESTROY: RemoveExtractedLicense(); return FALSE;
    case WM_CLOSE: CloseSetupDialog(dialog); return TRUE;
  }
  return FALSE;
}
