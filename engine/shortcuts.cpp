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
  // The special folder is the system's, held as it stands; the group and the link are made
  // inside it through its handle.
  if (!GetSpecialFolder(csidl, real) || !HoldTrustedFolder(real)) {
    FatalError(SPECIAL_FOLDER_MISSING_MESSAGE);
  }
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

namespace {

// Writes what `persist` saves into the file `link_path`, created through its held folder:
// the link's bytes go through a handle, never to a path the shell would open again.
bool SaveThroughHeldFolder(IPersistStream* persist, const wchar_t* link_path) {
  IStream* stream = NULL;
  if (FAILED(CreateStreamOnHGlobal(NULL, TRUE, &stream))) return false;
  bool saved = false;
  HGLOBAL memory = NULL;
  ULARGE_INTEGER size;
  LARGE_INTEGER nowhere;
  nowhere.QuadPart = 0;
  if (SUCCEEDED(persist->Save(stream, TRUE)) &&
      SUCCEEDED(stream->Seek(nowhere, STREAM_SEEK_CUR, &size)) && size.HighPart == 0 &&
      SUCCEEDED(GetHGlobalFromStream(stream, &memory))) {
    HANDLE file = CreateFileInHeldFolder(link_path);
    const void* bytes = GlobalLock(memory);
    if (file != INVALID_HANDLE_VALUE && bytes != NULL) {
      DWORD written = 0;
      saved = WriteFile(file, bytes, size.LowPart, &written, NULL) && written == size.LowPart;
    }
    if (bytes != NULL) GlobalUnlock(memory);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  }
  stream->Release();
  return saved;
}

}  // namespace

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
    IPersistStream* persist = NULL;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistStream, (void**)&persist))) {
      saved = SaveThroughHeldFolder(persist, link_path);
      persist->Release();
    }
    link->Release();
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return saved;
}
