#include "engine/folders.h"

#include <windows.h>
#include <sddl.h>
#include <shlwapi.h>

#include "common/fatal_error.h"
#include "common/held_files.h"
#include "common/held_folders.h"
#include "common/private_folder.h"
#include "uninstall_log/log_format.h"
#include "uninstall_log/log_writer.h"

TouchedFolderList g_touched_folders;

namespace {

bool IsListed(const wchar_t* logged_name) {
  for (TouchedFolder* node = g_touched_folders.head; node != NULL; node = node->next) {
    if (StrCmpIW(node->text, logged_name) == 0) return true;
  }
  return false;
}

void Append(const wchar_t* logged_name) {
  TouchedFolder* node =
      (TouchedFolder*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(TouchedFolder));
  if (node == NULL) FatalErrorWithPath(FOLDER_CREATE_FAILED_MESSAGE, logged_name);
  // Callers build their paths in kPathCapacity buffers, so the copy is never cut.
  lstrcpynW(node->text, logged_name, kPathCapacity);
  node->prev = g_touched_folders.tail;
  if (g_touched_folders.tail != NULL) {
    g_touched_folders.tail->next = node;
  } else {
    g_touched_folders.head = node;
  }
  g_touched_folders.tail = node;
}

// A folder the run holds apart from the installation folder's chain: package folders, the
// Programs group, the special folders shortcuts go into. Kept for the whole run.
struct HeldRunFolder {
  wchar_t path[kPathCapacity];
  HANDLE handle;
  HeldRunFolder* next;
};

// The installation folder and those above it, from the drive root down.
HeldFolders g_installation_chain;
// Every other folder the run holds, newest first.
HeldRunFolder* g_held_folders = NULL;

void KeepHeld(const wchar_t* path, HANDLE handle) {
  HeldRunFolder* node =
      (HeldRunFolder*)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(HeldRunFolder));
  if (node == NULL) {
    CloseHandle(handle);
    FatalErrorWithPath(FOLDER_CREATE_FAILED_MESSAGE, path);
  }
  CopyText(node->path, kPathCapacity, path);
  node->handle = handle;
  node->next = g_held_folders;
  g_held_folders = node;
}

HANDLE FindHeld(const wchar_t* path, size_t length) {
  for (HeldRunFolder* node = g_held_folders; node != NULL; node = node->next) {
    if ((size_t)lstrlenW(node->path) == length && StrCmpNIW(node->path, path, (int)length) == 0) {
      return node->handle;
    }
  }
  for (unsigned i = g_installation_chain.count; i-- > 0;) {
    if (g_installation_chain.ends[i] == length &&
        StrCmpNIW(g_installation_chain.path, path, (int)length) == 0) {
      return g_installation_chain.handles[i];
    }
  }
  return NULL;
}

// HeldFolderFor for the first `length` units of `path`.
HANDLE HeldFolderForPart(const wchar_t* path, size_t length) {
  HANDLE found = FindHeld(path, length);
  if (found != NULL) return found;
  // The parent first, then this level inside it.
  size_t parent = length;
  while (parent > 0 && path[parent - 1] != L'\\') --parent;
  if (parent < 2) return NULL;
  HANDLE above = HeldFolderForPart(path, parent - 1);
  HANDLE handle;
  if (above == NULL || HoldFolderIn(above, path + parent, length - parent, &handle) != HELD_DONE) {
    return NULL;
  }
  wchar_t part[kPathCapacity];
  CopyUnits(part, kPathCapacity, path, length);
  KeepHeld(part, handle);
  return handle;
}

// Where the last name of `path` begins (after its last backslash); 0 without one.
size_t LastNameStart(const wchar_t* path) {
  const wchar_t* separator = StrRChrW(path, NULL, L'\\');
  return separator != NULL ? (size_t)(separator - path) + 1 : 0;
}

// EnsureFolder, creating a missing folder with `descriptor` (NULL: the inherited list).
void EnsureFolderWithAccess(const wchar_t* path, const wchar_t* logged_name,
                            PSECURITY_DESCRIPTOR descriptor) {
  size_t name_start = LastNameStart(path);
  HANDLE parent = name_start > 1 ? HeldFolderForPart(path, name_start - 1) : NULL;
  if (parent == NULL) FatalErrorWithPath(FOLDER_CREATE_FAILED_MESSAGE, path);
  const wchar_t* name = path + name_start;
  size_t length = (size_t)lstrlenW(name);
  HANDLE handle;
  HeldResult result = HoldFolderIn(parent, name, length, &handle);
  bool created = false;
  if (result == HELD_MISSING) {
    result = CreateFolderIn(parent, name, length, descriptor, &handle);
    created = result == HELD_DONE;
  }
  if (result == HELD_LINK) FatalErrorWithPath(FOLDER_IS_LINK_MESSAGE, path);
  if (result == HELD_WRONG_KIND || result == HELD_EXISTS) {
    FatalErrorWithPath(FOLDER_IS_FILE_MESSAGE, path);
  }
  if (result != HELD_DONE) FatalErrorWithPath(FOLDER_CREATE_FAILED_MESSAGE, path);
  KeepHeld(path, handle);
  // A folder made just now cannot be listed yet.
  if (created || !IsListed(logged_name)) Append(logged_name);
}

// Holds the level of the installation chain that ends after `end` units of `path`,
// creating it with `descriptor` when missing, and records it when `logged`. A failure
// names the first `named` units of `path` (0: the level).
void EnsureChainLevel(const wchar_t* path, size_t end, PSECURITY_DESCRIPTOR descriptor,
                      bool logged, size_t named = 0) {
  wchar_t level[kPathCapacity];
  CopyUnits(level, kPathCapacity, path, named != 0 ? named : end);
  bool created = false;
  HoldResult result =
      HoldNextFolderLevel(&g_installation_chain, path, end, true, descriptor, &created);
  // A drive or share that cannot be opened cannot be made either.
  if (g_installation_chain.count == 0 && result != HOLD_DONE) result = HOLD_FAILED;
  switch (result) {
    case HOLD_DONE:
      break;
    case HOLD_LINK:
      FatalErrorWithPath(FOLDER_IS_LINK_MESSAGE, level);
    case HOLD_MISSING:
      FatalErrorWithPath(FOLDER_IS_FILE_MESSAGE, level);
    default:
      FatalErrorWithPath(FOLDER_CREATE_FAILED_MESSAGE, level);
  }
  if (logged && (created || !IsListed(level))) Append(level);
}

}  // namespace

void EnsureFolder(const wchar_t* path, const wchar_t* logged_name) {
  EnsureFolderWithAccess(path, logged_name, NULL);
}

bool HoldTrustedFolder(const wchar_t* path) {
  wchar_t folder[kPathCapacity];
  if (!CopyText(folder, kPathCapacity, path)) return false;
  size_t length = (size_t)lstrlenW(folder);
  if (length > 3 && folder[length - 1] == L'\\') folder[--length] = 0;
  if (FindHeld(folder, length) != NULL) return true;
  // A system folder is taken as it stands; what the run makes inside it is checked.
  HANDLE handle = CreateFileW(folder, FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, NULL);
  if (handle == INVALID_HANDLE_VALUE) return false;
  KeepHeld(folder, handle);
  return true;
}

HANDLE HeldFolderFor(const wchar_t* path) {
  size_t length = (size_t)lstrlenW(path);
  if (length >= kPathCapacity) return NULL;
  return HeldFolderForPart(path, length);
}

HANDLE CreateFileInHeldFolder(const wchar_t* path) {
  size_t name_start = LastNameStart(path);
  HANDLE parent = name_start > 1 ? HeldFolderForPart(path, name_start - 1) : NULL;
  HANDLE file = INVALID_HANDLE_VALUE;
  if (parent == NULL ||
      CreateFileIn(parent, path + name_start, (size_t)lstrlenW(path + name_start), &file) !=
          HELD_DONE) {
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

void ReleaseRunFolders() {
  while (g_held_folders != NULL) {
    HeldRunFolder* next = g_held_folders->next;
    CloseHandle(g_held_folders->handle);
    HeapFree(GetProcessHeap(), 0, g_held_folders);
    g_held_folders = next;
  }
  ReleaseHeldFolders(&g_installation_chain);
}

void CreateFolderPath(const wchar_t* path, size_t from) {
  wchar_t work[kPathCapacity];
  if (!CopyText(work, kPathCapacity, path)) FatalErrorWithPath(FOLDER_CREATE_FAILED_MESSAGE, path);
  // Elevated, the folders made here hold what an administrator runs later (uninstall.exe
  // and its log): they must not inherit a list that lets users change them, such as a
  // drive root's "Authenticated Users: Modify". Unelevated, nothing written here is run
  // with more rights than the user's own. Folders that exist keep their list.
  PSECURITY_DESCRIPTOR descriptor = NULL;
  if (RunsAsAdministrator() &&
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(INSTALL_FOLDER_SDDL, SDDL_REVISION_1,
                                                            &descriptor, NULL)) {
    FatalErrorWithPath(FOLDER_CREATE_FAILED_MESSAGE, path);
  }
  // The drive root ("C:") or share ("\\\\server\\share") is never ensured on its own: it is
  // held as it stands, and the first folder ensured is the one below it.
  wchar_t* separator = NULL;
  size_t named = 0;  // a share that cannot be reached is named by its server
  if (work[0] == L'\\' && work[1] == L'\\') {
    wchar_t* server_end = StrChrW(work + 2, L'\\');
    separator = server_end != NULL ? StrChrW(server_end + 1, L'\\') : NULL;
    named = server_end != NULL ? (size_t)(server_end - work) : 0;
  } else if (work[0] != 0 && work[1] == L':') {
    separator = work + 2;
  }
  if (separator == NULL || *separator != L'\\') {
    FatalErrorWithPath(FOLDER_CREATE_FAILED_MESSAGE, path);
  }
  size_t root_end = (size_t)(separator - work);
  EnsureChainLevel(work, root_end, NULL, false, named);
  separator = StrChrW(separator + 1, L'\\');
  while (separator != NULL) {
    size_t end = (size_t)(separator - work);
    EnsureChainLevel(work, end, descriptor, end > from);
    separator = StrChrW(separator + 1, L'\\');
  }
  size_t length = (size_t)lstrlenW(work);
  if (length > root_end + 1) EnsureChainLevel(work, length, descriptor, length > from);
  LocalFree(descriptor);
}

void WriteTouchedFolders() {
  TouchedFolder* node = g_touched_folders.tail;
  while (node != NULL) {
    TouchedFolder* prev = node->prev;
    WriteLogRecord(LOG_RECORD_FOLDER, node->text);
    HeapFree(GetProcessHeap(), 0, node);
    node = prev;
  }
  g_touched_folders.head = NULL;
  g_touched_folders.tail = NULL;
}
