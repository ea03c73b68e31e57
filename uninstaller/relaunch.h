// Handing over to the second phase: a copy of the uninstaller in a private folder below
// the temporary folder, which can delete the installation folder's "uninstall.exe"
// because it does not run it. The first phase stays until the copy holds the installation
// folder and has found it unchanged (hand_over.h).
#pragma once

#include <windows.h>

// Name of the copy inside its private folder.
#define SECOND_PHASE_COPY_NAME L"koz_uninstaller.exe"

// Shown in interactive mode when the hand-over fails. The logged applications may already
// have cleaned up after themselves, so it does not claim that nothing changed.
#define HAND_OVER_FAILED_MESSAGE                                                           \
  L"The uninstall could not be completed: the uninstaller could not prepare its "          \
  L"temporary copy. The installed files have not been removed, but the application may " \
  L"already have run its own clean-up."

// Opens the running program's file inside the held installation folder `installation`
// (NULL when it is not held), which holds it, for reading: its copy is made from this
// handle, so it is the file the phase started from, whatever happens to its name later.
// Returns NULL when it cannot be opened (not a plain file with one name, or a link).
HANDLE OpenRunningProgram(HANDLE installation);

// Creates a private folder below the temporary folder (common/private_folder.h) and holds
// it, with every folder above it, until this process ends; copies the running program
// (`program`, from OpenRunningProgram) into it as "koz_uninstaller.exe" and writes the
// hand-over beside it (the identity of `installation`, the held installation folder
// `install_dir`, this process's id and the event the copy signals); starts the copy with
// `"install_dir" /PHASE2` (plus ` /SILENT ` when not `interactive`) in that folder, and
// schedules the copy and then the folder for deletion at the next restart. Then waits until
// the copy holds the installation folder (or has ended, or kHandOverWaitMs have passed) and
// deletes the hand-over. Returns false when the folder, the copy, the hand-over or the
// start failed: the second phase then does not run, and whatever was made for it is
// removed again.
bool StartSecondPhaseCopy(const wchar_t* install_dir, HANDLE installation, HANDLE program,
                          bool interactive);

// The "Fatal error" box with HAND_OVER_FAILED_MESSAGE.
void ShowHandOverFailed();
