// Private folders below the user's temporary folder, such as the one that holds the
// uninstaller's copy while its second phase runs. The temporary folder is writable by every
// process of the user; a folder made fresh for each use, and closed to unelevated processes
// when the program runs elevated, leaves them no place to plant or swap anything in it.
#pragma once

#include <windows.h>

// Every private folder's name: this prefix and eight hexadecimal digits.
#define PRIVATE_FOLDER_PREFIX L"koz-"

// How many names are tried before giving up; a name already taken (by a folder or a
// file) is never reused, the next one is tried instead.
constexpr unsigned kPrivateFolderAttempts = 64;

// The private folder's access list in SDDL: owned by Administrators, not inheriting the
// temporary folder's entries, full access for SYSTEM and Administrators only, passed on to
// everything created inside.
#define ADMINISTRATORS_ONLY_SDDL L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"

// Puts the name for attempt `attempt` of a run seeded with `seed` into `name` (13 units):
// "koz-" and eight hexadecimal digits. Different attempts give different names.
void FormatPrivateFolderName(DWORD seed, unsigned attempt, wchar_t* name);

// True when the process's token holds the Administrators group enabled: elevated on
// systems with user account control, an administrator on earlier ones.
bool RunsAsAdministrator();

// Creates a new folder named as above directly below the temporary folder and puts its
// path, without trailing backslash, into `folder` (kPathCapacity units), leaving room
// for a backslash and `room` more units after it. When RunsAsAdministrator(), the folder
// gets ADMINISTRATORS_ONLY_SDDL. Returns false, with `folder` empty, when no folder could
// be made: the temporary folder is missing or too long, the access list cannot be built
// or set, or every attempt met an existing name.
bool CreatePrivateFolder(wchar_t* folder, unsigned room);

// CreatePrivateFolder with the names of a run seeded with `seed` (CreatePrivateFolder
// seeds from the clock and the process id). Open for tests.
bool CreatePrivateFolderFromSeed(DWORD seed, wchar_t* folder, unsigned room);
