#include "harness/second_phase.h"

#include "common/held_files.h"
#include "common/private_folder.h"
#include "uninstaller/hand_over.h"

#include <tlhelp32.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>

#include "harness/process.h"
#include "harness/scratch.h"
#include "harness/timeouts.h"

namespace {

const wchar_t kCopyName[] = L"koz_uninstaller.exe";
const wchar_t kSessionManager[] = L"System\\CurrentControlSet\\Control\\Session Manager";
const wchar_t kPendingValue[] = L"PendingFileRenameOperations";

// A REG_MULTI_SZ as its strings; empty strings (the "delete" targets) are kept.
std::vector<std::wstring> ReadPending() {
  std::vector<std::wstring> entries;
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_QUERY_VALUE, &key) != 0) {
    return entries;
  }
  DWORD type = 0, size = 0;
  if (RegQueryValueExW(key, kPendingValue, NULL, &type, NULL, &size) == 0 && size > 0) {
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 2, 0);
    if (RegQueryValueExW(key, kPendingValue, NULL, &type, (BYTE*)data.data(), &size) == 0) {
      size_t units = size / sizeof(wchar_t);
      // The list ends with an extra NUL; every string before it is one entry.
      if (units > 0 && data[units - 1] == 0) --units;
      size_t start = 0;
      for (size_t i = 0; i < units; ++i) {
        if (data[i] == 0) {
          entries.emplace_back(data.data() + start, i - start);
          start = i + 1;
        }
      }
    }
  }
  RegCloseKey(key);
  return entries;
}

void WritePending(const std::vector<std::wstring>& entries) {
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != 0) return;
  if (entries.empty()) {
    RegDeleteValueW(key, kPendingValue);
  } else {
    std::vector<wchar_t> data;
    for (const std::wstring& entry : entries) {
      data.insert(data.end(), entry.begin(), entry.end());
      data.push_back(0);
    }
    data.push_back(0);
    RegSetValueExW(key, kPendingValue, 0, REG_MULTI_SZ, (const BYTE*)data.data(),
                   (DWORD)(data.size() * sizeof(wchar_t)));
  }
  RegCloseKey(key);
}

// Our temporary folder with its trailing backslash.
std::wstring TempFolder() {
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring path = temp;
  if (!path.empty() && path.back() != L'\\') path += L'\\';
  return path;
}

// A pending entry (perhaps with "\??\" before it) naming a private folder, something
// inside one, or the unprotected copy.
bool NamesCopy(const std::wstring& entry) {
  std::wstring path = entry.compare(0, 4, L"\\??\\") == 0 ? entry.substr(4) : entry;
  for (const std::wstring& temp : {TempFolder(), CopyHomeFolder()}) {
    if (path.size() <= temp.size() || _wcsnicmp(path.c_str(), temp.c_str(), temp.size()) != 0) {
      continue;
    }
    std::wstring rest = path.substr(temp.size());
    if (lstrcmpiW(rest.c_str(), kCopyName) == 0 || IsPrivateFolderName(rest.substr(0, 12))) {
      return true;
    }
  }
  return false;
}

}  // namespace

// Where the uninstaller makes the private folder for its copy, with a trailing backslash:
// the system's temporary folder when it runs elevated (as under Wine), else ours.
std::wstring CopyHomeFolder() {
  if (!RunsAsAdministrator()) return TempFolder();
  wchar_t windows[MAX_PATH];
  GetSystemWindowsDirectoryW(windows, MAX_PATH);
  // Spelled as the drive spells it, as the programs' normal form of a folder is.
  std::wstring temp = std::wstring(windows) + L"\\Temp\\";
  wchar_t long_form[MAX_PATH];
  DWORD length = GetLongPathNameW(temp.c_str(), long_form, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(long_form) : temp;
}

bool IsPrivateFolderName(const std::wstring& name) {
  return IsPrivateFolderName(name.c_str());
}

namespace {

bool FolderExistsHere(const std::wstring& path) {
  DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Whether the private folder `folder` holds a Run Once installation (setup's, not the
// uninstaller's copy).
bool HoldsRunOnce(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW((folder + L"\\KOZ_Soft_*").c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  return true;
}

}  // namespace

std::vector<std::wstring> SecondPhaseFolders() {
  std::vector<std::wstring> copies;
  for (const std::wstring& folder : PrivateFoldersIn(CopyHomeFolder())) {
    if (!HoldsRunOnce(folder)) copies.push_back(folder);
  }
  return copies;
}

std::vector<std::wstring> RunOnceFoldersOf(const std::wstring& product) {
  std::vector<std::wstring> found;
  for (const std::wstring& folder : PrivateFoldersIn(CopyHomeFolder())) {
    if (FolderExistsHere(folder + L"\\KOZ_Soft_" + product)) found.push_back(folder);
  }
  return found;
}

std::vector<std::wstring> PrivateFoldersIn(const std::wstring& folder) {
  std::vector<std::pair<ULONGLONG, std::wstring>> found;
  std::wstring temp = folder;
  if (!temp.empty() && temp.back() != L'\\') temp += L'\\';
  WIN32_FIND_DATAW data;
  HANDLE search = FindFirstFileW((temp + L"koz-*").c_str(), &data);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
          IsPrivateFolderName(data.cFileName)) {
        ULONGLONG created = ((ULONGLONG)data.ftCreationTime.dwHighDateTime << 32) |
                            data.ftCreationTime.dwLowDateTime;
        found.push_back({created, temp + data.cFileName});
      }
    } while (FindNextFileW(search, &data));
    FindClose(search);
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::wstring> folders;
  for (const auto& entry : found) folders.push_back(entry.second);
  return folders;
}

std::wstring SecondPhaseCopyPath() {
  std::vector<std::wstring> folders = SecondPhaseFolders();
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) {
    std::wstring copy = *folder + L"\\" + kCopyName;
    if (GetFileAttributesW(copy.c_str()) != INVALID_FILE_ATTRIBUTES) return copy;
  }
  return std::wstring();
}

std::wstring UnprotectedCopyPath() { return TempFolder() + kCopyName; }

std::vector<DWORD> SecondPhaseProcesses() {
  std::vector<DWORD> found;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return found;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof(entry);
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (lstrcmpiW(entry.szExeFile, kCopyName) == 0) found.push_back(entry.th32ProcessID);
  }
  CloseHandle(snapshot);
  return found;
}

Child WaitForSecondPhaseStart(DWORD timeout_ms) {
  Child child;
  DWORD start = GetTickCount();
  for (;;) {
    for (DWORD pid : SecondPhaseProcesses()) {
      // Readable too, so that tests can see how it was started (harness/process_view.h).
      child.process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE |
                                      PROCESS_VM_READ,
                                  FALSE, pid);
      if (child.process != NULL) {
        child.pid = pid;
        return child;
      }
    }
    if (GetTickCount() - start > timeout_ms) return child;
    Sleep(10);
  }
}

DWORD WaitForSecondPhaseEnd(DWORD timeout_ms) {
  DWORD code = 0xFFFFFFFF;
  DWORD start = GetTickCount();
  for (DWORD pid : SecondPhaseProcesses()) {
    // Waiting through a handle also lets Wine reap a process that outlived its parent.
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE,
                                 FALSE, pid);
    if (process == NULL) continue;
    DWORD elapsed = GetTickCount() - start;
    DWORD left = elapsed < timeout_ms ? timeout_ms - elapsed : 0;
    if (WaitForSingleObject(process, left) == WAIT_OBJECT_0) {
      GetExitCodeProcess(process, &code);
    } else {
      ADD_FAILURE() << "second phase " << pid << " did not end within " << timeout_ms << " ms";
      TerminateProcess(process, kTimedOut);
      WaitForSingleObject(process, 5000);
      code = kTimedOut;
    }
    CloseHandle(process);
  }
  return code;
}

DWORD FinishBothPhases(Child& first, DWORD timeout_ms) {
  Child second = WaitForSecondPhaseStart(kWindowTimeoutMs);
  EXPECT_NE(second.process, (HANDLE)NULL) << "no second phase";
  EXPECT_EQ(FinishChild(first, timeout_ms), 0u);
  DWORD code = FinishChild(second, timeout_ms);
  EXPECT_NE(code, kTimedOut) << "the second phase did not end";
  return code;
}

std::vector<std::wstring> PendingDeletionsOfSecondPhaseCopy() {
  std::vector<std::wstring> naming;
  std::vector<std::wstring> entries = ReadPending();
  for (size_t i = 0; i + 1 < entries.size(); i += 2) {
    if (!entries[i + 1].empty() || !NamesCopy(entries[i])) continue;
    const std::wstring& entry = entries[i];
    naming.push_back(entry.compare(0, 4, L"\\??\\") == 0 ? entry.substr(4) : entry);
  }
  return naming;
}

TestHandOver::TestHandOver(const std::wstring& folder)
    : folder_(folder), copy_(folder + L"\\uninstall.exe") {
  CreateDirectoryW(folder_.c_str(), NULL);
  CopyForTest(UninstallerExe(), copy_);
  static unsigned counter = 0;
  wchar_t name[kHandOverEventCapacity];
  wsprintfW(name, L"koz-test-%lx-%u", GetCurrentProcessId(), ++counter);
  event_name_ = name;
  event_ = CreateEventW(NULL, TRUE, FALSE, name);
  EXPECT_NE(event_, (HANDLE)NULL);
}

TestHandOver::~TestHandOver() {
  if (event_ != NULL) CloseHandle(event_);
}

void TestHandOver::Write(const std::wstring& installation, DWORD first_phase) {
  HandOver hand_over = {};
  hand_over.marker = kHandOverMarker;
  hand_over.first_phase_id = first_phase;
  lstrcpynW(hand_over.event_name, event_name_.c_str(), kHandOverEventCapacity);
  // The folder as it is now, as the first phase reads it from its hold.
  HANDLE folder = CreateFileW(installation.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
  ASSERT_NE(folder, INVALID_HANDLE_VALUE) << Utf8(installation);
  bool identified = ReadFileIdentity(folder, &hand_over.installation);
  CloseHandle(folder);
  ASSERT_TRUE(identified) << Utf8(installation);
  HANDLE home = CreateFileW(folder_.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
  ASSERT_NE(home, INVALID_HANDLE_VALUE) << Utf8(folder_);
  bool written = WriteHandOverIn(home, hand_over);
  CloseHandle(home);
  ASSERT_TRUE(written) << Utf8(folder_);
  ResetEvent(event_);
}

Child TestHandOver::Start(const std::wstring& installation, const std::wstring& arguments,
                          const wchar_t* directory) {
  Write(installation);
  return StartChild(Quoted(copy_) + L" " + arguments, directory);
}

bool TestHandOver::Signalled() const { return WaitForSingleObject(event_, 0) == WAIT_OBJECT_0; }

namespace {

// Removes every private folder with its copy (even when read-only) and the unprotected
// copy, and every PendingFileRenameOperations entry that names one of them, so nothing is
// left for the next restart.
void RemoveSecondPhaseCopy() {
  for (const std::wstring& folder : SecondPhaseFolders()) RemoveTree(folder);
  std::wstring copy = UnprotectedCopyPath();
  SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL);
  DeleteFileW(copy.c_str());
  // Entries come in pairs: the file, then its new name (empty for a deletion).
  std::vector<std::wstring> entries = ReadPending();
  std::vector<std::wstring> kept;
  bool changed = false;
  for (size_t i = 0; i + 1 < entries.size(); i += 2) {
    if (NamesCopy(entries[i])) {
      changed = true;
      continue;
    }
    kept.push_back(entries[i]);
    kept.push_back(entries[i + 1]);
  }
  if (changed) WritePending(kept);
}

// Ends every running second phase, giving each `wait_ms` to finish on its own first.
void EndSecondPhases(DWORD wait_ms) {
  for (DWORD pid : SecondPhaseProcesses()) {
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    if (process == NULL) continue;
    if (WaitForSingleObject(process, wait_ms) != WAIT_OBJECT_0) {
      TerminateProcess(process, kTimedOut);
      WaitForSingleObject(process, 5000);
    }
    CloseHandle(process);
  }
}

}  // namespace

SecondPhaseCleanup::SecondPhaseCleanup() {
  EndSecondPhases(0);
  RemoveSecondPhaseCopy();
}

SecondPhaseCleanup::~SecondPhaseCleanup() {
  // A test that failed early may leave its second phase running (perhaps showing a box).
  EndSecondPhases(3000);
  RemoveSecondPhaseCopy();
}
