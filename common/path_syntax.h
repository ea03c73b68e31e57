// The shape of paths that come from places the programs do not control: the folder field,
// the package's names, the uninstall log. Text only: nothing here looks at the drive.
#pragma once

#include <stddef.h>

// True when `path` names one place on its own, whatever the current drive and folder: a
// drive letter, ":" and "\" ("C:\..."), or a network path "\\server\..." (not a "\\?\" or
// "\\.\" device path).
bool IsAbsolutePath(const wchar_t* path);

// True when `count` units of `text` are a path below some folder that cannot lead out of
// it: not empty, not starting with "\" or "/", no ":" (no drive, no alternate stream), and
// no part between separators ("\" or "/") that is empty or made of dots and spaces only
// (".", "..", ". ." and the like, which the platform reads as the folder or its parent).
bool IsPathBelowFolder(const wchar_t* text, size_t count);

// True when `count` units of `text` are a path below some folder (IsPathBelowFolder) whose
// every part, between "\" separators, Win32 would keep as it stands. Names made through a
// folder's handle skip Win32's own rules, so a name it would change or forbid would become
// a file that Explorer and the uninstaller cannot reach by name: no "/", no character that
// names forbid (< > " | ? * and control characters), no part that ends in "." or " ", and
// no device name (CON, PRN, AUX, NUL, COM1 to COM9, LPT1 to LPT9, CONIN$, CONOUT$), with
// or without an extension ("aux.txt").
bool IsPlainWindowsPath(const wchar_t* text, size_t count);
