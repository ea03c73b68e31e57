// The uninstaller's process entry: choose the phase by the command line and run it.
#pragma once

// Which phase a command line asks for.
enum UninstallerPhase {
  PHASE_FIRST_INTERACTIVE,  // no argument, or one without "/AUTO"
  PHASE_FIRST_AUTO,         // exactly one argument containing "/AUTO" (case-sensitive)
  PHASE_SECOND,             // two or more arguments: folder, "/PHASE2", ...
};

// Chooses the phase from the split command line (`count` includes the program name).
UninstallerPhase ChoosePhase(int count, wchar_t** arguments);

// Splits the process command line, runs the chosen phase and returns its exit code.
int UninstallerMain();
