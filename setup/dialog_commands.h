// The setup dialog's commands: Install/Execute, Exit, the agreement box, the mode radios,
// and the hand-offs to the folder browser and the licence viewer.
#pragma once

#include <windows.h>

// Handles WM_COMMAND for control `id` and returns the dialog procedure's result. Install
// is handled only while the agreement box is ticked. While the Install command is being
// handled (running-application check and install run) the dialog is disabled and every
// command is ignored and FALSE returned, so nothing nests inside the install run; a click
// that changed a mode radio or the agreement box meanwhile is undone, so the dialog keeps
// showing the mode it installs in.
INT_PTR OnSetupCommand(HWND dialog, WORD id);

// True while the Install command is being handled; the dialog then also ignores
// close requests that do not come from the Install command itself.
bool IsInstallCommandActive();

// Shows and hides the controls of `mode` (INSTALL_MODE_NORMAL or INSTALL_MODE_RUN_ONCE),
// names the Install button after it and stores it in g_setup_options.install_mode.
void SwitchMode(HWND dialog, BYTE mode);
