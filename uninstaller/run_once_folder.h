// The private folder a Run Once was made in. Setup installs a Run Once into
// "KOZ_Soft_<name>" in a private folder made fresh for that run: below the system's
// temporary folder when it runs elevated, below the user's otherwise. When the run's
// uninstall has removed what the log names, both folders go too, once they are empty;
// what the product or the user saved in them stays.
#pragma once

#include <windows.h>

// Whether `folder` (an installation folder in normal form, no trailing backslash) is a Run
// Once installation of `product_name`: "KOZ_Soft_<product_name>" in a folder named as a
// private folder ("koz-" and eight hexadecimal digits) directly in this user's temporary
// folder or in the system's (%SystemRoot%\Temp). Puts that private folder into
// `private_folder` (kPathCapacity units) when it is.
bool FindRunOncePrivateFolder(const wchar_t* folder, const wchar_t* product_name,
                              wchar_t* private_folder);
