// Running a publisher's command (the sign command) through the host's shell: /bin/sh -c on
// a POSIX host (packer/posix/), cmd /c on Windows (packer/windows/).
#pragma once

#include <string>

// Runs `command` through the shell and waits for it. On return `*exit_code` is its exit
// code (128 + the signal's number when a signal ended it) and `*output` what it wrote to
// standard output and standard error. Returns false with a message in `error` when the
// shell could not be started.
bool RunShellCommand(const std::string& command, int* exit_code, std::string* output,
                     std::string* error);

// `path` quoted so that the shell passes it as one argument, unchanged.
std::string QuoteForShell(const std::string& path);
