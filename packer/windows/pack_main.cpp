// pack.exe: builds a single-file installer from a manifest, or lists the package of one
// (packer/pack_command.h has the command line).
#include <windows.h>

#include <string>
#include <vector>

#include "packer/tool/pack_command.h"
#include "packer/windows/windows_text.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int k = 1; k < argc; ++k) arguments.push_back(Utf8(argv[k]));
  return RunPackCommand(arguments);
}
