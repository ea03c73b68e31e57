#include "uninstaller/first_phase.h"

#include <windows.h>
#include <shlwapi.h>

#include "common/bounded_text.h"
#include "common/installation_identity.h"
#include "common/shell_folders.h"
#include "uninstall_log/log_format.h"
#include "uninstall_log/log_reader.h"
#include "uninstaller/installation_lock.h"
#include "uninstaller/installation_scope.h"
#include "uninstaller/log_applications.h"
#include "uninstaller/log_file.h"
#include "uninstaller/relaunch.h"

namespace {

// wsprintfW writes at most 1024 units; three header fields of 255 fit the longest text.
constexpr unsigned kPromptCapacity = 1024;

// Asks whether to uninstall. True only for Yes.
bool ConfirmUninstall(const LogHeader& header) {
  wchar_t text[kPromptCapacity];
  wsprintfW(text,
            L"Welcome at the %s uninstaller. Make sure you have closed all running instances "
            L"of the program to ensure a complete uninstall.\n\nAre you sure you want to "
            L"uninstall %s %s?",
            header.product_name, header.product_name, header.product_version);
  return MessageBoxW(NULL, text, L"Uninstaller", MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// Asks the user to close the application while its main window exists. True when it is
// closed, false when the user gives up (after the abort message).
bool WaitUntilApplicationClosed(const LogHeader& header) {
  // A product without a main window has nothing to look for; an empty class would find
  // any window without one.
  if (header.window_class[0] == 0) return true;
  while (FindWindowW(header.window_class, NULL) != NULL) {
    wchar_t text[kPromptCapacity];
    wsprintfW(text, L"%s is still running, please close the application.",
              header.product_name);
    if (MessageBoxW(NULL, text, L"Message", MB_RETRYCANCEL | MB_ICONERROR) != IDRETRY) {
      MessageBoxW(NULL, L"Uninstall aborted. No changes were made.", L"Message",
                  MB_ICONWARNING);
      return false;
    }
  }
  return true;
}

// The installation folder is the one holding this program, in the normal form setup
// logged it in (long names even when started by a short 8.3 path); the log lies in it.
// `install_dir` (kPathCapacity units) is setup's name for the same folder; here it has no
// trailing backslash but a drive root's.
void FindInstallationFolder(wchar_t* install_dir) {
  wchar_t own_folder[kPathCapacity];
  DWORD own_length = GetModuleFileNameW(NULL, own_folder, kPathCapacity);
  if (own_length >= kPathCapacity) own_length = 0;  // cut: not our folder
  own_folder[own_length] = 0;
  PathRemoveFileSpecW(own_folder);
  NormalizeInstallationFolder(own_folder, install_dir);
}

// Reads the log in the held installation folder whole into `log`, with its three header
// fields. Without them nothing can be identified: returns false after telling the user,
// before anything is asked, started or changed.
bool ReadLogWithHeader(LogText* log, LogHeader* header, size_t* after_header) {
  if (ReadInstallationLogIn(HeldInstallationFolder(), log) == LOG_READ_COMPLETE &&
      SplitLogHeader(log->text, log->length, header, after_header)) {
    return true;
  }
  FreeLogText(log);
  ShowLogNotOpened();
  return false;
}

// Asks, waits for the application to be closed, lets the logged applications clean up and
// hands over the held `install_dir` to the copy made from `program`. Returns the exit
// code.
int ConfirmAndHandOver(const wchar_t* install_dir, bool interactive, const LogText& log,
                       const LogHeader& header, size_t after_header, HANDLE program) {
  if ((interactive && !ConfirmUninstall(header)) || !WaitUntilApplicationClosed(header)) {
    return 0;
  }
  RunLogApplications(log.text, log.length, after_header, StartInstalledApplication);
  // The applications may have cleaned up already; without the second phase the files stay,
  // and the user is told so.
  if (!StartSecondPhaseCopy(install_dir, HeldInstallationFolder(), program, interactive)) {
    if (interactive) ShowHandOverFailed();
    return 1;
  }
  return 0;
}

}  // namespace

int RunFirstPhase(bool interactive) {
  wchar_t install_dir[kPathCapacity];
  FindInstallationFolder(install_dir);

  // One uninstall of this folder at a time; held until this process ends, when the second
  // phase takes it over. A second start while one runs (a double click in Windows' list)
  // says so at once rather than waiting: after the wait it would ask again about what the
  // first is removing. Taken before the folders are held, which the first must remove.
  if (LockInstallation(install_dir, 0) == NULL) {
    ShowInstallationLocked();
    return 1;
  }
  // Its folders are held from the drive root down before the log in it is read, and until
  // this phase has handed over: none can be renamed or become a link meanwhile, and only
  // programs below this folder, the one its log lies in, are started.
  HoldResult held = HoldInstallationFolders(install_dir);
  if (held != HOLD_DONE) {
    ShowFolderNotHeld(held);
    return 1;
  }
  LogText log = {NULL, 0};
  LogHeader header;
  size_t after_header = 0;
  if (!ReadLogWithHeader(&log, &header, &after_header)) return 1;
  // Every check that can refuse the log is made now, before the question and before any
  // logged program runs its own clean-up: "No changes were made" holds for each refusal.
  if (!SetInstallationScope(install_dir, &header, GetSpecialFolder)) {
    FreeLogText(&log);
    ShowLogNotOpened();
    return 1;
  }
  if (!LogFitsScope(log.text, log.length, GetSpecialFolder)) {
    FreeLogText(&log);
    ShowScopeNotEstablished();
    return 1;
  }
  // The program that is copied for the second phase is the one checked now, held open
  // until then: nothing put under its name meanwhile is run in its place.
  HANDLE program = OpenRunningProgram(HeldInstallationFolder());
  int code = ConfirmAndHandOver(install_dir, interactive, log, header, after_header, program);
  if (program != NULL) CloseHandle(program);
  FreeLogText(&log);
  return code;
}
