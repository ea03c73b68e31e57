// The private folder a Run Once was made in. Setup installs a Run Once into
// "KOZ_Soft_<name>" in a private folder made fresh for that run below the temporary folder;
// when the run's uninstall ends, that private folder goes with everything in it, files the
// product left beside itself included.
#pragma once

#include <windows.h>

// Whether `folder` (an installation folder in normal form, no trailing backslash) is a Run
// Once installation of `product_name`: "KOZ_Soft_<product_name>" in a folder named as a
// private folder ("koz-" and eight hexadecimal digits) directly in this user's temporary
// folder. Puts that private folder into `private_folder` (kPathCapacity units) when it is.
bool FindRunOncePrivateFolder(const wchar_t* folder, const wchar_t* product_name,
                              wchar_t* private_folder);

// Removes `folder` and everything in it. A junction or symbolic link inside is removed as
// a link, never followed. Best effort: what cannot be removed stays.
void DeleteFolderTree(const wchar_t* folder);
