// Handing over to the second phase: a copy of the uninstaller in a private folder below
// the temporary folder, which can delete the installation folder's "uninstall.exe"
// because it does not run it.
#pragma once

// Name of the copy inside its private folder.
#define SECOND_PHASE_COPY_NAME L"koz_uninstaller.exe"

// Shown in interactive mode when the hand-over fails. The logged applications may already
// have cleaned up after themselves, so it does not claim that nothing changed.
#define HAND_OVER_FAILED_MESSAGE                                                           \
  L"The uninstall could not be completed: the uninstaller could not prepare its "          \
  L"temporary copy. The installed files have not been removed, but the application may " \
  L"already have run its own clean-up."

// Creates a private folder below the temporary folder (common/private_folder.h), held
// open until this process ends, makes it the working directory, copies the running program into it as
// "koz_uninstaller.exe" (never over an existing file), starts the copy with
// `"install_folder" /PHASE2` (plus ` /SILENT ` when not `interactive`) in that folder and
// schedules the copy and then the folder for deletion at the next restart. Does not wait.
// Returns false when the folder, the copy or the start failed: the second phase then does
// not run, and whatever was made for it is removed again.
bool StartSecondPhaseCopy(const wchar_t* install_folder, bool interactive);

// The "Fatal error" box with HAND_OVER_FAILED_MESSAGE.
void ShowHandOverFailed();
