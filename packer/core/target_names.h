// The names a package gives files and folders inside the installation folder: what the
// installer can take, and how they are stored (Windows-1252 bytes, backslashes).
#pragma once

#include <stddef.h>
#include <string>

// Longest target, in stored bytes. The installer joins the installation folder and a name
// in a 260-unit path buffer; the default folders take at most 96 units ("C:\Program Files
// (x86)\KOZ Soft\" plus a 31-character name, a space, a 31-character version and a
// backslash), and a Run Once folder below a typical temporary folder about as much, so
// 160 bytes leave every default folder room with a margin for a longer one the user picks.
constexpr size_t kTargetMaxBytes = 160;

// Checks `utf8`, a file or folder path as written in a manifest, and converts it to the
// bytes the package stores. Returns "" on success (with `*ansi` set), otherwise what is
// wrong, as a message that starts with `noun` ("target", "folder") and the quoted path.
std::string CheckTargetName(const std::string& utf8, const char* noun, std::string* ansi);

// Whether `component` (one path part, Windows-1252 bytes) names a device wherever it stands:
// CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-COM9, LPT0-LPT9 and COM/LPT with the
// superscript digits 1, 2 and 3, also with an extension or blanks before it.
bool IsDeviceName(const std::string& component);

// Whether `key` (a NameKey) has the form of a short 8.3 name that the file system could give
// the file `long_name` (lower case, "uninstall.exe"): a prefix of its base with "~N", or
// its first two letters, four hexadecimal digits and "~N", with the same extension.
bool IsShortNameOf(const std::string& key, const std::string& long_name);

// A key under which two stored names compare equal when Windows would take them for the
// same file (letters of Windows-1252 compared without case).
std::string NameKey(const std::string& ansi);

// The stored name in UTF-8, for messages and listings.
std::string AnsiToUtf8(const std::string& ansi);
