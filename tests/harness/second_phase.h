// The uninstaller's second phase as tests meet it: the copy "koz_uninstaller.exe" in the
// temporary folder runs on after the first phase has ended. Tests wait for that process
// and remove the copy and its "delete at next restart" entry afterwards.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "harness/process.h"

// Full path of the second phase's copy in our temporary folder.
std::wstring SecondPhaseCopyPath();

// Process ids of every running "koz_uninstaller.exe".
std::vector<DWORD> SecondPhaseProcesses();

// Waits up to `timeout_ms` for a "koz_uninstaller.exe" process to appear and opens it;
// finish it with FinishChild (harness/process.h). `process` is NULL when none appeared.
Child WaitForSecondPhaseStart(DWORD timeout_ms);

// Waits up to `timeout_ms` for every running "koz_uninstaller.exe" to end; ends those
// still running then and fails the test. Returns the exit code of the last one waited for
// (kTimedOut from harness/process.h when one had to be ended, 0xFFFFFFFF when none ran).
DWORD WaitForSecondPhaseEnd(DWORD timeout_ms);

// Deletes the copy (even when read-only) and removes every PendingFileRenameOperations
// entry that names it, so nothing is left for the next restart.
void RemoveSecondPhaseCopy();

// Entries of PendingFileRenameOperations (source, target pairs flattened) that name the
// second phase's copy.
std::vector<std::wstring> PendingDeletionsOfSecondPhaseCopy();

// Removes the copy and its pending deletion when constructed and again when destroyed,
// after ending any second phase still running, so each test starts and ends clean.
class SecondPhaseCleanup {
 public:
  SecondPhaseCleanup();
  ~SecondPhaseCleanup();
  SecondPhaseCleanup(const SecondPhaseCleanup&) = delete;
  SecondPhaseCleanup& operator=(const SecondPhaseCleanup&) = delete;
};
