#include "harness/process_view.h"

#include <vector>

namespace {

// The 32-bit layouts of the structures read (PROCESS_BASIC_INFORMATION, and the parts of
// the PEB and RTL_USER_PROCESS_PARAMETERS used here).
struct BasicInformation {
  LONG exit_status;
  DWORD peb;
  ULONG_PTR affinity;
  LONG priority;
  ULONG_PTR pid;
  ULONG_PTR parent_pid;
};
constexpr DWORD kPebParameters = 0x10;
constexpr DWORD kParametersCurrentDirectory = 0x24;
constexpr DWORD kParametersImagePath = 0x38;
constexpr DWORD kParametersCommandLine = 0x40;

typedef LONG(WINAPI* QueryInformationProcess)(HANDLE, int, void*, ULONG, ULONG*);

bool ReadAt(HANDLE process, DWORD address, void* out, size_t size) {
  SIZE_T done = 0;
  return ReadProcessMemory(process, (const void*)(ULONG_PTR)address, out, size, &done) &&
         done == size;
}

// A UNICODE_STRING at `address`: 16-bit length in bytes, 16-bit capacity, buffer pointer.
bool ReadUnicodeString(HANDLE process, DWORD address, std::wstring* out) {
  struct {
    USHORT length;
    USHORT capacity;
    DWORD buffer;
  } string = {};
  if (!ReadAt(process, address, &string, sizeof(string)) || string.buffer == 0) return false;
  std::vector<wchar_t> text(string.length / sizeof(wchar_t));
  if (!text.empty() && !ReadAt(process, string.buffer, text.data(), string.length)) return false;
  out->assign(text.begin(), text.end());
  return true;
}

ProcessView ReadOnce(HANDLE process) {
  ProcessView view;
  auto query = (QueryInformationProcess)GetProcAddress(GetModuleHandleW(L"ntdll.dll"),
                                                       "NtQueryInformationProcess");
  BasicInformation basic = {};
  if (query == NULL || query(process, 0, &basic, sizeof(basic), NULL) != 0) return view;
  DWORD parameters = 0;
  if (!ReadAt(process, basic.peb + kPebParameters, &parameters, sizeof(parameters)) ||
      parameters == 0) {
    return view;
  }
  view.read = ReadUnicodeString(process, parameters + kParametersImagePath, &view.image_path) &&
              ReadUnicodeString(process, parameters + kParametersCommandLine,
                                &view.command_line) &&
              ReadUnicodeString(process, parameters + kParametersCurrentDirectory,
                                &view.current_directory);
  return view;
}

}  // namespace

ProcessView ReadProcessView(HANDLE process, DWORD timeout_ms) {
  DWORD start = GetTickCount();
  for (;;) {
    ProcessView view = ReadOnce(process);
    if (view.read || GetTickCount() - start > timeout_ms) return view;
    Sleep(50);
  }
}
