// Where the loader may look for DLLs once a program runs. Installers start from download
// folders and the uninstaller's copy from the temporary folder: a DLL planted there under
// the name of one that the shell or COM loads on demand must never be picked up.
#pragma once

// Restricts the process's DLL search to the system folder where the platform offers it
// (SetDefaultDllDirectories with LOAD_LIBRARY_SEARCH_SYSTEM32), and takes the current
// folder out of the search (SetDllDirectoryW("")). Both are looked up at run time, so the
// program still starts on systems without them. Call first thing in an entry point: it
// covers every later load, including those the shell and COM make on the program's
// behalf, but not the DLLs the loader bound before the entry point ran.
void RestrictDllSearch();
