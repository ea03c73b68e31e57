// Files and folders reached through an open handle of the folder that holds them, never by
// a path again: what lies in a held folder is opened, created and deleted relative to that
// handle, so nobody can slip a link or another folder in under a name between a check and
// the use. Both programs run elevated in folders a user may be able to change.
#pragma once

#include <windows.h>
#include <stddef.h>

// Outcomes of an operation on a name inside a held folder.
enum HeldResult {
  HELD_DONE,        // done; an out handle is open
  HELD_MISSING,     // nothing by that name
  HELD_EXISTS,      // a create met an existing name
  HELD_LINK,        // the name is a junction or symbolic link, or was swapped while opened
  HELD_WRONG_KIND,  // a folder where a file was wanted, or the other way round, or a file
                    // that is not a plain one (a device, a pipe, more than one link)
  HELD_NOT_EMPTY,   // a folder to remove still holds something
  HELD_FAILED,      // anything else: access denied, in use, an invalid name
};

// What tells one file or folder from every other: the volume's serial number and the
// file's index on it, as GetFileInformationByHandle gives them.
struct FileIdentity {
  DWORD volume;
  DWORD index_high;
  DWORD index_low;
};

// Reads `handle`'s identity. Returns false when the system gives none, or an identity of
// all zeros (as some network shares do), which cannot tell two files apart.
bool ReadFileIdentity(HANDLE handle, FileIdentity* identity);

// Whether two identities name the same file.
bool SameFileIdentity(const FileIdentity& a, const FileIdentity& b);

// Opens the folder `name` (`length` units, one component) inside the held folder `parent`
// for holding: listing, traversing and reading attributes, sharing reading and writing but
// never deletion, so it cannot be renamed or removed while open. A junction or symbolic
// link is refused (HELD_LINK): on Windows the open does not follow it and its handle tells;
// Wine follows a Unix symbolic link all the same, so the name is also checked relative to
// `parent`, and the object behind the name must be the one opened.
HeldResult HoldFolderIn(HANDLE parent, const wchar_t* name, size_t length, HANDLE* out);

// Creates the folder `name` inside `parent` and holds it as HoldFolderIn does, in one step
// (FILE_CREATE: an existing name of any kind is HELD_EXISTS and is not touched).
// `descriptor` (NULL: inherited) is the new folder's access list.
HeldResult CreateFolderIn(HANDLE parent, const wchar_t* name, size_t length,
                          PSECURITY_DESCRIPTOR descriptor, HANDLE* out);

// Creates the file `name` inside `parent` for writing. A name that exists as a plain file
// with one link is deleted first (through its own handle) and made afresh; anything else
// there (a folder, a link, a device or pipe, a file with more hard links) is refused and
// left as it is. The new file shares nothing until closed.
HeldResult CreateFileIn(HANDLE parent, const wchar_t* name, size_t length, HANDLE* out);

// Opens the plain file `name` inside `parent` for reading (sharing reading only), refusing
// a link, a folder or a device as CreateFileIn does.
HeldResult OpenFileIn(HANDLE parent, const wchar_t* name, size_t length, HANDLE* out);

// Opens the plain file `name` inside `parent` for reading and for deletion through the same
// handle (DeleteOpenedFile), refusing a link, a folder or a device as OpenFileIn does.
HeldResult OpenFileForRemovalIn(HANDLE parent, const wchar_t* name, size_t length, HANDLE* out);

// Marks the file open in `file` (with DELETE access) for deletion and closes the handle.
HeldResult DeleteOpenedFile(HANDLE file);

// Deletes the file `name` inside `parent` through a handle of its own. A link is refused
// (left as it is): deleting through a followed link would delete its target.
HeldResult DeleteFileIn(HANDLE parent, const wchar_t* name, size_t length);

// Removes the empty folder `name` inside `parent` through a handle of its own. With
// `expected` (not NULL), only when it is still that folder. A folder that is a link is
// refused; one that holds anything stays (HELD_NOT_EMPTY).
HeldResult RemoveFolderIn(HANDLE parent, const wchar_t* name, size_t length,
                          const FileIdentity* expected);

// Reads the attributes of `name` inside `parent` without opening it (a link is reported as
// a link, not as its target). Returns false when there is nothing by that name.
bool ReadAttributesIn(HANDLE parent, const wchar_t* name, size_t length, DWORD* attributes);

// Reads the owner and access list of `name` inside `parent` (`length` 0: of `parent`
// itself) through a handle of its own, opened relative to `parent` without following a
// link. `*descriptor` is to be freed with LocalFree. Returns false when it cannot be read.
bool ReadOwnerAndAccessIn(HANDLE parent, const wchar_t* name, size_t length,
                          PSECURITY_DESCRIPTOR* descriptor);
