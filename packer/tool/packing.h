// "pack MANIFEST -o OUTPUT.exe": reading the manifest, checking it, and streaming the
// package into a copy of the setup stub, signed if the publisher asks for it. Portable,
// over the host's files and shell.
#pragma once

#include <string>

// One packing run, as the command line gives it. Paths are UTF-8.
struct PackRequest {
  std::string manifest;
  std::string output;
  std::string stub;          // empty: the default for the manifest's arch
  std::string uninstaller;   // empty: the default for the manifest's arch
  std::string sign_command;  // empty: nothing is signed
};

// Packs the product that `request.manifest` describes into `request.output`, a copy of the
// stub carrying the package, with the uninstaller as its first entry. Returns 0, or 1
// after printing every problem on standard error; on failure the output is left as it was
// and no temporary file stays.
int PackInstaller(const PackRequest& request);

// Where the default stub or uninstaller `name` is: beside the program (a build folder),
// else in the share folder of an installation (PREFIX/share/pack beside PREFIX/bin). When
// neither holds it, the path beside the program, for the message.
std::string DefaultPart(const std::string& name);
