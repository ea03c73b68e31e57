#include "setup/folder_browser.h"

#include "setup/resource.h"
#include "common/bounded_text.h"

namespace {

const wchar_t kBrowsePrompt[] = L"Select the folder where to install the application";

// File-system folders only, an edit box for the name, and the resizable new-style dialog
// with its "make new folder" button.
constexpr UINT kBrowseFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;

}  // namespace

bool PathToIdList(const wchar_t* path, LPITEMIDLIST* out) {
  IShellFolder* desktop = NULL;
  if (FAILED(SHGetDesktopFolder(&desktop))) return false;
  ULONG eaten = 0;
  HRESULT parsed = desktop->ParseDisplayName(NULL, NULL, (LPWSTR)path, &eaten, out, NULL);
  desktop->Release();
  if (SUCCEEDED(parsed)) return true;
  *out = NULL;
  return false;
}

BrowseResult BrowseForFolder(const wchar_t* prompt, wchar_t* path) {
  // The new-style browser needs COM on this thread; it is only needed for the browse.
  CoInitialize(NULL);
  BrowseResult result = BROWSE_UNAVAILABLE;
  IMalloc* allocator = NULL;
  if (SUCCEEDED(SHGetMalloc(&allocator))) {
    BROWSEINFOW description;
    ZeroMemory(&description, sizeof(description));
    description.hwndOwner = NULL;  // no owner: the setup dialog stays usable meanwhile
    description.lpszTitle = prompt;
    description.ulFlags = kBrowseFlags;
    // A parsable field becomes the tree's root; anything else starts at the desktop.
    LPITEMIDLIST root = NULL;
    if (path[0] != 0) PathToIdList(path, &root);
    description.pidlRoot = root;
    path[0] = 0;
    LPITEMIDLIST chosen = SHBrowseForFolderW(&description);
    if (chosen != NULL) {
      result = BROWSE_CHOSEN;
      if (!SHGetPathFromIDListW(chosen, path)) path[0] = 0;
      allocator->Free(chosen);
    } else {
      result = BROWSE_CANCELLED;
    }
    if (root != NULL) allocator->Free(root);
    allocator->Release();
  }
  CoUninitialize();
  return result;
}

void OnBrowse(HWND dialog) {
  wchar_t path[kPathCapacity];
  path[0] = 0;
  GetDlgItemTextW(dialog, IDC_FOLDER_EDIT, path, kPathCapacity);
  if (BrowseForFolder(kBrowsePrompt, path) == BROWSE_CHOSEN) {
    SetDlgItemTextW(dialog, IDC_FOLDER_EDIT, path);
  }
}
