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
// install that never finished still counts: its complete records are applied). Returns false, after telling an interactive
// user why, when it cannot; nothing is removed then, and a log not read whole stays, so no
// record is lost.
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

// With the installation folder `folder` held: takes over from the first phase, reads the
// log and removes what it names. Returns the exit code.
int RemoveHeldInstallation(const wchar_t* folder, bool interactive) {
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
  // Deleted before any record is applied; its own `F` record then finds nothing. The
  // result is ignored: removal is best effort.
  const unsigned log_name_length = sizeof(UNINSTALL_LOG_NAME) / sizeof(wchar_t) - 1;
  DeleteFileIn(HeldInstallationFolder(), UNINSTALL_LOG_NAME, log_name_length);
  // Folder records last: a folder's removal lets go of that folder, and no record may
  // reach into it afterwards (log_replay.h).
  ReplayLogFoldersLast(log.text, log.length, GetSpecialFolder, ApplyInstallationRecord);
  FreeLogText(&log);
  RemoveRunOncePrivateFolder(header.product_name);
  CloseHandle(lock);
  return 0;
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
  int code = RemoveHeldInstallation(folder, interactive);
  ReleaseInstallationFolders();
  if (code == 0 && interactive) {
    MessageBoxW(NULL, L"Uninstall completed, thank you for using KOZ Soft products", L"Done",
                MB_OK);
  }
  return code;
}
