// Resource identifiers of the setup executable, shared by setup.rc and the code.
#pragma once

// Dialog template and icon group.
#define IDD_SETUP 101
#define IDI_SETUP 102

// Controls of the setup dialog (IDOK "Install"/"Execute" and IDCANCEL "Exit" are the
// platform's 1 and 2).
#define IDC_BANNER_LINE 1001
#define IDC_OPTIONS_PROMPT 1002
#define IDC_LICENSE_AGREE 1003
#define IDC_ADVICE_TEXT 1004
#define IDC_PROGRAMS_SHORTCUT 1005
#define IDC_DESKTOP_SHORTCUT 1006
#define IDC_STARTUP_SHORTCUT 1007
#define IDC_FOLDER_EDIT 1008
#define IDC_BROWSE 1009
#define IDC_LAUNCH_AFTER_INSTALL 1010
#define IDC_SHOW_LICENSE 1012
#define IDC_MODE_NORMAL 1013
#define IDC_MODE_RUN_ONCE 1014
#define IDC_FOLDER_LABEL 1015
#define IDC_WELCOME_TEXT 1017
#define IDC_RUN_ONCE_TEXT 1018

#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif
