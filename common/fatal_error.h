// The installer's one road for every failure it detects.
#pragma once

// Room for a fatal message that names a path: the longest fixed text plus a full path.
constexpr unsigned kFatalMessageCapacity = 320;

// What FatalError runs before it shows its message, so that whatever was being written
// (the install run's uninstall log) is left complete and closed.
typedef void (*FatalErrorCleanup)();

// Registers `cleanup` (NULL: none) for the next FatalError. The install run registers its
// log's completion once the log is open and takes it away once the log is closed.
void SetFatalErrorCleanup(FatalErrorCleanup cleanup);

// Runs the registered clean-up (once), shows `text` in a message box titled "Fatal error"
// with no owner window, and ends the process with exit code 0. Never returns.
[[noreturn]] void FatalError(const wchar_t* text);

// FatalError with `message` followed by `path` and `rest`, cut to kFatalMessageCapacity - 1
// units. Never returns.
[[noreturn]] void FatalErrorWithPath(const wchar_t* message, const wchar_t* path,
                                     const wchar_t* rest = L"");
