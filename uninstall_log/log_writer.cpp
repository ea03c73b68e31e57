#include "uninstall_log/log_writer.h"

#include "uninstall_log/log_format.h"

namespace {

// The open log of the install run; INVALID_HANDLE_VALUE while none is open.
HANDLE g_uninstall_log = INVALID_HANDLE_VALUE;

// Appends `count` UTF-16 units. Results are not checked: the log is written as far as it
// goes, and a run that fails later leaves it without its end marker.
void WriteUnits(const wchar_t* text, int count) {
  if (g_uninstall_log == INVALID_HANDLE_VALUE || count <= 0) return;
  DWORD written = 0;
  WriteFile(g_uninstall_log, text, (DWORD)count * sizeof(wchar_t), &written, NULL);
}

void WriteText(const wchar_t* text) { WriteUnits(text, lstrlenW(text)); }

}  // namespace

bool OpenUninstallLog(const wchar_t* path) {
  CloseUninstallLog();
  g_uninstall_log = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, NULL);
  return g_uninstall_log != INVALID_HANDLE_VALUE;
}

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
  if (g_uninstall_log == INVALID_HANDLE_VALUE) return;
  CloseHandle(g_uninstall_log);
  g_uninstall_log = INVALID_HANDLE_VALUE;
}

bool FormatSymbolicPath(int csidl, const wchar_t* rest, wchar_t* out, unsigned capacity) {
  wchar_t prefix[16];
  wsprintfW(prefix, L"<%i>", csidl);
  if ((unsigned)(lstrlenW(prefix) + lstrlenW(rest)) + 1 > capacity) {
    if (capacity > 0) out[0] = 0;
    return false;
  }
  lstrcpyW(out, prefix);
  lstrcatW(out, rest);
  return true;
}
