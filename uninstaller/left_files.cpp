#include "uninstaller/left_files.h"

#include <windows.h>
#include <shlwapi.h>

namespace {

// Makes room for one more file; false when no memory can be had.
bool MakeRoomForOne(LeftFiles* left) {
  if (left->count < left->capacity) return true;
  unsigned capacity = left->capacity == 0 ? 8 : left->capacity * 2;
  HANDLE heap = GetProcessHeap();
  void* grown = left->files == NULL
                    ? HeapAlloc(heap, 0, capacity * sizeof(LeftFile))
                    : HeapReAlloc(heap, 0, left->files, capacity * sizeof(LeftFile));
  if (grown == NULL) return false;
  left->files = (LeftFile*)grown;
  left->capacity = capacity;
  return true;
}

}  // namespace

RecordOutcome NoteLeftFile(LeftFiles* left, const wchar_t* path, RecordOutcome outcome) {
  if (!MakeRoomForOne(left) || !CopyText(left->files[left->count].path, kPathCapacity, path)) {
    left->lost = true;
    return outcome;
  }
  left->files[left->count++].outcome = outcome;
  return outcome;
}

RecordOutcome OutcomeOfFolderLeft(const LeftFiles* left, const wchar_t* folder, size_t length) {
  if (left->lost) return RECORD_STAYS;
  RecordOutcome outcome = RECORD_KEPT;
  for (unsigned i = 0; i < left->count; ++i) {
    const wchar_t* file = left->files[i].path;
    if (StrCmpNIW(file, folder, (int)length) != 0 || file[length] != L'\\') continue;
    if (left->files[i].outcome == RECORD_STAYS) return RECORD_STAYS;
    outcome = RECORD_AT_RESTART;
  }
  return outcome;
}

void ForgetLeftFiles(LeftFiles* left) {
  if (left->files != NULL) HeapFree(GetProcessHeap(), 0, left->files);
  left->files = NULL;
  left->count = left->capacity = 0;
  left->lost = false;
}
