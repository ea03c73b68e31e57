// Test tooling for pack_swap_test.sh, loaded into the native pack with LD_PRELOAD: the first
// time pack opens a path whose last part is $SWAP_AT (through open, openat or opendir), it
// runs the shell command $SWAP_COMMAND and only then lets the open go on. The command
// changes the product's tree at a moment the test picks (a folder swapped for a link while
// the one before it is listed, a file replaced between its listing and its reading), the
// way someone racing the packer would. Without both variables it changes nothing.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

namespace {

bool swapped = false;

// Whether the last part of `path` (trailing slashes left aside) is `name`.
bool LastPartIs(const char* path, const char* name) {
  size_t end = strlen(path);
  while (end > 0 && path[end - 1] == '/') --end;
  size_t start = end;
  while (start > 0 && path[start - 1] != '/') --start;
  return end - start == strlen(name) && strncmp(path + start, name, end - start) == 0;
}

void SwapBefore(const char* path) {
  const char* at = getenv("SWAP_AT");
  const char* command = getenv("SWAP_COMMAND");
  if (swapped || at == nullptr || command == nullptr || !LastPartIs(path, at)) return;
  swapped = true;
  unsetenv("LD_PRELOAD");  // the command's own programs run as they are
  if (system(command) != 0) {
    fprintf(stderr, "swap_on_open: the command failed: %s\n", command);
    _exit(99);
  }
}

template <typename Function>
Function Next(const char* name) {
  return (Function)dlsym(RTLD_NEXT, name);
}

// The mode argument, which open and openat take only with O_CREAT or O_TMPFILE.
mode_t ModeOf(int flags, va_list arguments) {
  return (flags & (O_CREAT | O_TMPFILE)) ? (mode_t)va_arg(arguments, int) : 0;
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = ModeOf(flags, arguments);
  va_end(arguments);
  SwapBefore(path);
  return Next<int (*)(const char*, int, ...)>("open")(path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = ModeOf(flags, arguments);
  va_end(arguments);
  SwapBefore(path);
  return Next<int (*)(const char*, int, ...)>("open64")(path, flags, mode);
}

int openat(int folder, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = ModeOf(flags, arguments);
  va_end(arguments);
  SwapBefore(path);
  return Next<int (*)(int, const char*, int, ...)>("openat")(folder, path, flags, mode);
}

int openat64(int folder, const char* path, int flags, ...) {
  va_list arguments;
  va_start(arguments, flags);
  mode_t mode = ModeOf(flags, arguments);
  va_end(arguments);
  SwapBefore(path);
  return Next<int (*)(int, const char*, int, ...)>("openat64")(folder, path, flags, mode);
}

DIR* opendir(const char* path) {
  SwapBefore(path);
  return Next<DIR* (*)(const char*)>("opendir")(path);
}

}  // extern "C"
