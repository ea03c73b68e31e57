#include "uninstall_log/log_writer.h"

#include "common/bounded_text.h"
#include "uninstall_log/log_format.h"

namespace {

// The open log of the install run; NULL while none is open (zero-filled, so it takes no
// room in the file).
HANDLE g_uninstall_log = NULL;

// Set when a write to the open log came short; cleared when a log is opened.
bool g_log_write_failed = false;

// Appends `count` UTF-16 units. A short write is remembered (UninstallLogWritten) and the
// log goes on as far as it goes: the writers themselves never fail.
void WriteUnits(const wchar_t* text, int count) {
  if (g_uninstall_log == NULL || count <= 0) return;
  DWORD bytes = (DWORD)count * sizeof(wchar_t);
  DWORD written = 0;
  if (!WriteFile(g_uninstall_log, text, bytes, &written, NULL) || written != bytes) {
    g_log_write_failed = true;
  }
}

void WriteText(const wchar_t* text) { WriteUnits(text, lstrlenW(text)); }

}  // namespace

bool OpenUninstallLog(const wchar_t* path) {
  HANDLE log = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, NULL);
  UseUninstallLogFile(log);
  return g_uninstall_log != NULL;
}

void UseUninstallLogFile(HANDLE file) {
  CloseUninstallLog();
  g_uninstall_log = file != INVALID_HANDLE_VALUE ? file : NULL;
  g_log_write_failed = false;
}

bool UninstallLogWritten() { return !g_log_write_failed; }

void WriteLogHeader(const wchar_t* product_name, const wchar_t* product_version,
                    const wchar_t* window_class) {
  const wchar_t separator[] = {kLogFieldSeparator, 0};
  WriteText(product_name);
  WriteText(separator);
  WriteText(product_version);
  WriteText(separator);
  WriteText(window_class);
  WriteText(separator);
  WriteText(LOG_HEADER_MARKER);
}

void WriteLogRecord(wchar_t kind, const wchar_t* text) {
  const wchar_t opener[] = {L'\r', L'\n', kLogRecordDelimiter, kind, kLogRecordDelimiter, 0};
  const wchar_t closer[] = {kLogRecordDelimiter, 0};
  WriteText(opener);
  WriteText(text);
  WriteText(closer);
}

void WriteLogEndMarker() { WriteText(LOG_END_MARKER); }

void CloseUninstallLog() {
  if (g_uninstall_log == NULL) return;
  CloseHandle(g_uninstall_log);
  g_uninstall_log = NULL;
}

bool FormatSymbolicPath(int csidl, const wchar_t* rest, wchar_t* out, unsigned capacity) {
  wchar_t prefix[16];
  wsprintfW(prefix, L"<%i>", csidl);
  if ((unsigned)(lstrlenW(prefix) + lstrlenW(rest)) + 1 > capacity) {
    if (capacity > 0) out[0] = 0;
    return false;
  }
  CopyText(out, capacity, prefix);
  AppendText(out, capacity, rest);
  return true;
}
