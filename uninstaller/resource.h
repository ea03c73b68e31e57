// Resource identifiers of uninstall.exe.
#pragma once

#define IDI_UNINSTALLER 101
