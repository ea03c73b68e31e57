// The installer's one road for every failure it detects.
#pragma once

// Closes the uninstall log if one is open (keeping what was written), shows `text` in a
// message box titled "Fatal error" with no owner window, and ends the process with exit
// code 0. Never returns.
[[noreturn]] void FatalError(const wchar_t* text);
