// The shell as the installer meets it: special folders and the links made in them, asked
// from the platform (never hard-coded: a 64-bit Windows puts them elsewhere).
#pragma once

#include <string>

// A special folder's path without trailing backslash.
std::wstring SpecialFolder(int csidl);

// What a shell link file says, read back through IShellLinkW.
struct ShellLinkSeen {
  bool loaded = false;
  std::wstring target;
  std::wstring working_folder;
  std::wstring arguments;
  int show_command = 0;
};
ShellLinkSeen ReadShellLink(const std::wstring& link_path);

// Writes a shell link at `link_path` that leads to `target`, as any program would. Returns
// false when it could not be saved.
bool MakeShellLink(const std::wstring& target, const std::wstring& link_path);
