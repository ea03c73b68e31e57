#include "harness/process_view.h"

#include <vector>

namespace {

// The layouts of the structures read (PROCESS_BASIC_INFORMATION, and the parts of the PEB
// and RTL_USER_PROCESS_PARAMETERS used here), for a test program of the same kind as the
// process it reads.
struct BasicInformation {
  LONG exit_status;
  ULONG_PTR peb;
  ULONG_PTR affinity;
  LONG priority;
  ULONG_PTR pid;
  ULONG_PTR parent_pid;
};
#ifdef _WIN64
constexpr ULONG_PTR kPebParameters = 0x20;
constexpr ULONG_PTR kParametersCurrentDirectory = 0x38;
constexpr ULONG_PTR kParametersImagePath = 0x60;
constexpr ULONG_PTR kParametersCommandLine = 0x70;
#else
constexpr ULONG_PTR kPebParameters = 0x10;
constexpr ULONG_PTR kParametersCurrentDirectory = 0x24;
constexpr ULONG_PTR kParametersImagePath = 0x38;
constexpr ULONG_PTR kParametersCommandLine = 0x40;
#endif

typedef LONG(WINAPI* QueryInformationProcess)(HANDLE, int, void*, ULONG, ULONG*);

bool ReadAt(HANDLE process, ULONG_PTR address, void* out, size_t size) {
  SIZE_T done = 0;
  return ReadProcessMemory(process, (const void*)address, out, size, &done) &&
         done == size;
}

// A UNICODE_STRING at `address`: 16-bit length in bytes, 16-bit capacity, buffer pointer.
bool ReadUnicodeString(HANDLE process, ULONG_PTR address, std::wstring* out) {
  struct {
    USHORT length;
    USHORT capacity;
    ULONG_PTR buffer;
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
  ULONG_PTR parameters = 0;
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
