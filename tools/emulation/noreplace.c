/* Preloaded into the 32-bit programs that qemu-user runs where the machine runs no 32-bit
 * code. Wine maps fixed ranges with MAP_FIXED_NOREPLACE and counts on the kernel's answer:
 * exactly there, or EEXIST. qemu 7.2 takes the flag for a mere hint and maps elsewhere when
 * the range is taken; this gives the flag its meaning back. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <sys/mman.h>
#include <sys/types.h>

#ifndef MAP_FIXED_NOREPLACE
#define MAP_FIXED_NOREPLACE 0x100000
#endif

typedef void* (*MapFunction)(void*, size_t, int, int, int, off_t);
typedef void* (*Map64Function)(void*, size_t, int, int, int, off64_t);

static void* ExactlyThere(void* wanted, void* got, size_t length, int flags) {
  if (!(flags & MAP_FIXED_NOREPLACE) || got == MAP_FAILED || got == wanted) return got;
  munmap(got, length);
  errno = EEXIST;
  return MAP_FAILED;
}

void* mmap(void* address, size_t length, int protection, int flags, int fd, off_t offset) {
  static MapFunction real;
  if (!real) real = (MapFunction)dlsym(RTLD_NEXT, "mmap");
  return ExactlyThere(address, real(address, length, protection, flags, fd, offset), length, flags);
}

void* mmap64(void* address, size_t length, int protection, int flags, int fd, off64_t offset) {
  static Map64Function real;
  if (!real) real = (Map64Function)dlsym(RTLD_NEXT, "mmap64");
  return ExactlyThere(address, real(address, length, protection, flags, fd, offset), length, flags);
}
