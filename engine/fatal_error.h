// The installer's one road for every failure it detects.
#pragma once

// Completes the uninstall log if one is open (CompleteInterruptedLog: what was written is
// kept, no end marker is added) and closes it, shows `text` in a message box titled
// "Fatal error" with no owner window, and ends the process with exit code 0. Never returns.
[[noreturn]] void FatalError(const wchar_t* text);
