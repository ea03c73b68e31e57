// Input for the bounded readers placed right before an inaccessible page: a read one byte
// past the data faults at once instead of passing unnoticed.
#pragma once

#include <windows.h>
#include <stddef.h>

// A copy of `size` bytes at `data` whose last byte ends a page; the next page is
// inaccessible. Empty data sits right at the guard page.
class GuardedMemory {
 public:
  GuardedMemory(const void* data, size_t size);
  ~GuardedMemory();
  GuardedMemory(const GuardedMemory&) = delete;
  GuardedMemory& operator=(const GuardedMemory&) = delete;
  const BYTE* begin() const { return begin_; }
  const BYTE* end() const { return begin_ + size_; }

 private:
  BYTE* base_ = NULL;
  BYTE* begin_ = NULL;
  size_t size_ = 0;
};
