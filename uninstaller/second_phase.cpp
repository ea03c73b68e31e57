#include "uninstaller/second_phase.h"

#include <windows.h>
#include <shlwapi.h>

#include "common/bounded_text.h"
#include "common/held_files.h"
#include "common/installation_identity.h"
#include "common/shell_folders.h"
#include "uninstall_log/log_format.h"
#include "uninstall_log/log_reader.h"
#include "uninstaller/hand_over.h"
#include "uninstaller/installation_lock.h"
#include "uninstaller/installation_scope.h"
#include "uninstaller/log_file.h"
#include "uninstaller/log_replay.h"

namespace {

// Reads the log in the held installation folder `folder` whole into `log` and establishes
// what it may remove: the folder must have its normal form, and the log its header and,
// unless it holds no record at all, records of this installation (a log cut short by an
// install that never finished still counts: its complete records are applied). Returns
// false, after telling an interactive user why, when it cannot; nothing is removed then,
// and a log not read whole stays, so no record is lost.
bool ReadOwnLog(const wchar_t* folder, bool interactive, LogText* log, LogHeader* header) {
  if (ReadInstallationLogIn(HeldInstallationFolder(), log) != LOG_READ_COMPLETE) {
    if (interactive) ShowLogNotOpened();
    return false;
  }
  size_t after_header = 0;
  if (!SplitLogHeader(log->text, log->length, header, &after_header) ||
      !SetInstallationScope(folder, header, GetSpecialFolder) ||
      !LogFitsScope(log->text, log->length, GetSpecialFolder)) {
    FreeLogText(log);
    if (interactive) ShowScopeNotEstablished();
    return false;
  }
  return true;
}

// The log and the uninstaller in the installation folder: a retry needs both while
// anything stays, so their records are put off until the other files are done.
const wchar_t* const kOwnFiles[] = {INSTALLED_UNINSTALLER_NAME, UNINSTALL_LOG_NAME};
constexpr unsigned kOwnFileCount = sizeof(kOwnFiles) / sizeof(kOwnFiles[0]);
// Which of kOwnFiles a record of the log being applied names: only those go.
bool g_own_file_named[kOwnFileCount];

// The index in kOwnFiles of the file `path` names, or kOwnFileCount for none.
unsigned OwnFileIndex(const wchar_t* path) {
  size_t length = (size_t)lstrlenW(g_installation.folder);
  if (StrCmpNIW(path, g_installation.folder, (int)length) != 0 || path[length] != L'\\') {
    return kOwnFileCount;
  }
  unsigned index = 0;
  while (index < kOwnFileCount && StrCmpIW(path + length + 1, kOwnFiles[index]) != 0) ++index;
  return index;
}

// ApplyInstallationRecord, but the records of the log and the uninstaller are put off
// (RemoveOwnFiles).
RecordOutcome ApplyPuttingOffOwnFiles(wchar_t letter, const wchar_t* path) {
  unsigned own = letter == LOG_RECORD_FILE ? OwnFileIndex(path) : kOwnFileCount;
  if (own == kOwnFileCount) return ApplyInstallationRecord(letter, path);
  g_own_file_named[own] = true;
  return RECORD_KEPT;
}

// Deletes the installation's uninstaller, if a record named it, and the log, which this
// phase read; one that stays is counted in `*tally`.
void RemoveOwnFiles(ReplayTally* tally) {
  for (unsigned i = 0; i < kOwnFileCount; ++i) {
    if (!g_own_file_named[i]) continue;
    size_t length = (size_t)lstrlenW(kOwnFiles[i]);
    HeldResult result = DeleteFileIn(HeldInstallationFolder(), kOwnFiles[i], length);
    DWORD attributes = 0;
    if (result != HELD_DONE &&
        ReadAttributesIn(HeldInstallationFolder(), kOwnFiles[i], length, &attributes)) {
      ++tally->stays;
    }
  }
}

// Applies the log `log` of the held installation: files first, then, when none stays, the
// uninstaller and the log; then the folders; and only when nothing stays the product's key,
// so that Windows' list can start the uninstall again for what remains. Returns what stayed.
ReplayTally ApplyLog(const LogText& log) {
  ReplayTally tally = {0, 0};
  for (bool& named : g_own_file_named) named = false;
  g_own_file_named[kOwnFileCount - 1] = true;  // the log
  static const wchar_t kFiles[] = {LOG_RECORD_FILE, 0};
  static const wchar_t kFolders[] = {LOG_RECORD_FOLDER, 0};
  static const wchar_t kKeys[] = {LOG_RECORD_REGISTRY, 0};
  ReplayLogKinds(log.text, log.length, GetSpecialFolder, ApplyPuttingOffOwnFiles, kFiles, &tally);
  if (tally.stays == 0) RemoveOwnFiles(&tally);
  // Folder records last: a folder's removal lets go of that folder, and no record may
  // reach into it afterwards (log_replay.h).
  ReplayLogKinds(log.text, log.length, GetSpecialFolder, ApplyInstallationRecord, kFolders,
                 &tally);
  if (tally.stays == 0) {
    ReplayLogKinds(log.text, log.length, GetSpecialFolder, ApplyInstallationRecord, kKeys, &tally);
  }
  return tally;
}

// With the installation folder `folder` held: takes over from the first phase, reads the
// log and removes what it names. Returns the exit code; `*tally` tells what stayed.
int RemoveHeldInstallation(const wchar_t* folder, bool interactive, ReplayTally* tally) {
  // The folder held now must be the one the first phase held until this moment; only then
  // does the first phase end, and only after its end is anything removed.
  if (!TakeOverFromFirstPhase(HeldInstallationFolder())) {
    if (interactive) ShowInstallationFolderChanged();
    return 1;
  }
  // The first phase, which held the lock, has ended: another uninstall of this folder
  // started meanwhile is waited for, never run beside.
  HANDLE lock = LockInstallation(folder, kInstallationLockWaitMs);
  if (lock == NULL) {
    if (interactive) ShowInstallationLocked();
    return 1;
  }
  LogText log = {NULL, 0};
  LogHeader header;
  if (!ReadOwnLog(folder, interactive, &log, &header)) {
    CloseHandle(lock);
    return 1;
  }
  *tally = ApplyLog(log);
  FreeLogText(&log);
  RemoveRunOncePrivateFolder(header.product_name);
  CloseHandle(lock);
  return tally->stays > 0 ? kExitSomethingStays : 0;
}

// The last box: all gone, or what could not be removed now, where, and whether it goes at
// restart or the user is to uninstall again once the programs using it have ended.
void ShowUninstallEnd(const wchar_t* folder, const ReplayTally& tally) {
  if (tally.stays == 0 && tally.at_restart == 0) {
    MessageBoxW(NULL, L"Uninstall completed, thank you for using KOZ Soft products", L"Done",
                MB_OK);
    return;
  }
  wchar_t text[kPathCapacity + 256];
  const wchar_t* format =
      tally.stays > 0
          ? L"Some items could not be removed now, they stay in %s. Close the programs that use "
            L"them, then uninstall again from the list of installed programs."
          : L"Uninstall completed, but some items in %s are in use, they will be removed when "
            L"Windows restarts.";
  wnsprintfW(text, sizeof(text) / sizeof(text[0]), format, folder);
  MessageBoxW(NULL, text, L"Done", tally.stays > 0 ? MB_ICONWARNING : MB_OK);
}

}  // namespace

int RunSecondPhase(int count, wchar_t** arguments) {
  if (count < 3 || StrCmpIW(arguments[2], SWITCH_PHASE2) != 0) return 1;
  // Only exactly one further argument "/SILENT" silences the phase.
  bool interactive = !(count == 4 && StrCmpIW(arguments[3], SWITCH_SILENT) == 0);

  // The folder as setup logged it, and its folders held from the drive root down before
  // anything in it is read. A folder without a normal form holds no log.
  wchar_t folder[kPathCapacity];
  if (!NormalizeInstallationFolder(arguments[1], folder)) {
    if (interactive) ShowLogNotOpened();
    return 1;
  }
  HoldResult held = HoldInstallationFolders(folder);
  if (held != HOLD_DONE) {
    if (interactive) ShowFolderNotHeld(held);
    return 1;
  }
  ReplayTally tally = {0, 0};
  int code = RemoveHeldInstallation(folder, interactive, &tally);
  ReleaseInstallationFolders();
  if (code != 1 && interactive) ShowUninstallEnd(folder, tally);
  return code;
}
