// Private folders below the user's temporary folder: the one mechanism for every write an
// elevated program makes there (the uninstaller's copy, the Run Once installation, the
// licence document). The temporary folder belongs to the user, and any process of the user
// may rename, remove or replace what lies in it. A private folder is made fresh for each
// use under a name nobody took, closed to unelevated processes when the program runs
// elevated, and held open from the moment it exists until its use is over, so that
// nobody can rename it, swap another folder in under its name or turn it into a link.
#pragma once

#include <windows.h>

// Every private folder's name: this prefix and eight hexadecimal digits.
#define PRIVATE_FOLDER_PREFIX L"koz-"

// Whether `name` has that form.
bool IsPrivateFolderName(const wchar_t* name);

// How many names are tried before giving up; a name already taken (by a folder or a
// file) is never reused, the next one is tried instead.
constexpr unsigned kPrivateFolderAttempts = 64;

// The private folder's access list in SDDL: owned by Administrators, not inheriting the
// temporary folder's entries, full access for SYSTEM and Administrators only, passed on to
// everything created inside.
#define ADMINISTRATORS_ONLY_SDDL L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"

// Where a private folder is made and who besides SYSTEM and Administrators may read it.
enum PrivateFolderUse {
  // Below the user's temporary folder, closed to everyone else (the Run Once installation).
  PRIVATE_FOR_ADMINISTRATORS,
  // As above, but the user who started the program may read and list it, never write:
  // a browser that runs unelevated can show a document from it (the licence document).
  PRIVATE_READABLE_BY_USER,
  // When elevated, below the system's own temporary folder (%SystemRoot%\Temp), where a
  // standard user cannot rename what lies: a path scheduled for deletion at the next
  // restart still names this folder then (the uninstaller's copy). Unelevated, as the
  // first.
  PRIVATE_IN_SYSTEM_TEMP,
  // Both: below %SystemRoot%\Temp when elevated, and readable by the user who started the
  // program (the Run Once installation, whose product may save files beside itself).
  PRIVATE_IN_SYSTEM_TEMP_READABLE_BY_USER,
};

// Builds the access list a private folder for `use` gets in this process: NULL in
// `*descriptor` when the process is not elevated (the inherited list then), else one to
// free with LocalFree. Returns false when it cannot be built.
bool BuildPrivateFolderDescriptor(PrivateFolderUse use, PSECURITY_DESCRIPTOR* descriptor);

// Puts the name for attempt `attempt` of a run seeded with `seed` into `name` (13 units):
// "koz-" and eight hexadecimal digits. Different attempts give different names.
void FormatPrivateFolderName(DWORD seed, unsigned attempt, wchar_t* name);

// True when the process's token holds the Administrators group enabled: elevated on
// systems with user account control, an administrator on earlier ones.
bool RunsAsAdministrator();

// Creates a new folder named as above directly below the temporary folder and puts its
// path, without trailing backslash, into `folder` (kPathCapacity units), leaving room for
// a backslash and `room` more units after it. The folder is created and opened in one step
// (so there is no moment in which another folder could take its place) and `*hold`
// receives that handle: while it is open the folder cannot be renamed, removed or opened
// for writing (which turning it into a link needs). The caller closes `*hold` when the
// folder's use is over, and must close it before removing the folder. When
// RunsAsAdministrator(), the folder gets ADMINISTRATORS_ONLY_SDDL. Returns false, with
// `folder` empty and `*hold` INVALID_HANDLE_VALUE, when no folder could be made: the
// temporary folder is missing, too long or neither a drive nor a network path, the access
// list cannot be built, or every attempt met an existing name.
bool CreatePrivateFolder(wchar_t* folder, unsigned room, HANDLE* hold,
                         PrivateFolderUse use = PRIVATE_FOR_ADMINISTRATORS);

// CreatePrivateFolder with the names of a run seeded with `seed` (CreatePrivateFolder
// seeds from the clock and the stack's place). Open for tests.
bool CreatePrivateFolderFromSeed(DWORD seed, wchar_t* folder, unsigned room, HANDLE* hold,
                                 PrivateFolderUse use = PRIVATE_FOR_ADMINISTRATORS);
