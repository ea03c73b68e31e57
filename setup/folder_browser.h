// The installation folder browser behind the "..." button.
#pragma once

#include <windows.h>
#include <shlobj.h>

// Outcomes of BrowseForFolder.
enum BrowseResult {
  BROWSE_UNAVAILABLE = 0,  // the shell's allocator was missing: nothing shown, path unchanged
  BROWSE_CHOSEN = 1,       // `path` holds the chosen folder (empty if it has no file path)
  BROWSE_CANCELLED = 2,    // the user cancelled or closed the browser: `path` is empty
};

// Shows the shell's folder browser (no owner window) with `prompt` above the tree. On
// entry `path` (kPathCapacity units) holds the starting text: a folder that can be parsed
// becomes the tree's root. Initialises COM for the browse only.
BrowseResult BrowseForFolder(const wchar_t* prompt, wchar_t* path);

// Turns `path` into an item id list through the desktop folder. Returns true with `*out`
// set (the caller frees it with the shell's allocator); on a parse failure sets `*out` to
// NULL and returns false; when the desktop folder is unavailable leaves `*out` alone.
bool PathToIdList(const wchar_t* path, LPITEMIDLIST* out);

// Command IDC_BROWSE: lets the user pick a folder starting from IDC_FOLDER_EDIT's text and
// puts a chosen folder into the field; any other outcome leaves the field as it was.
void OnBrowse(HWND dialog);
