// "pack --init FOLDER": a starter manifest for the files in a product folder, checked the
// way pack reads it and written as a new file, never over an existing one.
#pragma once

#include <string>

// One --init run, as the command line gives it. Paths are UTF-8.
struct InitRequest {
  std::string folder;   // the product folder
  std::string output;   // "" for FOLDER.ini beside the folder
  std::string name;     // "" for the name from the folder's name
  std::string version;  // "" for the version from the folder's name
};

// Writes the starter manifest for `request.folder` (core/starter_manifest.h) and prints
// what it holds and the command that builds the setup. Returns 0, or 1 after printing the
// problem on standard error with nothing written: a folder that cannot be read, an output
// that exists already, or a manifest that pack would refuse (a name or version the folder's
// name cannot give).
int InitManifest(const InitRequest& request);
