// The uninstaller's second phase as tests meet it: the copy "koz_uninstaller.exe" in a
// private folder "koz-" + eight hexadecimal digits below the temporary folder runs on after
// the first phase has ended. Tests wait for that process and remove the private folders and
// their "delete at next restart" entries afterwards.
#pragma once

#include <windows.h>
#include <string>
#include <vector>

#include "harness/process.h"

// Whether `name` has the form of a private folder's: "koz-" and eight hexadecimal digits.
bool IsPrivateFolderName(const std::wstring& name);

// The private folders ("koz-" + eight hexadecimal digits) where the uninstaller makes the
// one for its copy: the system's temporary folder when elevated (as under Wine), else
// ours. Full paths without trailing backslash, oldest first.
std::vector<std::wstring> SecondPhaseFolders();

// Where those are, with a trailing backslash.
std::wstring CopyHomeFolder();

// The private folders ("koz-" and eight hexadecimal digits) directly in `folder`, oldest
// first: the Run Once and licence folders that setup makes in the user's temporary folder.
std::vector<std::wstring> PrivateFoldersIn(const std::wstring& folder);

// The private folders that hold a Run Once installation of `product` ("KOZ_Soft_<product>"),
// oldest first. Setup makes them where the uninstaller makes the one for its copy
// (CopyHomeFolder): the system's temporary folder when elevated, else ours.
std::vector<std::wstring> RunOnceFoldersOf(const std::wstring& product);

// Full path of the second phase's copy in the newest private folder below our temporary
// folder; empty when there is none.
std::wstring SecondPhaseCopyPath();

// Where copies lay before they had private folders: "koz_uninstaller.exe" directly in our
// temporary folder. Tests plant things there to show they are left alone.
std::wstring UnprotectedCopyPath();

// Process ids of every running "koz_uninstaller.exe".
std::vector<DWORD> SecondPhaseProcesses();

// Waits up to `timeout_ms` for a "koz_uninstaller.exe" process to appear and opens it (its
// memory readable for ReadProcessView); finish it with FinishChild (harness/process.h).
// `process` is NULL when none appeared.
Child WaitForSecondPhaseStart(DWORD timeout_ms);

// Waits up to `timeout_ms` for every running "koz_uninstaller.exe" to end; ends those
// still running then and fails the test. Returns the exit code of the last one waited for
// (kTimedOut from harness/process.h when one had to be ended, 0xFFFFFFFF when none ran).
DWORD WaitForSecondPhaseEnd(DWORD timeout_ms);

// Waits for the first phase `first` to hand over and for both phases to end: the second
// phase is looked for while the first phase runs (which ends only once the second phase
// holds the installation; the second phase may end soon after). The first phase must end
// with 0. Returns the second phase's exit code (kTimedOut when it never appeared or had to
// be ended, after failing the test).
DWORD FinishBothPhases(Child& first, DWORD timeout_ms);

// The sources of PendingFileRenameOperations deletions (entries with an empty target) that
// name a private folder or something inside one, in the order they are listed, with any
// "\??\" prefix removed.
std::vector<std::wstring> PendingDeletionsOfSecondPhaseCopy();

// The first phase's part of the hand-over (uninstaller/hand_over.h), played by a test that
// starts a second phase itself: a copy of uninstall.exe in `folder` (made if missing) and,
// beside it, the hand-over the copy reads, written as the first phase writes it: the
// installation folder's identity, an event for the copy to signal, and the process the
// copy waits for (none by default: process id 0).
class TestHandOver {
 public:
  explicit TestHandOver(const std::wstring& folder);
  ~TestHandOver();
  TestHandOver(const TestHandOver&) = delete;
  TestHandOver& operator=(const TestHandOver&) = delete;

  // Writes the hand-over for the folder `installation` as it is now, naming `first_phase`
  // as the process to wait for (the copy deletes it once read, so each start needs one);
  // fails the test when it cannot.
  void Write(const std::wstring& installation, DWORD first_phase = 0);
  // Writes a hand-over for `installation` and starts the copy with `arguments` in
  // `directory`.
  Child Start(const std::wstring& installation, const std::wstring& arguments,
              const wchar_t* directory);
  // Whether a second phase signalled the event since the last Write.
  bool Signalled() const;
  // The copy's path.
  const std::wstring& copy() const { return copy_; }

 private:
  std::wstring folder_, copy_;
  HANDLE event_ = NULL;
  std::wstring event_name_;
};

// Removes the private folders and their pending deletions when constructed and again when
// destroyed, after ending any second phase still running, so each test starts and ends
// clean.
class SecondPhaseCleanup {
 public:
  SecondPhaseCleanup();
  ~SecondPhaseCleanup();
  SecondPhaseCleanup(const SecondPhaseCleanup&) = delete;
  SecondPhaseCleanup& operator=(const SecondPhaseCleanup&) = delete;
};
