#include "uninstaller/relaunch.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include "engine/special_folders.h"
#include "uninstaller/bounded_text.h"

// Room for the quoted folder (259), "/PHASE2", " /SILENT " and the terminator.
constexpr unsigned kPhaseParametersCapacity = 292;

void StartSecondPhaseCopy(const wchar_t* install_folder, bool interactive) {
  wchar_t own_path[kPathCapacity];
  DWORD own_length = GetModuleFileNameW(NULL, own_path, kPathCapacity);
  if (own_length == 0 || own_length >= kPathCapacity) return;

  wchar_t copy_path[kPathCapacity];
  DWORD temp_length = GetTempPathW(kPathCapacity, copy_path);
  if (temp_length == 0 || temp_length >= kPathCapacity) return;
  // The second phase inherits this working directory, so it holds nothing open in the
  // installation folder.
  PathRemoveBackslashW(copy_path);
  SetCurrentDirectoryW(copy_path);
  PathAddBackslashW(copy_path);
  if (!AppendText(copy_path, kPathCapacity, SECOND_PHASE_COPY_NAME)) return;

  // An existing copy from an earlier uninstall is overwritten; a failed copy is not
  // reported.
  CopyFileW(own_path, copy_path, FALSE);

  wchar_t parameters[kPhaseParametersCapacity] = L"\"";
  AppendText(parameters, kPhaseParametersCapacity, install_folder);
  AppendText(parameters, kPhaseParametersCapacity, L"\" /PHASE2");
  if (!interactive) AppendText(parameters, kPhaseParametersCapacity, L" /SILENT ");

  // Not waited for: the second phase's opening pause lets this process end first. Both
  // results are ignored; a copy that does not start leaves the installation in place.
  ShellExecuteW(NULL, NULL, copy_path, parameters, NULL, SW_SHOW);
  MoveFileExW(copy_path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
}
