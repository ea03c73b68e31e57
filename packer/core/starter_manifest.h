// The starter manifest that `pack --init FOLDER` writes: the product's name and version,
// one folder line for the whole folder, the program and the licence at its top flagged,
// the optional keys as comments, and an [exclude] line, with its reason, for every name in
// the folder that the packer would refuse. Portable: the folder is read through a
// FolderLister, as folder lines are.
#pragma once

#include <string>
#include <vector>

#include "packer/core/host_file_info.h"

// What the starter manifest is written for.
struct StarterRequest {
  std::string folder_path;    // the product folder for the lister, ending in "/"
  std::string folder_source;  // the same folder as the manifest names it, ending in "/"
  std::string folder_name;    // the folder's own name ("alpha-1.2"), for messages
  std::string name, version;  // the product's name and version
  std::string manifest_name;  // the manifest's file name, for the command in its comments
  std::string manifest_relative;  // "" or the manifest's path below the folder ("a/x.ini"),
                                  // which is left out of the folder line
};

// What the manifest holds, for the summary the tool prints.
struct StarterSummary {
  std::string program;   // "" or the target flagged programs and desktop
  std::string license;   // "" or the target flagged license
  size_t files = 0;      // files the folder line brings
  size_t excluded = 0;   // [exclude] lines written for names the packer would refuse
  int name_line = 0, version_line = 0;  // where `name` and `version` stand
};

// Writes the starter manifest for `request` into `text`. Returns false with a message in
// `errors` when the folder, or a folder in it, cannot be listed.
bool WriteStarterManifest(const StarterRequest& request, const FolderLister& lister,
                          std::string* text, StarterSummary* summary,
                          std::vector<std::string>* errors);

// A product's name and version from its folder's name: the version starts at the first
// digit right after a "-", "_" or " " (a "v" between them is dropped), and the name is
// what comes before that separator: "alpha-1.2" gives "alpha" and "1.2", "Alpha Tools
// 2.0 beta" gives "Alpha Tools" and "2.0 beta", "tool_v3" gives "tool" and "3". Without
// such a digit the whole folder name is the name and `*version` is "".
void SplitFolderName(const std::string& folder_name, std::string* name, std::string* version);
