// The shell's special folders, addressed by CSIDL number.
#pragma once

// Puts the special folder `csidl`'s path with a trailing backslash into `out`
// (kPathCapacity units), or the empty string when the shell cannot give it. Returns
// nonzero when `out` is not empty. Needs no COM initialisation.
int GetSpecialFolder(int csidl, wchar_t* out);
