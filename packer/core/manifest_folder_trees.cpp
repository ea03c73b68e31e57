// Folder lines ("target\ = source/"): the source folder's tree, walked through the host's
// lister one folder at a time and added in name order, and the [exclude] patterns that
// leave names or paths of it out.
#include <algorithm>

#include "packer/core/manifest_reading.h"
#include "packer/core/message_text.h"
#include "packer/core/target_names.h"
#include "packer/core/text_encoding.h"

namespace {

// A [files] line that adds a source folder's tree below a target folder.
struct FolderLine {
  std::string target;  // UTF-8 with its trailing backslash; "" for the installation folder
  std::string source;  // as written, ending in a separator
  std::string root;    // resolved, ending in "/"
  int line = 0;
};

// ""sub/page.htm" in folder "docs/help/"", which messages about a found path start with.
std::string FoundPath(const FolderLine& tree, const std::string& relative) {
  return Quote(relative) + " in folder " + Quote(tree.source);
}

// Whether an [exclude] pattern leaves out `relative` (the path below the folder line's
// source) or its last part `name`.
bool IsExcluded(const Reading& reading, const std::string& relative, const std::string& name) {
  for (const ExcludePattern& exclude : reading.excludes) {
    if (MatchesPattern(exclude.pattern, exclude.by_path ? relative : name)) return true;
  }
  return false;
}

void AddFolderTree(Reading& reading, Manifest* manifest, const FolderLine& tree,
                   const std::string& relative, int walk);

// Why a folder line cannot take the listed `item`, "" when it can.
std::string FoundItemProblem(const FolderItem& item) {
  if (item.kind == ITEM_LINK) {
    return " is a symbolic link, which could point anywhere on this machine; put the file "
           "itself there or exclude it";
  }
  if (item.kind == ITEM_OTHER) return " is not a regular file (a device, a pipe or a socket)";
  // A POSIX name may hold a backslash, which Windows would take for a folder separator.
  if (item.name.find('\\') != std::string::npos) {
    return " holds a backslash in its name, which Windows takes for a folder separator";
  }
  return "";
}

// Adds one item that the folder `walk` leads to lists; `relative` is its path below the
// folder line's source.
void AddFoundItem(Reading& reading, Manifest* manifest, const FolderLine& tree,
                  const FolderItem& item, const std::string& relative, int walk) {
  std::string found = FoundPath(tree, relative);
  std::string context = found + ": ";
  std::string refused = FoundItemProblem(item);
  if (!refused.empty()) return Fail(reading, tree.line, found + refused);
  std::string target = tree.target + relative;
  std::replace(target.begin(), target.end(), '/', '\\');
  if (item.kind == ITEM_FOLDER) {
    std::string ansi;
    std::string problem = CheckPackageName(target, "folder", &ansi);
    if (!problem.empty()) return Fail(reading, tree.line, context + problem);
    size_t errors_before = reading.errors->size();
    AddFolder(reading, manifest, ansi, tree.line);
    if (reading.errors->size() == errors_before) {
      FolderWalk below = manifest->walks[walk];
      below.steps.push_back(item);
      manifest->walks.push_back(below);
      AddFolderTree(reading, manifest, tree, relative + "/", (int)manifest->walks.size() - 1);
    }
    return;
  }
  FileToAdd file;
  file.target = target;
  file.source = tree.source + relative;
  file.path = tree.root + relative;
  file.from_tree = true;
  file.found_at = found;
  file.context = context;
  file.found.walk = walk;
  file.found.file = item;
  SourceInfo info;
  info.kind = SOURCE_FILE;
  info.size = item.size;
  AddFileEntry(reading, manifest, file, info, tree.line);
}

// Adds everything below `relative` ("" or a path ending in "/") of the folder line's
// source, which the folder `walk` (an index into the manifest's walks) leads to, sorted by
// name so that the package is the same whatever order the host lists. Depth is bounded by
// the target length, which every folder found is checked against.
void AddFolderTree(Reading& reading, Manifest* manifest, const FolderLine& tree,
                   const std::string& relative, int walk) {
  std::vector<FolderItem> items;
  FileIdentity root_identity;
  std::string error;
  if (!(*reading.lister)(manifest->walks[walk], &items, &root_identity, &error)) {
    return Fail(reading, tree.line, error);
  }
  if (manifest->walks[walk].steps.empty()) manifest->walks[walk].root_identity = root_identity;
  std::sort(items.begin(), items.end(),
            [](const FolderItem& a, const FolderItem& b) { return a.name < b.name; });
  for (const FolderItem& item : items) {
    std::string path = relative + item.name;
    if (IsExcluded(reading, path, item.name)) continue;
    AddFoundItem(reading, manifest, tree, item, path, walk);
  }
}

}  // namespace

void ReadFolderTreeLine(Reading& reading, Manifest* manifest, const std::string& target,
                        const std::string& source, int line) {
  FolderLine tree;
  tree.target = target == "\\" ? "" : target;
  tree.source = source;
  tree.root = ResolveSource(reading.folder, source);
  tree.line = line;
  if (!tree.target.empty()) {
    std::string ansi;
    std::string folder = tree.target.substr(0, tree.target.size() - 1);
    std::string problem = CheckPackageName(folder, "folder", &ansi);
    if (!problem.empty()) return Fail(reading, line, problem);
    size_t errors_before = reading.errors->size();
    AddFolder(reading, manifest, ansi, line);
    if (reading.errors->size() != errors_before) return;
  }
  SourceInfo info = (*reading.lookup)(tree.root.substr(0, tree.root.size() - 1));
  if (info.kind == SOURCE_MISSING) {
    return Fail(reading, line, "source folder " + Quote(source) + " not found" +
                                   (tree.root == source ? "" : " (looked for " + Quote(tree.root) + ")"));
  }
  if (info.kind != SOURCE_FOLDER) {
    return Fail(reading, line, "source " + Quote(source) + " is not a folder; a line for one " +
                                   "file has no separator at the end of either name");
  }
  if (!*reading.lister) return Fail(reading, line, "folder lines cannot be read here");
  FolderWalk top;
  top.root = tree.root;
  manifest->walks.push_back(top);
  AddFolderTree(reading, manifest, tree, "", (int)manifest->walks.size() - 1);
}

void ReadExcludeLine(Reading& reading, const std::string& text, int line) {
  std::string pattern = text;
  std::replace(pattern.begin(), pattern.end(), '\\', '/');
  bool anchored = false;
  for (;;) {
    if (pattern.compare(0, 2, "./") == 0) {
      pattern.erase(0, 2);
    } else if (!pattern.empty() && pattern.front() == '/') {
      pattern.erase(0, 1);
    } else {
      break;
    }
    anchored = true;
  }
  while (!pattern.empty() && pattern.back() == '/') pattern.pop_back();
  if (pattern.empty()) {
    return Fail(reading, line, "exclude pattern " + Quote(text) + " names nothing");
  }
  ExcludePattern exclude;
  exclude.pattern = pattern;
  exclude.by_path = anchored || pattern.find('/') != std::string::npos;
  reading.excludes.push_back(exclude);
}

namespace {

// The characters of `text` for matching: its code points, or, for a name that is not
// UTF-8 (a POSIX host allows any bytes), one character per byte. Letters are folded to
// lower case as NameKey folds targets, the Windows-1252 ones included, so that a pattern
// leaves out a file whatever the case of either, as Windows would take them for one.
std::u32string MatchCharacters(const std::string& text) {
  std::u32string characters;
  if (!DecodeUtf8(text, &characters)) {
    characters.clear();
    for (char c : text) characters.push_back((uint8_t)c);
  }
  for (char32_t& c : characters) {
    uint8_t byte;
    if (!Windows1252Byte(c, &byte)) continue;
    c = Windows1252CodePoint((uint8_t)NameKey(std::string(1, (char)byte))[0]);
  }
  return characters;
}

// Whether one path part `name` matches the pattern part `pattern` ("*" any run, "?" one
// character). Greedy with one point to return to, so it takes time linear in each size.
bool MatchesPart(const std::u32string& pattern, const std::u32string& name) {
  size_t p = 0, n = 0, star = std::string::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
      ++p;
      ++n;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_n = n;
    } else if (star != std::string::npos) {
      p = star + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::vector<std::string> SplitAtSlashes(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t stop = path.find('/', start);
    parts.push_back(path.substr(start, stop == std::string::npos ? std::string::npos : stop - start));
    if (stop == std::string::npos) return parts;
    start = stop + 1;
  }
}

}  // namespace

bool MatchesPattern(const std::string& pattern, const std::string& name) {
  std::vector<std::string> pattern_parts = SplitAtSlashes(pattern), name_parts = SplitAtSlashes(name);
  if (pattern_parts.size() != name_parts.size()) return false;
  for (size_t k = 0; k < pattern_parts.size(); ++k) {
    if (!MatchesPart(MatchCharacters(pattern_parts[k]), MatchCharacters(name_parts[k]))) {
      return false;
    }
  }
  return true;
}
