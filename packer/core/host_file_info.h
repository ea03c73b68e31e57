// What a host tells about its files and folders, in the terms the packer's core asks it in:
// what a source path is, which file something is, the names a folder lists, and the way down
// to a folder below a folder line's source. The core asks through the two callbacks here
// (SourceLookup, FolderLister), so the same code serves any host.
#pragma once

#include <stdint.h>
#include <functional>
#include <string>
#include <vector>

// What the file system says about a source path.
enum SourceKind {
  SOURCE_MISSING,  // nothing there, or not readable
  SOURCE_FILE,     // a file of `size` bytes
  SOURCE_FOLDER,   // a folder, not a file
  SOURCE_OTHER,    // a device, a pipe or a socket: nothing a package can carry
};
struct SourceInfo {
  SourceKind kind = SOURCE_MISSING;
  uint64_t size = 0;
};
using SourceLookup = std::function<SourceInfo(const std::string& path)>;

// Which file or folder something is, as its host tells: the volume (device) that holds it
// and its number there. Every name of one file gives the same identity; another file, even
// one put in its place under its name, gives another.
struct FileIdentity {
  uint64_t volume = 0, index = 0;
};
inline bool operator==(const FileIdentity& a, const FileIdentity& b) {
  return a.volume == b.volume && a.index == b.index;
}
inline bool operator!=(const FileIdentity& a, const FileIdentity& b) { return !(a == b); }

// One name in a folder, as the host lists it, without following links.
enum FolderItemKind { ITEM_FILE, ITEM_FOLDER, ITEM_LINK, ITEM_OTHER };
struct FolderItem {
  std::string name;  // UTF-8, no separator
  FolderItemKind kind = ITEM_OTHER;
  uint64_t size = 0;      // for ITEM_FILE
  FileIdentity identity;  // for ITEM_FILE and ITEM_FOLDER: what the listing found there
};

// The way from a folder line's source folder down to a folder below it, each step as its
// parent's listing found it. Whoever opens the folder again walks it step by step and
// checks each one, so that nothing put in the tree's place since (another folder, a link
// to one) is read instead.
struct FolderWalk {
  std::string root;               // the folder line's source folder, resolved, ending in "/"
  FileIdentity root_identity;     // the root as its first listing found it
  std::vector<FolderItem> steps;  // the folders from `root` down, outermost first
};

// "root/a/b/": the path of the folder `walk` leads to, ending in "/".
inline std::string WalkedPath(const FolderWalk& walk) {
  std::string path = walk.root;
  for (const FolderItem& step : walk.steps) path += step.name + "/";
  return path;
}

// Lists the folder `walk` leads to (any order) into `items`. With no steps, the root as its
// path finds it, whose identity goes to `*root_identity`; otherwise the root and every step
// must still be what `walk` records. Returns false with a message in `error` when the
// folder cannot be read or has changed.
using FolderLister = std::function<bool(const FolderWalk& walk, std::vector<FolderItem>* items,
                                        FileIdentity* root_identity, std::string* error)>;
