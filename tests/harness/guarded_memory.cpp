#include "harness/guarded_memory.h"

#include <string.h>

GuardedMemory::GuardedMemory(const void* data, size_t size) : size_(size) {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  size_t page = info.dwPageSize;
  size_t data_pages = (size + page - 1) / page;
  if (data_pages == 0) data_pages = 1;
  base_ = (BYTE*)VirtualAlloc(NULL, (data_pages + 1) * page, MEM_RESERVE | MEM_COMMIT,
                              PAGE_READWRITE);
  DWORD old;
  VirtualProtect(base_ + data_pages * page, page, PAGE_NOACCESS, &old);
  begin_ = base_ + data_pages * page - size;
  if (size > 0) memcpy(begin_, data, size);
}

GuardedMemory::~GuardedMemory() { VirtualFree(base_, 0, MEM_RELEASE); }
