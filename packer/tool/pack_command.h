// The packing tool's command line, the same for pack.exe and the native pack:
//   pack MANIFEST -o OUTPUT.exe [--stub STUB.exe] [--uninstaller UNINSTALL.exe]
//        [--sign 'COMMAND {file}']
//   pack --list SETUP.exe
//   pack --init FOLDER [-o MANIFEST.ini] [--name NAME] [--version VERSION]
//   pack --version | --help
// Exit codes: 0 done, 1 refused or failed (messages on standard error), 2 usage error.
#pragma once

#include <string>
#include <vector>

// Runs the tool with `arguments` (UTF-8, without the program's own name). Returns the
// process's exit code.
int RunPackCommand(const std::vector<std::string>& arguments);
