// The hand-over between the two phases. The first phase holds the installation folder and
// its parents until the second phase holds them too and has checked that they are the very
// folder the first phase held; only then does the first phase end, and only after its end
// does the second phase remove anything. Nobody can swap the folder in between: at every
// moment one of the two phases holds it. The command line stays as it is (its argument
// count chooses the phase and the mode): the rest goes through a file that the first phase
// writes into its copy's private folder, where only administrators can write.
#pragma once

#include <windows.h>

#include "common/held_files.h"

// The hand-over file's name, beside the copy in its private folder.
#define HAND_OVER_FILE_NAME L"koz_hand_over.dat"

// Room for the event's name, terminator included.
constexpr unsigned kHandOverEventCapacity = 32;

// How long either phase waits for the other: long enough for a loaded machine to start the
// copy, short enough that a phase that died is not waited for without end.
constexpr DWORD kHandOverWaitMs = 60000;

// What the first phase tells the second.
struct HandOver {
  DWORD marker;                 // kHandOverMarker: a file written as a hand-over
  DWORD first_phase_id;         // the first phase's process id, 0 when none waits
  FileIdentity installation;    // the installation folder as the first phase held it
  wchar_t event_name[kHandOverEventCapacity];  // signalled by the second phase; may be empty
};
constexpr DWORD kHandOverMarker = 0x484B4F5A;  // "ZOKH"

// Writes `hand_over` as the file HAND_OVER_FILE_NAME inside the held folder `folder`.
// Returns false when it could not be written whole.
bool WriteHandOverIn(HANDLE folder, const HandOver& hand_over);

// Reads the hand-over file inside the held folder `folder` into `*hand_over`. Returns
// false when there is none, it is not exactly one hand-over, its event name is not
// terminated, or the identity it names is all zeros (which tells no folder from another).
bool ReadHandOverIn(HANDLE folder, HandOver* hand_over);

// The first phase's side: creates the event that the second phase is to signal, under a
// name nobody else took, open to administrators only when elevated, and puts its name into
// `hand_over->event_name`. Returns the event (NULL when none could be made).
HANDLE CreateHandOverEvent(HandOver* hand_over);

// The first phase's wait once the copy runs: until `event` is signalled (the second phase
// holds the installation and found it unchanged) or `copy` has ended (it refused, or died),
// at most kHandOverWaitMs.
void WaitForSecondPhaseHold(HANDLE event, HANDLE copy);

// The second phase's side, with the installation folder held as `installation`: reads the
// hand-over beside the running program (and deletes it), checks that `installation` is the
// folder the first phase held, then signals the first phase and waits (at most
// kHandOverWaitMs) for it to end, so its holds are gone before anything is removed.
// Returns false, without signalling, when there is no hand-over or the folder is another.
bool TakeOverFromFirstPhase(HANDLE installation);

// The "Fatal error" box of a second phase whose installation folder is not the one the
// first phase held: "The installation folder changed while the uninstaller was starting,
// uninstall aborted!"
void ShowInstallationFolderChanged();
