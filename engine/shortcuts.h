// Shortcuts in the shell's special folders: the product's Programs-menu group, the shell
// link files and their symbolic records in the uninstall log.
#pragma once

// Capacity of a link's file name ("alpha.lnk"): the target's file name may have at most
// 127 characters, extension included.
constexpr unsigned kLinkNameCapacity = 128;

// Capacity of the Programs-menu group name "#N #V" as expanded (at most 126 characters).
constexpr unsigned kGroupNameCapacity = 128;

// Fatal texts of the shortcut step.
#define SPECIAL_FOLDER_MISSING_MESSAGE L"Could not find special path"
#define SHORTCUT_NAME_MESSAGE L"Could not create shortcut\n>"

// Builds the link file name for `target` (a path): the part after its last backslash, cut
// before its last ".", plus ".lnk". Returns false, leaving `out` empty, when it does not
// fit `capacity` units.
bool BuildLinkName(const wchar_t* target, wchar_t* out, unsigned capacity);

// Places a shortcut to the file `target` (a full path) in special folder `csidl` (inside
// the product's group for 23 and 2, created and recorded if needed) and writes its "F"
// record in symbolic form, whether or not the link file could be written. A missing
// special folder, a group that cannot be created and a link path over the path limit are
// fatal.
void CreateShortcutInSpecialFolder(int csidl, const wchar_t* target);

// Writes the shell link `link_path` to `target`: no arguments or description, shown
// normally, working in the target's folder. The link's bytes are written through a file
// created inside its folder, which the run must hold (HeldFolderFor in engine/folders.h).
// Failures are ignored: no link is written. Returns nonzero when the link was saved.
int CreateShellLink(const wchar_t* target, const wchar_t* link_path);
