#include "uninstaller/second_phase.h"

#include <windows.h>
#include <shlwapi.h>

#include "common/bounded_text.h"
#include "common/installation_identity.h"
#include "common/shell_folders.h"
#include "uninstall_log/log_format.h"
#include "uninstall_log/log_reader.h"
#include "uninstaller/installation_scope.h"
#include "uninstaller/log_file.h"
#include "uninstaller/log_replay.h"

// The only hand-over between the phases: by then the first phase, which started this
// copy, has ended and its "uninstall.exe" can be deleted.
constexpr DWORD kPhaseHandOverPauseMs = 1500;

namespace {

// Reads the log in `folder` whole into `log` (its path to `log_path`) and establishes what
// it may remove: the folder must have its normal form and the log must be the one setup
// wrote for it, header and own record. Returns false, after telling an interactive user
// why, when it cannot; nothing is removed then, and a log not read whole stays, so no
// record is lost.
bool ReadOwnLog(const wchar_t* folder, bool interactive, wchar_t* log_path, LogText* log,
                LogHeader* header) {
  if (ReadInstallationLog(folder, log_path, log) != LOG_READ_COMPLETE) {
    if (interactive) ShowLogNotOpened();
    return false;
  }
  size_t after_header = 0;
  if (!SplitLogHeader(log->text, log->length, header, &after_header) ||
      !SetInstallationScope(folder, header, GetSpecialFolder) ||
      !LogBelongsToScope(log->text, log->length)) {
    FreeLogText(log);
    if (interactive) ShowScopeNotEstablished();
    return false;
  }
  return true;
}

}  // namespace

int RunSecondPhase(int count, wchar_t** arguments) {
  Sleep(kPhaseHandOverPauseMs);
  if (count < 3 || StrCmpIW(arguments[2], L"/PHASE2") != 0) return 1;
  // Only exactly one further argument "/SILENT" silences the phase.
  bool interactive = !(count == 4 && StrCmpIW(arguments[3], L"/SILENT") == 0);

  // The folder as setup logged it, and its folders held from the drive root down before
  // anything in it is read: the first phase checked them, but someone may have swapped one
  // for a link since it ended.
  wchar_t folder[kPathCapacity];
  if (NormalizeInstallationFolder(arguments[1], folder) && !HoldInstallationFolders(folder)) {
    if (interactive) ShowFolderBehindLink();
    return 1;
  }
  wchar_t log_path[kPathCapacity];
  LogText log = {NULL, 0};
  LogHeader header;
  if (!ReadOwnLog(folder, interactive, log_path, &log, &header)) return 1;
  // Deleted before any record is applied; its own `F` record then finds nothing. The
  // result is ignored: removal is best effort.
  DeleteFileW(log_path);
  ReplayLog(log.text, log.length, GetSpecialFolder, ApplyInstallationRecord);
  FreeLogText(&log);
  RemoveRunOncePrivateFolder(header.product_name);
  ReleaseInstallationFolders();

  if (interactive) {
    MessageBoxW(NULL, L"Uninstall completed, thank you for using KOZ Soft products", L"Done",
                MB_OK);
  }
  return 0;
}
