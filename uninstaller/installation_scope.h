// What the uninstaller may act on. It runs with administrator rights, while its log may lie
// in a folder that users can change (a folder the user chose, which setup did not create):
// a record is applied only when a log that setup wrote for this installation can hold it,
// and only when no junction or symbolic link leads its path out of the folder it names.
#pragma once

#include <windows.h>

#include "common/bounded_text.h"
#include "common/held_folders.h"
#include "common/installation_identity.h"
#include "uninstall_log/log_reader.h"
#include "uninstaller/log_replay.h"

// Room for the product's registry subkey: the fixed part and two header fields.
constexpr unsigned kProductKeyCapacity = 64 + 2 * kLogFieldCapacity;


// The installation being removed. Process-wide: each phase sets it once, from its
// installation folder and the log's header, before it acts on any record.
struct InstallationScope {
  wchar_t folder[kPathCapacity];       // without trailing backslash; empty: nothing applies
  wchar_t product_key[kProductKeyCapacity];  // what the one `R` record may name, or empty
  wchar_t shortcut_folders[kShortcutFolderCount][kPathCapacity];  // with backslash, or empty
};
extern InstallationScope g_installation;

// Sets g_installation: `folder` in its normal form (NormalizeInstallationFolder), the
// product's key below HKEY_LOCAL_MACHINE (FormatUninstallKey) from `header` (NULL, or a
// field holding "\", gives no key), and the shortcut folders found through `lookup`.
// Returns false, leaving nothing in scope, when `folder` has no normal form (not absolute,
// or too long).
bool SetInstallationScope(const wchar_t* folder, const LogHeader* header,
                          SpecialFolderLookup lookup);

// Whether a record of kind `letter` whose resolved path is `path` is one that setup writes
// for the installation in g_installation:
//   `F`, `S`, `E`: a path below the installation folder;
//   `F`, `S`: a path below one of the shortcut folders;
//   `S`: the installation folder itself or a folder above it;
//   `R`: the product's key, when its UninstallString names this installation's
//   "uninstall.exe" (a forged header cannot name another product's key).
// No record may hold a "/": the link checks split paths at "\" only. Paths below a folder
// may hold no "..", "." or empty part and no ":". When the record may be applied,
// `*base_length` is the length of the part of `path` that is trusted as it stands (the
// installation folder, which HoldInstallationFolders holds, or a shortcut folder): every
// folder of `path` that ends after it is opened relative to the one above it and must be
// free of links. For an `S` record naming the installation folder or a folder above it
// (which is checked before the shortcut folders), and for `R`, it is the whole length.
bool IsRecordInScope(wchar_t letter, const wchar_t* path, size_t* base_length);

// Holds every folder from the drive root down to the installation folder `folder` (in
// normal form), for as long as the phase works there: none can be renamed or swapped for a
// link meanwhile (they share reading and writing, so other programs may still add and
// remove files in them). Returns HOLD_DONE, or, holding nothing, HOLD_MISSING (a level is
// missing), HOLD_LINK (a level is a junction or symbolic link) or HOLD_FAILED.
HoldResult HoldInstallationFolders(const wchar_t* folder);

// Whether the log `text` (`length` units) can be this installation's (g_installation): it
// holds no record at all (a log setup began and never wrote to), or at least one complete
// record that IsRecordInScope accepts. A log copied from another installation has records
// and none of them here. Records are resolved through `lookup`.
bool LogFitsScope(const wchar_t* text, size_t length, SpecialFolderLookup lookup);

// The installation folder that HoldInstallationFolders holds; NULL when it is not held
// (never held, removed, or let go so that a folder above it could be removed). Whatever the
// phase opens, reads, starts or deletes below it is reached through this handle.
HANDLE HeldInstallationFolder();

// After the replay of a Run Once installation of `product_name` (FindRunOncePrivateFolder):
// removes the installation folder and then the private folder it was made in, each through
// its held parent and only if it is empty. What the product or the user left there stays.
void RemoveRunOncePrivateFolder(const wchar_t* product_name);

// Releases what HoldInstallationFolders and the record actions hold, and forgets the files
// the record actions left.
void ReleaseInstallationFolders();

// The second phase's record action, for records in scope (IsRecordInScope) only; the
// others change nothing. Every file and folder is reached through the held folder above it:
//   `F` and `S` below the installation folder: through the held installation folder, each
//   folder on the way opened relative to the one above it (no link followed) and held until
//   a record on another way needs others;
//   `F` and `S` below a shortcut folder: the same below that folder, which is trusted as it
//   stands: opened by its path once, then held for the phase;
//   `S` naming the installation folder or one above it: that held level itself;
//   `R`: the product's key below HKEY_LOCAL_MACHINE.
// `S` removes the folder if it is empty: its hold is closed, and it is reopened by name in
// its held parent and removed only if it is still the folder held (held_removal.h); one
// that stays is tried again after short pauses, 100 ms in all. A folder that is removed,
// or no longer the one held, is not held again, and no record below it is applied
// afterwards.
// A file of the installation that cannot be deleted (in use) is scheduled for removal at
// restart where no user can rename a folder on its path (restart_removal.h), and left
// otherwise; a folder of the installation that stays because of such files goes at
// restart with them, or stays. Returns what became of the record (log_replay.h).
RecordOutcome ApplyInstallationRecord(wchar_t letter, const wchar_t* path);

// The first phase's application starter: starts an `E` record's program that lies below
// the held installation folder through folders free of links, holding those folders and
// the program file itself (a plain file, no link) while it is started, and waits for it;
// starts nothing otherwise.
void StartInstalledApplication(const wchar_t* path);
