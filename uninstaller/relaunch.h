// Handing over to the second phase: a copy of the uninstaller in the temporary folder,
// which can delete the installation folder's "uninstall.exe" because it does not run it.
#pragma once

// Name of the copy in the user's temporary folder.
#define SECOND_PHASE_COPY_NAME L"koz_uninstaller.exe"

// Copies the running program to the temporary folder as "koz_uninstaller.exe"
// (overwriting an earlier copy), makes the temporary folder the working directory, starts
// the copy with `"install_folder" /PHASE2` (plus ` /SILENT ` when not `interactive`) and
// schedules the copy's deletion at the next restart. Does not wait; every failure is
// silent (the second phase then simply does not run).
void StartSecondPhaseCopy(const wchar_t* install_folder, bool interactive);
