// Writing the uninstall log during an install run. The open log is process-wide: the
// install run opens it, every writer below appends to it, and FatalError closes it.
#pragma once

#include <windows.h>

// Creates (or truncates) the log at `path` for writing, no sharing. Returns false when the
// file cannot be created; the caller reports that.
bool OpenUninstallLog(const wchar_t* path);

// Makes `file`, created for writing by the caller, the open log; it is closed with the log.
void UseUninstallLogFile(HANDLE file);

// Writes "name#version#class#DO NOT REMOVE/EDIT THIS FILE".
void WriteLogHeader(const wchar_t* product_name, const wchar_t* product_version,
                    const wchar_t* window_class);

// Appends the record "\r\n|<kind>|<text>|".
void WriteLogRecord(wchar_t kind, const wchar_t* text);

// Appends the end marker "\r\n||".
void WriteLogEndMarker();

// True when every write to the log since OpenUninstallLog reached the file in full. A
// log that misses pieces (a full disk) cannot undo the installation: the install run asks
// before it writes files and before the end marker, and fails instead of going on.
bool UninstallLogWritten();

// Closes the log if it is open, keeping everything written so far. Safe to call twice.
void CloseUninstallLog();

// Formats the symbolic form "<csidl>" + `rest` into `out` (`capacity` units). Returns
// false, leaving `out` empty, when it does not fit.
bool FormatSymbolicPath(int csidl, const wchar_t* rest, wchar_t* out, unsigned capacity);
