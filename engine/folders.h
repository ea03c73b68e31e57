// Folder creation and the touched-folder list: every folder the install run creates or
// meets on its way is remembered once, so the uninstaller can try to remove it afterwards.
#pragma once

#include <windows.h>

#include "common/bounded_text.h"

// One remembered folder. Nodes are zero-filled heap blocks owned by the list.
struct TouchedFolder {
  wchar_t text[kPathCapacity];  // as logged: a full path or a symbolic path
  TouchedFolder* prev;          // appended before this one
  TouchedFolder* next;          // appended after this one
};

// The process-wide list, oldest at `head`, newest at `tail`; empty at start. Filled by
// EnsureFolder during an install run, emptied by WriteTouchedFolders.
struct TouchedFolderList {
  TouchedFolder* head;
  TouchedFolder* tail;
};
extern TouchedFolderList g_touched_folders;

// Fatal texts of folder creation; the failing path follows the ">".
#define FOLDER_CREATE_FAILED_MESSAGE L"Could not create folder [1]\n>"
#define FOLDER_IS_FILE_MESSAGE L"Could not create folder [2]\n>"
#define FOLDER_IS_LINK_MESSAGE L"Could not create folder [3]: it is a junction or symbolic link\n>"

// Makes sure `path` exists as a folder, creating one level inside its parent, which the run
// holds (HeldFolderFor), and records `logged_name` in the list: always when the folder was
// created, otherwise only if no entry equals it ignoring case. The folder stays held until
// ReleaseRunFolders. Returns only on success: every failure is fatal.
void EnsureFolder(const wchar_t* path, const wchar_t* logged_name);

// Holds `path`, a folder the system gives (a special folder) and the run trusts as it
// stands, until ReleaseRunFolders. Returns false when it cannot be opened.
bool HoldTrustedFolder(const wchar_t* path);

// The open handle through which the run reaches the folder `path` (no trailing
// backslash): the installation folder or one above it, a folder EnsureFolder made or
// accepted, a trusted folder, or an existing folder below one of those, which is held on
// the way (each level opened inside the one above it and refused when it is a junction or
// symbolic link). NULL when there is none. The handle stays the run's.
HANDLE HeldFolderFor(const wchar_t* path);

// Creates the file `path` for writing inside its held folder (HeldFolderFor). A plain file
// there is replaced; a folder, link, device or a file with more hard links is not. Returns
// INVALID_HANDLE_VALUE when it cannot be created.
HANDLE CreateFileInHeldFolder(const wchar_t* path);

// Lets go of every folder the run holds.
void ReleaseRunFolders();

// The access list, in SDDL, of each level of the installation folder that an elevated
// setup creates: as Program Files' own, full control for SYSTEM and Administrators, read
// and execute for Users, nothing inherited from above, passed on to everything inside;
// owned by Administrators, so that the administrator's unelevated processes hold no
// owner's right to rewrite the list.
#define INSTALL_FOLDER_SDDL L"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FRFX;;;BU)"

// Ensures every folder along the full `path` (no trailing backslash), from the first one
// below the drive or share root to `path` itself, each recorded under its own path; with
// `from` > 0, only the folders that end after the first `from` units. Every level, from
// the drive root down, is opened (or created) inside the one above it and held until
// ReleaseRunFolders; a level that is a junction or symbolic link is fatal. When
// RunsAsAdministrator(), the folders it creates get INSTALL_FOLDER_SDDL; existing ones keep
// their list. A path longer than kPathCapacity - 1 is fatal. Returns only on success.
void CreateFolderPath(const wchar_t* path, size_t from = 0);

// Writes one "S" record per listed folder to the open uninstall log, newest first, so a
// reader removing them in file order meets children before their parents; then frees
// every node and empties the list.
void WriteTouchedFolders();
