// pack: the packing tool as a native program of a POSIX host (packer/pack_command.h has
// the command line). Arguments and file names are taken as UTF-8.
#include <string>
#include <vector>

#include "packer/tool/pack_command.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  return RunPackCommand(arguments);
}
