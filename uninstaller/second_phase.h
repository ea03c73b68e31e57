// The uninstaller's second phase, run from the temporary copy: read and delete the log,
// then remove what its records name within the installation (installation_scope.h).
#pragma once

// Runs the second phase for the split command line (`count` >= 3 entries, the program
// name first): installation folder, "/PHASE2", optionally "/SILENT". Pauses 1500 ms first
// so the first phase can end. Returns the exit code: 1 when the second argument is not
// "/PHASE2" (nothing shown) or the log cannot be opened or read whole (the "Fatal error"
// box unless silent; the log is kept); 0 after the replay (the "Done" box unless silent).
int RunSecondPhase(int count, wchar_t** arguments);
