#include "engine/folders.h"

#include <windows.h>
#include <sddl.h>
#include <shlwapi.h>

#include "common/fatal_error.h"
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

// EnsureFolder, creating a missing folder with `access` (NULL: the inherited list).
void EnsureFolderWithAccess(const wchar_t* path, const wchar_t* logged_name,
                            SECURITY_ATTRIBUTES* access) {
  DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    if (!CreateDirectoryW(path, access)) FatalErrorWithPath(FOLDER_CREATE_FAILED_MESSAGE, path);
    // A folder made just now cannot be listed yet.
    Append(logged_name);
    return;
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) FatalErrorWithPath(FOLDER_IS_FILE_MESSAGE, path);
  // Nothing is written through a link someone left where a folder of the product goes.
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) FatalErrorWithPath(FOLDER_IS_LINK_MESSAGE, path);
  if (!IsListed(logged_name)) Append(logged_name);
}

}  // namespace

void EnsureFolder(const wchar_t* path, const wchar_t* logged_name) {
  EnsureFolderWithAccess(path, logged_name, NULL);
}

void CreateFolderPath(const wchar_t* path, size_t from) {
  wchar_t work[kPathCapacity];
  if (!CopyText(work, kPathCapacity, path)) FatalErrorWithPath(FOLDER_CREATE_FAILED_MESSAGE, path);
  // Elevated, the folders made here hold what an administrator runs later (uninstall.exe
  // and its log): they must not inherit a list that lets users change them, such as a
  // drive root's "Authenticated Users: Modify". Unelevated, nothing written here is run
  // with more rights than the user's own. Folders that exist keep their list.
  SECURITY_ATTRIBUTES access = {sizeof(access), NULL, FALSE};
  if (RunsAsAdministrator() &&
      !ConvertStringSecurityDescriptorToSecurityDescriptorW(
          INSTALL_FOLDER_SDDL, SDDL_REVISION_1, &access.lpSecurityDescriptor, NULL)) {
    FatalErrorWithPath(FOLDER_CREATE_FAILED_MESSAGE, path);
  }
  // The drive root (or the "\\server" part of a share) is never ensured on its own: start
  // at the second backslash after the first character.
  wchar_t* separator = work[0] != 0 ? StrChrW(work + 1, L'\\') : NULL;
  if (separator != NULL) separator = StrChrW(separator + 1, L'\\');
  while (separator != NULL) {
    *separator = 0;
    if ((size_t)(separator - work) > from) EnsureFolderWithAccess(work, work, &access);
    *separator = L'\\';
    separator = StrChrW(separator + 1, L'\\');
  }
  EnsureFolderWithAccess(work, work, &access);
  LocalFree(access.lpSecurityDescriptor);
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
