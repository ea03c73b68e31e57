#include "uninstaller/hand_over.h"

#include <sddl.h>
#include <shlwapi.h>

#include "common/bounded_text.h"
#include "common/held_folders.h"
#include "common/private_folder.h"

namespace {

const unsigned kHandOverNameLength = sizeof(HAND_OVER_FILE_NAME) / sizeof(wchar_t) - 1;

// The event's access list when elevated: SYSTEM and Administrators only, so no unelevated
// process can open it, signal it or wait on it.
#define EVENT_ADMINISTRATORS_ONLY_SDDL L"O:BAD:P(A;;GA;;;SY)(A;;GA;;;BA)"

// Holds the folder of the running program from the drive root down (no level a link) in
// `held`. True when it is held.
bool HoldOwnFolder(HeldFolders* held) {
  wchar_t folder[kPathCapacity];
  DWORD length = GetModuleFileNameW(NULL, folder, kPathCapacity);
  if (length == 0 || length >= kPathCapacity) return false;
  PathRemoveFileSpecW(folder);
  return HoldFolderLevels(held, folder, 0, true, NULL) == HOLD_DONE;
}

// Reads the hand-over beside the running program and deletes it: it has served once.
bool TakeOwnHandOver(HandOver* hand_over) {
  HeldFolders own;
  ZeroMemory(&own, sizeof(own));
  bool read = HoldOwnFolder(&own) && ReadHandOverIn(DeepestHeldFolder(&own), hand_over);
  // Best effort: the first phase deletes it too once it has been answered.
  if (read) DeleteFileIn(DeepestHeldFolder(&own), HAND_OVER_FILE_NAME, kHandOverNameLength);
  ReleaseHeldFolders(&own);
  return read;
}

}  // namespace

bool WriteHandOverIn(HANDLE folder, const HandOver& hand_over) {
  HANDLE file;
  if (CreateFileIn(folder, HAND_OVER_FILE_NAME, kHandOverNameLength, &file) != HELD_DONE) {
    return false;
  }
  DWORD written = 0;
  bool whole = WriteFile(file, &hand_over, sizeof(hand_over), &written, NULL) &&
               written == sizeof(hand_over);
  CloseHandle(file);
  return whole;
}

bool ReadHandOverIn(HANDLE folder, HandOver* hand_over) {
  HANDLE file;
  if (OpenFileIn(folder, HAND_OVER_FILE_NAME, kHandOverNameLength, &file) != HELD_DONE) {
    return false;
  }
  // One more byte than a hand-over asked for: a longer file is no hand-over.
  BYTE buffer[sizeof(HandOver) + 1];
  DWORD read = 0;
  bool exact = ReadFile(file, buffer, sizeof(buffer), &read, NULL) && read == sizeof(HandOver);
  CloseHandle(file);
  if (!exact) return false;
  CopyMemory(hand_over, buffer, sizeof(HandOver));
  const FileIdentity& identity = hand_over->installation;
  bool terminated = false;
  for (wchar_t unit : hand_over->event_name) terminated = terminated || unit == 0;
  return hand_over->marker == kHandOverMarker && terminated &&
         (identity.volume != 0 || identity.index_high != 0 || identity.index_low != 0);
}

HANDLE CreateHandOverEvent(HandOver* hand_over) {
  hand_over->event_name[0] = 0;
  PSECURITY_DESCRIPTOR descriptor = NULL;
  if (RunsAsAdministrator() &&
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(EVENT_ADMINISTRATORS_ONLY_SDDL,
                                                            SDDL_REVISION_1, &descriptor, NULL)) {
    return NULL;
  }
  SECURITY_ATTRIBUTES attributes = {sizeof(attributes), descriptor, FALSE};
  // The clock, this process and where its stack lies; a name someone else made first is
  // never used (it could be theirs to signal), the next one is tried instead.
  DWORD seed = GetTickCount() ^ GetCurrentProcessId() ^ (DWORD)(ULONG_PTR)&attributes;
  HANDLE event = NULL;
  for (unsigned attempt = 0; event == NULL && attempt < kPrivateFolderAttempts; ++attempt) {
    wchar_t name[kHandOverEventCapacity];
    FormatPrivateFolderName(seed, attempt, name);
    AppendText(name, kHandOverEventCapacity, L"-hand-over");
    event = CreateEventW(&attributes, TRUE, FALSE, name);
    if (event != NULL && GetLastError() == ERROR_ALREADY_EXISTS) {
      CloseHandle(event);
      event = NULL;
    } else if (event != NULL) {
      CopyText(hand_over->event_name, kHandOverEventCapacity, name);
    }
  }
  if (descriptor != NULL) LocalFree(descriptor);
  return event;
}

void WaitForSecondPhaseHold(HANDLE event, HANDLE copy) {
  HANDLE waits[2];
  DWORD count = 0;
  if (event != NULL) waits[count++] = event;
  if (copy != NULL) waits[count++] = copy;
  if (count > 0) WaitForMultipleObjects(count, waits, FALSE, kHandOverWaitMs);
}

bool TakeOverFromFirstPhase(HANDLE installation) {
  HandOver hand_over;
  if (!TakeOwnHandOver(&hand_over)) return false;
  FileIdentity held;
  if (installation == NULL || !ReadFileIdentity(installation, &held) ||
      !SameFileIdentity(held, hand_over.installation)) {
    return false;
  }
  // Opened before the signal: until then the first phase waits, so the id is still its own.
  HANDLE first_phase = hand_over.first_phase_id != 0
                           ? OpenProcess(SYNCHRONIZE, FALSE, hand_over.first_phase_id)
                           : NULL;
  if (hand_over.event_name[0] != 0) {
    HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, hand_over.event_name);
    if (event != NULL) {
      SetEvent(event);
      CloseHandle(event);
    }
  }
  // Its holds go with it; a first phase that cannot be opened has ended already.
  if (first_phase != NULL) {
    WaitForSingleObject(first_phase, kHandOverWaitMs);
    CloseHandle(first_phase);
  }
  return true;
}

void ShowInstallationFolderChanged() {
  MessageBoxW(NULL,
              L"The installation folder changed while the uninstaller was starting, uninstall "
              L"aborted!",
              L"Fatal error", MB_ICONERROR);
}
