#include "uninstaller/relaunch.h"

#include <windows.h>
#include <shellapi.h>

#include "common/bounded_text.h"
#include "common/private_folder.h"

namespace {

// Room for the quoted folder (259, and a root's doubled backslash), "/PHASE2", " /SILENT "
// and the terminator.
constexpr unsigned kPhaseParametersCapacity = 293;

// Starts the copy in `folder` for the second phase. True when it was started.
bool StartCopy(const wchar_t* copy_path, const wchar_t* folder, const wchar_t* install_folder,
               bool interactive) {
  wchar_t parameters[kPhaseParametersCapacity] = L"\"";
  AppendText(parameters, kPhaseParametersCapacity, install_folder);
  // A drive root keeps its backslash ("C:\"); doubled before the closing quote, it reads
  // back as one backslash instead of escaping the quote.
  int length = lstrlenW(install_folder);
  if (length > 0 && install_folder[length - 1] == L'\\') {
    AppendText(parameters, kPhaseParametersCapacity, L"\\");
  }
  AppendText(parameters, kPhaseParametersCapacity, L"\" /PHASE2");
  if (!interactive) AppendText(parameters, kPhaseParametersCapacity, L" /SILENT ");
  // Not waited for: the second phase's opening pause lets this process end first.
  return (INT_PTR)ShellExecuteW(NULL, NULL, copy_path, parameters, folder, SW_SHOW) > 32;
}

}  // namespace

bool StartSecondPhaseCopy(const wchar_t* install_folder, bool interactive) {
  wchar_t own_path[kPathCapacity];
  DWORD own_length = GetModuleFileNameW(NULL, own_path, kPathCapacity);
  if (own_length == 0 || own_length >= kPathCapacity) return false;

  const unsigned name_length = sizeof(SECOND_PHASE_COPY_NAME) / sizeof(wchar_t) - 1;
  wchar_t folder[kPathCapacity];
  // Held from the folder's creation until this process ends, when the second phase has it
  // as its working directory: nobody can rename the folder or slip another one in under
  // its name between the copy and the start.
  HANDLE hold;
  if (!CreatePrivateFolder(folder, name_length, &hold, PRIVATE_IN_SYSTEM_TEMP)) return false;
  wchar_t copy_path[kPathCapacity];
  CopyText(copy_path, kPathCapacity, folder);
  AppendText(copy_path, kPathCapacity, L"\\" SECOND_PHASE_COPY_NAME);

  // The copy never replaces an existing file.
  bool started = SetCurrentDirectoryW(folder) && CopyFileW(own_path, copy_path, TRUE) &&
                 StartCopy(copy_path, folder, install_folder, interactive);
  if (!started) {
    // Nothing runs from the folder: remove it now, leaving it first.
    DeleteFileW(copy_path);
    SetCurrentDirectoryW(L"..");
    CloseHandle(hold);
    RemoveDirectoryW(folder);
    return false;
  }
  // The running copy can only go at the next restart: the file first, then its folder,
  // which is empty by then. Only what this run made is named. Failures to schedule are
  // ignored: the files are harmless.
  MoveFileExW(copy_path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
  MoveFileExW(folder, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
  return true;
}

void ShowHandOverFailed() {
  MessageBoxW(NULL, HAND_OVER_FAILED_MESSAGE, L"Fatal error", MB_ICONERROR);
}
