// The uninstall log "uninstall.dat": UTF-16LE without byte-order mark or NUL characters.
// Header "name#version#class#DO NOT REMOVE/EDIT THIS FILE", then records
// "\r\n|K|text|", then the end marker "\r\n||". Shared by the writer and the reader.
#pragma once

#define UNINSTALL_LOG_NAME L"uninstall.dat"
#define LOG_HEADER_MARKER L"DO NOT REMOVE/EDIT THIS FILE"
#define LOG_END_MARKER L"\r\n||"

// Record kinds.
constexpr wchar_t LOG_RECORD_EXECUTABLE = L'E';  // program started with "/uninstall" first
constexpr wchar_t LOG_RECORD_FILE = L'F';        // file or shortcut to delete
constexpr wchar_t LOG_RECORD_REGISTRY = L'R';    // HKLM subkey to delete
constexpr wchar_t LOG_RECORD_FOLDER = L'S';      // folder to remove when empty

constexpr wchar_t kLogFieldSeparator = L'#';
constexpr wchar_t kLogRecordDelimiter = L'|';
