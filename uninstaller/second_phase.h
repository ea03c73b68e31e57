// The uninstaller's second phase, run from the temporary copy: take over the installation
// folder's hold from the first phase, read the log, then remove what its records name
// within the installation (installation_scope.h). What cannot be removed now is counted:
// while anything stays, the uninstaller, the log and the product's key stay too, so the
// uninstall can be started again from Windows' list.
#pragma once

// The second phase's exit code when some items of the installation stayed.
constexpr int kExitSomethingStays = 2;

// Runs the second phase for the split command line (`count` >= 3 entries, the program
// name first): installation folder, "/PHASE2", optionally "/SILENT". Holds the folder, checks
// it against the first phase's hand-over (hand_over.h) and waits for the first phase to
// end before it reads the log. Returns the exit code: 1 when the second argument is not
// "/PHASE2" (nothing shown), the folder cannot be held or is not the one the first phase
// held, or the log cannot be opened or read whole (a "Fatal error" box unless silent; the
// log is kept); 0 after the replay (the "Done" box unless silent, saying what goes at
// restart if anything does); kExitSomethingStays when items stayed (a box naming the
// installation folder unless silent).
int RunSecondPhase(int count, wchar_t** arguments);
