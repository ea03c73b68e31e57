#include "uninstaller/relaunch.h"

#include <shellapi.h>
#include <shlwapi.h>

#include "common/bounded_text.h"
#include "common/installation_identity.h"
#include "common/shell_start.h"
#include "common/held_files.h"
#include "common/held_folders.h"
#include "common/private_folder.h"
#include "uninstaller/hand_over.h"
#include "uninstaller/held_removal.h"

namespace {

// Room for the quoted folder (259, and a root's doubled backslash), "/PHASE2", " /SILENT "
// and the terminator.
constexpr unsigned kPhaseParametersCapacity = 293;

constexpr unsigned kCopyNameLength = sizeof(SECOND_PHASE_COPY_NAME) / sizeof(wchar_t) - 1;
constexpr unsigned kHandOverNameLength = sizeof(HAND_OVER_FILE_NAME) / sizeof(wchar_t) - 1;

// The copy is written in pieces of this size.
constexpr DWORD kCopyChunkBytes = 65536;

// From the drive root down to the copy's private folder, held until this process ends:
// the copy is written, started and scheduled for deletion by its path while none of these
// folders can be renamed or be a link.
HeldFolders g_copy_folders;

// The running program's name in its folder, in its long form (it may have been started by
// a short 8.3 path), into `name` (kPathCapacity units).
bool FindOwnName(wchar_t* name) {
  wchar_t own[kPathCapacity], long_path[kPathCapacity];
  DWORD length = GetModuleFileNameW(NULL, own, kPathCapacity);
  if (length == 0 || length >= kPathCapacity) return false;
  DWORD long_length = GetLongPathNameW(own, long_path, kPathCapacity);
  const wchar_t* path = long_length > 0 && long_length < kPathCapacity ? long_path : own;
  const wchar_t* separator = StrRChrW(path, NULL, L'\\');
  return separator != NULL && CopyText(name, kPathCapacity, separator + 1);
}

// Copies the file behind `source`, from its start, into the held folder `to` as the copy,
// through that folder's handle. True when every byte was written.
bool CopyProgram(HANDLE source, HANDLE to) {
  HANDLE target;
  if (SetFilePointer(source, 0, NULL, FILE_BEGIN) != 0 ||
      CreateFileIn(to, SECOND_PHASE_COPY_NAME, kCopyNameLength, &target) != HELD_DONE) {
    return false;
  }
  void* buffer = HeapAlloc(GetProcessHeap(), 0, kCopyChunkBytes);
  bool copied = buffer != NULL;
  for (DWORD read = 1; copied && read > 0;) {
    DWORD written = 0;
    copied = ReadFile(source, buffer, kCopyChunkBytes, &read, NULL) &&
             (read == 0 || (WriteFile(target, buffer, read, &written, NULL) && written == read));
  }
  if (buffer != NULL) HeapFree(GetProcessHeap(), 0, buffer);
  CloseHandle(target);
  return copied;
}

// Starts the copy in the held private folder `folder` for the second phase, holding the
// copy's file open for the start (its name cannot lead to another file meanwhile). True
// when it was started; `*process` is its process, or NULL when the start gave none.
bool StartCopy(const wchar_t* folder, const wchar_t* copy_path, const wchar_t* install_dir,
               bool interactive, HANDLE* process) {
  *process = NULL;
  wchar_t parameters[kPhaseParametersCapacity] = L"\"";
  AppendText(parameters, kPhaseParametersCapacity, install_dir);
  // A drive root keeps its backslash ("C:\"); doubled before the closing quote, it reads
  // back as one backslash instead of escaping the quote.
  int length = lstrlenW(install_dir);
  if (length > 0 && install_dir[length - 1] == L'\\') {
    AppendText(parameters, kPhaseParametersCapacity, L"\\");
  }
  AppendText(parameters, kPhaseParametersCapacity, L"\" " SWITCH_PHASE2);
  if (!interactive) AppendText(parameters, kPhaseParametersCapacity, L" " SWITCH_SILENT L" ");

  HANDLE program;
  if (OpenFileIn(DeepestHeldFolder(&g_copy_folders), SECOND_PHASE_COPY_NAME, kCopyNameLength,
                 &program) != HELD_DONE) {
    return false;
  }
  // Without the copy's process there is nothing to hand over to.
  *process = StartThroughShell(copy_path, parameters, folder, NULL, NULL);
  CloseHandle(program);
  return *process != NULL;
}

// Removes what this run made for a second phase that does not run: the copy and the
// hand-over through the private folder's held handle, then the folder through its held
// parent, if it is still the one made. `hold`, the folder's own hold, is closed. Without the
// chain down to the folder nothing can have been written in it; the empty folder stays.
void RemoveCopyFolder(const wchar_t* folder, HANDLE hold) {
  HeldFolders& chain = g_copy_folders;
  bool held = chain.count > 0 && chain.ends[chain.count - 1] == (size_t)lstrlenW(folder);
  if (held) {
    HANDLE inside = DeepestHeldFolder(&chain);
    DeleteFileIn(inside, SECOND_PHASE_COPY_NAME, kCopyNameLength);
    DeleteFileIn(inside, HAND_OVER_FILE_NAME, kHandOverNameLength);
  }
  // The folder's own hold shares no deletion.
  CloseHandle(hold);
  // Best effort: an empty folder that stays is harmless.
  if (held) RemoveDeepestHeldFolder(&chain);
  ReleaseHeldFolders(&chain);
}

}  // namespace

HANDLE OpenRunningProgram(HANDLE installation) {
  wchar_t name[kPathCapacity];
  HANDLE program;
  if (installation == NULL || !FindOwnName(name) ||
      OpenFileIn(installation, name, (size_t)lstrlenW(name), &program) != HELD_DONE) {
    return NULL;
  }
  return program;
}

bool StartSecondPhaseCopy(const wchar_t* install_dir, HANDLE installation, HANDLE program,
                          bool interactive) {
  HandOver hand_over;
  ZeroMemory(&hand_over, sizeof(hand_over));
  hand_over.marker = kHandOverMarker;
  hand_over.first_phase_id = GetCurrentProcessId();
  if (installation == NULL || program == NULL ||
      !ReadFileIdentity(installation, &hand_over.installation)) {
    return false;
  }

  wchar_t folder[kPathCapacity];
  // Held from the folder's creation until this process ends, and then by the second
  // phase's working directory and program: nobody can rename it or slip another one in
  // under its name.
  HANDLE hold;
  if (!CreatePrivateFolder(folder, kCopyNameLength, &hold, PRIVATE_IN_SYSTEM_TEMP)) return false;
  wchar_t copy_path[kPathCapacity];
  CopyText(copy_path, kPathCapacity, folder);
  AppendText(copy_path, kPathCapacity, L"\\" SECOND_PHASE_COPY_NAME);

  // The copy never replaces a file: the folder is new, and only this process writes in it.
  HANDLE event = NULL, process = NULL;
  bool started = HoldFolderLevels(&g_copy_folders, folder, 0, true, NULL) == HOLD_DONE &&
                 CopyProgram(program, DeepestHeldFolder(&g_copy_folders)) &&
                 (event = CreateHandOverEvent(&hand_over)) != NULL &&
                 WriteHandOverIn(DeepestHeldFolder(&g_copy_folders), hand_over) &&
                 StartCopy(folder, copy_path, install_dir, interactive, &process);
  if (!started) {
    if (event != NULL) CloseHandle(event);
    RemoveCopyFolder(folder, hold);
    return false;
  }
  // The running copy can only go at the next restart: the file first, then its folder,
  // which is empty by then. Only what this run made is named, while its folders are held.
  // Failures to schedule are ignored: the files are harmless.
  MoveFileExW(copy_path, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);
  MoveFileExW(folder, NULL, MOVEFILE_DELAY_UNTIL_REBOOT);

  // This process holds the installation folder until the copy holds it too.
  WaitForSecondPhaseHold(event, process);
  // Best effort: the copy deletes it once read; a copy that never read it leaves it here.
  DeleteFileIn(DeepestHeldFolder(&g_copy_folders), HAND_OVER_FILE_NAME, kHandOverNameLength);
  CloseHandle(event);
  if (process != NULL) CloseHandle(process);
  return true;
}

void ShowHandOverFailed() {
  MessageBoxW(NULL, HAND_OVER_FAILED_MESSAGE, L"Fatal error", MB_ICONERROR);
}
