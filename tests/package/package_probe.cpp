// A test program that reads the package embedded in its own executable exactly as the
// installer does (LocatePackage, SkipFolderList, ReadEntry) and walks every pass over it.
// Tests embed packages into copies of it. Usage: package_probe.exe [REPORT_FILE]
// The report (UTF-8) lists the header, the folders, every record of every pass and a final
// "end" line; a malformed package ends in the fatal message box instead, so the report
// then lacks "end".
#include <windows.h>

#include "common/fatal_error.h"
#include "package/package.h"

namespace {

HANDLE g_report = INVALID_HANDLE_VALUE;

void Report(const wchar_t* line) {
  if (g_report == INVALID_HANDLE_VALUE) return;
  char utf8[4 * kPathCapacity + 256];
  int length = WideCharToMultiByte(CP_UTF8, 0, line, -1, utf8, sizeof(utf8) - 2, NULL, NULL);
  if (length <= 0) return;
  utf8[length - 1] = '\n';
  DWORD written;
  WriteFile(g_report, utf8, length, &written, NULL);
}

void ReportEntry(const wchar_t* pass, DWORD flags, const wchar_t* name, const BYTE* data,
                 DWORD size) {
  wchar_t line[kPathCapacity + 96];
  wsprintfW(line, L"%s %04lx %lu %lu %s", pass, flags, (DWORD)(data - g_package.header), size,
            name);
  Report(line);
}

void ReportHeader() {
  wchar_t line[128];
  wsprintfW(line, L"header_size %lu", (DWORD)(g_package.cursor - g_package.header));
  Report(line);
  wsprintfW(line, L"payload_length %lu", g_package.payload_length);
  Report(line);
  wsprintfW(line, L"product_name %s", PackageProductName());
  Report(line);
  wsprintfW(line, L"product_version %s", PackageProductVersion());
  Report(line);
  wsprintfW(line, L"window_class %s", PackageWindowClass());
  Report(line);
  wsprintfW(line, L"options %u %u %u %u %u %u", PackageOptionByte(kAllowRunOnceOffset),
            PackageOptionByte(kLogExecutablesOffset), PackageOptionByte(kDefaultDesktopOffset),
            PackageOptionByte(kDefaultStartupOffset), PackageOptionByte(kDefaultProgramsOffset),
            PackageOptionByte(kDefaultLaunchOffset));
  Report(line);
}

// The licence viewer's pass: from the folder list itself to the first licence document.
void LicencePass() {
  wchar_t name[kPathCapacity];
  const BYTE* data;
  DWORD size, flags;
  const BYTE* p = SkipFolderList(PackagePayload());
  while ((p = ReadEntry(p, name, &data, &size, &flags)) != NULL) {
    if ((flags & kLicenseDocumentMask) == ENTRY_LICENSE_DOCUMENT) {
      ReportEntry(L"licence", flags, name, data, size);
      return;
    }
  }
  Report(L"licence none");
}

// The install run's folder pass: every name, then the cursor moves to the first record.
void FolderPass() {
  const BYTE* p = g_package.cursor;
  for (;;) {
    const char* name;
    unsigned length;
    const BYTE* next;
    PackageReadResult result = ParseFolderName(p, g_package.end, &name, &length, &next);
    if (result == PACKAGE_READ_MALFORMED) FatalError(PACKAGE_CORRUPT_MESSAGE);
    if (result == PACKAGE_READ_END) break;
    wchar_t line[kPathCapacity + 16] = L"folder ";
    int units = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, name, length, line + 7, 256);
    line[7 + units] = 0;
    Report(line);
    p = next;
  }
  g_package.cursor = SkipFolderList(g_package.cursor);
}

// One pass over the entry records; `mask`/`wanted` select what the pass reports.
void EntryPass(const wchar_t* pass, DWORD mask, DWORD wanted) {
  wchar_t name[kPathCapacity] = L"";
  const BYTE* data = NULL;
  DWORD size = 0, flags = 0;
  const BYTE* p = g_package.cursor;
  while ((p = ReadEntry(p, name, &data, &size, &flags)) != NULL) {
    if ((flags & mask) == wanted) ReportEntry(pass, flags, name, data, size);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments != NULL && count > 1) {
    g_report = CreateFileW(arguments[1], GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                           0, NULL);
  }
  LocatePackage(instance);
  ReportHeader();
  LicencePass();
  FolderPass();
  EntryPass(L"entry", 0, 0);
  EntryPass(L"executable", ENTRY_LAUNCH, ENTRY_LAUNCH);
  EntryPass(L"launch", kLaunchMask, ENTRY_LAUNCH);
  Report(L"end");
  if (g_report != INVALID_HANDLE_VALUE) CloseHandle(g_report);
  return 0;
}
