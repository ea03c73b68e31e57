// The setup dialog (template IDD_SETUP): start-up, banner, colours, clean-up and closing.
#pragma once

#include <windows.h>

// The setup executable's module handle. Set by WinMain before the dialog is created;
// the dialog finds the package resource in it.
extern HINSTANCE g_module;

// Capacity of the caption and welcome-text buffers: they are read with a limit of 255
// units, so at most 254 characters, and expanded within 256.
constexpr unsigned kDialogTextCapacity = 256;
constexpr int kDialogTextReadLimit = 255;

// The dialog procedure of IDD_SETUP. Returns TRUE for handled messages, a brush for
// WM_CTLCOLORSTATIC, FALSE otherwise. A missing or unsound package is fatal at
// WM_INITDIALOG, before the dialog is shown.
INT_PTR CALLBACK SetupDialogProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
