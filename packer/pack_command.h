// The packing tool's command line, the same for pack.exe and the native pack:
//   pack MANIFEST -o OUTPUT.exe [--stub STUB.exe] [--uninstaller UNINSTALL.exe]
//        [--sign 'COMMAND {file}']
//   pack --list SETUP.exe
//   pack --version | --help
// Exit codes: 0 done, 1 refused or failed (messages on standard error), 2 usage error.
#pragma once

#include <string>
#include <vector>

// Runs the tool with `arguments` (UTF-8, without the program's own name). Returns the
// process's exit code.
int RunPackCommand(const std::vector<std::string>& arguments);

// Where the default stub or uninstaller `name` is: beside the program (a build folder),
// else in the share folder of an installation (PREFIX/share/pack beside PREFIX/bin). When
// neither holds it, the path beside the program, for the message.
std::string DefaultPart(const std::string& name);
