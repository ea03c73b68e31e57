#include "packer/tool/shell_command.h"

#include <errno.h>
#include <fcntl.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

bool RunShellCommand(const std::string& command, int* exit_code, std::string* output,
                     std::string* error) {
  int pipe_ends[2];
  if (pipe2(pipe_ends, O_CLOEXEC) != 0) {
    *error = std::string("cannot start /bin/sh: ") + strerror(errno);
    return false;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, pipe_ends[1], STDERR_FILENO);
  const char* arguments[] = {"sh", "-c", command.c_str(), nullptr};
  pid_t child = 0;
  int started = posix_spawn(&child, "/bin/sh", &actions, nullptr, (char* const*)arguments, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(pipe_ends[1]);
  if (started != 0) {
    close(pipe_ends[0]);
    *error = std::string("cannot start /bin/sh: ") + strerror(started);
    return false;
  }
  char buffer[4096];
  for (;;) {
    ssize_t got = read(pipe_ends[0], buffer, sizeof(buffer));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    output->append(buffer, (size_t)got);
  }
  close(pipe_ends[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  *exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return true;
}

std::string QuoteForShell(const std::string& path) {
  std::string quoted = "'";
  for (char c : path) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}
