#include "uninstaller/shortcut_target.h"

#include <shlobj.h>
#include <shlwapi.h>

#include "common/bounded_text.h"
#include "common/installation_identity.h"

namespace {

// A shell link is a few hundred bytes; anything far larger is not one setup wrote.
constexpr DWORD kLinkBytesCapacity = 64 * 1024;

// Reads the file behind `link` whole into a new memory stream. NULL when it cannot.
IStream* ReadLinkBytes(HANDLE link) {
  DWORD high = 0;
  DWORD size = GetFileSize(link, &high);
  if (size == INVALID_FILE_SIZE || high != 0 || size == 0 || size > kLinkBytesCapacity) {
    return NULL;
  }
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, size);
  if (memory == NULL) return NULL;
  void* bytes = GlobalLock(memory);
  DWORD read = 0;
  bool whole = bytes != NULL && ReadFile(link, bytes, size, &read, NULL) && read == size;
  if (bytes != NULL) GlobalUnlock(memory);
  IStream* stream = NULL;
  if (!whole || FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
    GlobalFree(memory);
    return NULL;
  }
  return stream;
}

// Puts the target path that the link in `stream` names into `target` (kPathCapacity units).
bool ReadLinkTarget(IStream* stream, wchar_t* target) {
  target[0] = 0;
  IShellLinkW* shell_link = NULL;
  if (CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                       (void**)&shell_link) != S_OK) {
    return false;
  }
  bool found = false;
  IPersistStream* persist = NULL;
  if (SUCCEEDED(shell_link->QueryInterface(IID_IPersistStream, (void**)&persist))) {
    // GetPath reads what the link holds; Resolve would search the drive for a moved target.
    found = SUCCEEDED(persist->Load(stream)) &&
            shell_link->GetPath(target, kPathCapacity, NULL, SLGP_RAWPATH) == S_OK &&
            target[0] != 0;
    persist->Release();
  }
  shell_link->Release();
  return found;
}

}  // namespace

bool LinkLeadsInto(HANDLE link, const wchar_t* folder) {
  IStream* stream = ReadLinkBytes(link);
  if (stream == NULL) return false;
  HRESULT com = CoInitialize(NULL);
  wchar_t target[kPathCapacity], normal[kPathCapacity];
  bool inside = ReadLinkTarget(stream, target) && NormalizeInstallationFolder(target, normal);
  stream->Release();
  if (SUCCEEDED(com)) CoUninitialize();
  if (!inside) return false;
  int length = lstrlenW(folder);
  return length > 0 && StrCmpNIW(normal, folder, length) == 0 && normal[length] == L'\\' &&
         normal[length + 1] != 0;
}
