// Paths inside the installation folder, shared by the install run and the launch step.
#pragma once

// Builds g_setup_options.install_dir (which ends with its backslash during a run) + the
// entry or folder `name` into `out` (kPathCapacity units). Returns false, leaving `out`
// empty, when it does not fit.
bool BuildInstalledPath(const wchar_t* name, wchar_t* out);
