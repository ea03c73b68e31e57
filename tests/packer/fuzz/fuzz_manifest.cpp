// The manifest reader: any bytes as a manifest, over a made-up file system so that no run
// touches the disk. A source named "missing..." does not exist, one ending in "dir" or a
// separator is a folder, "pipe" is neither file nor folder, everything else is a file
// whose size is its name's length. Every folder holds the same small tree, two levels deep.
#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "packer/core/manifest.h"

namespace {

SourceInfo MadeUpSource(const std::string& path) {
  SourceInfo info;
  std::string name = path.substr(path.find_last_of("/\\") + 1);
  if (name.compare(0, 7, "missing") == 0) return info;
  if (name == "pipe") {
    info.kind = SOURCE_OTHER;
  } else if (name.empty() || (name.size() >= 3 && name.compare(name.size() - 3, 3, "dir") == 0)) {
    info.kind = SOURCE_FOLDER;
  } else {
    info.kind = SOURCE_FILE;
    info.size = path.size();
  }
  return info;
}

bool MadeUpFolder(const FolderWalk& walk, std::vector<FolderItem>* items, FileIdentity*,
                  std::string*) {
  std::string path = WalkedPath(walk);
  size_t depth = 0;
  for (char c : path) depth += c == '/' ? 1 : 0;
  items->clear();
  const char* names[] = {"a.txt", "B.TXT", "sub", "link", ".git", "x.pdb"};
  FolderItemKind kinds[] = {ITEM_FILE, ITEM_FILE, ITEM_FOLDER, ITEM_LINK, ITEM_FOLDER, ITEM_FILE};
  for (size_t k = 0; k < 6; ++k) {
    if (kinds[k] == ITEM_FOLDER && depth > 4) continue;
    FolderItem item;
    item.name = names[k];
    item.kind = kinds[k];
    item.size = k * 100;
    items->push_back(item);
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text((const char*)data, size);
  Manifest manifest;
  std::vector<std::string> errors;
  if (ReadManifest(text, "fuzz.ini", "product/", MadeUpSource, &manifest, &errors,
                   MadeUpFolder)) {
    AddUninstaller("uninstall.exe", MadeUpSource, &manifest, &errors);
  }
  return 0;
}
