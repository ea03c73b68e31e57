// The uninstaller's first phase: read the log header, confirm with the user, make sure
// the application is closed, let the logged applications below the installation folder
// clean up, hand over to the copy.
#pragma once

// Runs the first phase for the "uninstall.dat" beside the running program. `interactive`
// is false in "/AUTO" mode: no welcome question, and the second phase is told "/SILENT".
// Returns the exit code: 1 when the log cannot be opened, read whole or split into its
// header (after the "Fatal error" box), or when the hand-over to the second phase fails
// (after the "Fatal error" box in interactive mode); 0 otherwise (declined, cancelled or
// handed over).
int RunFirstPhase(bool interactive);
