#include "engine/shortcuts.h"

#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include "common/fatal_error.h"
#include "common/shell_folders.h"
#include "engine/folders.h"
#include "engine/tokens.h"
#include "uninstall_log/log_format.h"
#include "uninstall_log/log_writer.h"

namespace {

// The product's group in the Programs menu, expanded from the package header.
#define PROGRAMS_GROUP_TEMPLATE L"#N #V"

bool UsesProductGroup(int csidl) {
  return csidl == CSIDL_COMMON_PROGRAMS || csidl == CSIDL_PROGRAMS;
}

}  // namespace

bool BuildLinkName(const wchar_t* target, wchar_t* out, unsigned capacity) {
  // The part after the last backslash, and the last "." in it.
  const wchar_t* base = target;
  const wchar_t* dot = NULL;
  for (const wchar_t* unit = target; *unit != 0; ++unit) {
    if (*unit == L'\\') {
      base = unit + 1;
      dot = NULL;
    } else if (*unit == L'.') {
      dot = unit;
    }
  }
  unsigned stem = dot != NULL ? (unsigned)(dot - base) : (unsigned)lstrlenW(base);
  const wchar_t extension[] = L".lnk";
  unsigned needed = stem + (unsigned)lstrlenW(extension) + 1;
  if (capacity == 0 || needed > capacity) {
    if (capacity > 0) out[0] = 0;
    return false;
  }
  for (unsigned i = 0; i < stem; ++i) out[i] = base[i];
  out[stem] = 0;
  AppendText(out, capacity, extension);
  return true;
}

void CreateShortcutInSpecialFolder(int csidl, const wchar_t* target) {
  wchar_t real[kPathCapacity];
  wchar_t symbolic[kPathCapacity];
  if (!GetSpecialFolder(csidl, real)) FatalError(SPECIAL_FOLDER_MISSING_MESSAGE);
  FormatSymbolicPath(csidl, L"", symbolic, kPathCapacity);

  if (UsesProductGroup(csidl)) {
    // The group name is cut at its capacity; the header's strings never make it that long.
    wchar_t group[kGroupNameCapacity] = PROGRAMS_GROUP_TEMPLATE;
    ExpandTokens(group, kGroupNameCapacity - 1);
    group[kGroupNameCapacity - 1] = 0;
    // The symbolic form always has room; `real` stays unchanged when the group does not fit.
    if (!AppendText(symbolic, kPathCapacity, group) || !AppendText(real, kPathCapacity, group)) {
      FatalErrorWithPath(FOLDER_CREATE_FAILED_MESSAGE, real, group);
    }
    EnsureFolder(real, symbolic);
  }

  wchar_t link_name[kLinkNameCapacity];
  if (!BuildLinkName(target, link_name, kLinkNameCapacity) ||
      !EndWithBackslash(real, kPathCapacity) || !EndWithBackslash(symbolic, kPathCapacity) ||
      !AppendText(real, kPathCapacity, link_name) ||
      !AppendText(symbolic, kPathCapacity, link_name)) {
    FatalErrorWithPath(SHORTCUT_NAME_MESSAGE, target);
  }
  CreateShellLink(target, real);
  // Logged even when the link could not be written: deleting a missing file is harmless.
  WriteLogRecord(LOG_RECORD_FILE, symbolic);
}

int CreateShellLink(const wchar_t* target, const wchar_t* link_path) {
  wchar_t folder[kPathCapacity];
  if (!CopyText(folder, kPathCapacity, target)) return 0;
  PathRemoveFileSpecW(folder);

  int saved = 0;
  HRESULT com = CoInitialize(NULL);
  IShellLinkW* link = NULL;
  if (CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                       (void**)&link) == S_OK) {
    link->SetPath(target);
    link->SetArguments(L"");
    link->SetDescription(L"");
    link->SetShowCmd(SW_SHOWNORMAL);
    link->SetWorkingDirectory(folder);
    IPersistFile* file = NULL;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, (void**)&file))) {
      saved = SUCCEEDED(file->Save(link_path, TRUE));
      file->Release();
    }
    link->Release();
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return saved;
}
