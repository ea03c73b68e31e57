#include "packer/tool/console.h"

#include <errno.h>
#include <unistd.h>

namespace {

void Print(int fd, const std::string& utf8) {
  size_t done = 0;
  while (done < utf8.size()) {
    ssize_t written = write(fd, utf8.data() + done, utf8.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    done += (size_t)written;
  }
}

}  // namespace

void PrintOut(const std::string& utf8) { Print(STDOUT_FILENO, utf8); }

void PrintError(const std::string& utf8) { Print(STDERR_FILENO, utf8); }
