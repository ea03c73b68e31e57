// How long the tests wait for the programs they start. Generous: a Wine start costs about
// half a second, a first one on a fresh prefix much more, and other builds share the cores.
#pragma once

#include <windows.h>

// For a window or message box to appear (or to go), and for a process to start.
constexpr DWORD kWindowTimeoutMs = 20000;

// For a setup, uninstaller or probe run to end by itself.
constexpr DWORD kRunTimeoutMs = 30000;

// For an install run of a whole product.
constexpr DWORD kInstallTimeoutMs = 60000;

// For a run of the packing tool, which the packer tests give products of tens of megabytes.
constexpr DWORD kPackTimeoutMs = 120000;
