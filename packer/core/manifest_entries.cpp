// The package's entries and folders as the lines bring them: the checks of every name
// (reserved names at the root, duplicates, files and folders of one name), the folders a
// file needs, what the file system says of each source, and the uninstaller put first.
#include "package/package_layout.h"
#include "packer/core/manifest_reading.h"
#include "packer/core/message_text.h"
#include "packer/core/target_names.h"
#include "packer/core/tool_identity.h"

namespace {

// Why the root may not hold `key` (a NameKey of one path part): the packer's uninstaller and
// the installer's log, also through a short 8.3 name that the file system could resolve to
// them. Returns "" when it may.
std::string ReservedRootReason(const std::string& key) {
  std::string reserved = IsShortNameOf(key, UNINSTALLER_FILE_NAME) ? UNINSTALLER_FILE_NAME
                         : IsShortNameOf(key, "uninstall.dat")     ? "uninstall.dat"
                                                                   : "";
  if (!reserved.empty()) {
    return "could be taken for \"" + reserved + "\" through its short 8.3 name, " +
           "which is reserved at the root";
  }
  if (key == UNINSTALLER_FILE_NAME) {
    return "is reserved for the uninstaller that " PACK_TOOL_NAME " adds itself";
  }
  if (key == "uninstall.dat") return "is reserved for the installer's uninstall log";
  return "";
}

// Refuses a file or folder whose name at the root is reserved, whether it is the path
// itself or the root folder it lies in (a root folder "uninstall.dat" would stand where
// the installer writes its log).
std::string ReservedRootName(const char* noun, const std::string& ansi) {
  std::string root = ansi.substr(0, ansi.find('\\'));
  std::string reason = ReservedRootReason(NameKey(root));
  if (reason.empty()) return "";
  std::string quoted = std::string(noun) + " " + Quote(AnsiToUtf8(ansi));
  if (root == ansi) return quoted + " " + reason;
  return quoted + " lies in the folder " + Quote(AnsiToUtf8(root)) + " at the root; " +
         Quote(AnsiToUtf8(root)) + " " + reason;
}

// " as "Readme.txt"" when the earlier name was spelt otherwise than `spelling`: Windows
// takes names that differ only in case for one, and a publisher looks for the other spelling.
std::string EarlierSpelling(const NameSeen& earlier, const std::string& spelling) {
  return earlier.spelling == spelling ? "" : " as " + Quote(earlier.spelling);
}

// "(first at line 6 as "README.txt", "README.txt" in folder "docs/")": where an earlier
// name came from, for a duplicate spelt `spelling`.
std::string FirstSeen(const NameSeen& earlier, const std::string& spelling) {
  return "(first at line " + std::to_string(earlier.line) + EarlierSpelling(earlier, spelling) +
         (earlier.found.empty() ? "" : ", " + earlier.found) + ")";
}

}  // namespace

void AddFolder(Reading& reading, Manifest* manifest, const std::string& folder, int line) {
  size_t stop = 0;
  for (;;) {
    stop = folder.find('\\', stop);
    std::string prefix = folder.substr(0, stop);
    std::string key = NameKey(prefix);
    std::string spelling = AnsiToUtf8(prefix);
    auto file = reading.targets.find(key);
    if (file != reading.targets.end()) {
      Fail(reading, line, "folder " + Quote(spelling) + " is a file at line " +
                              std::to_string(file->second.line) +
                              EarlierSpelling(file->second, spelling));
      return;
    }
    NameSeen seen;
    seen.line = line;
    seen.spelling = spelling;
    if (reading.folders.emplace(key, seen).second) {
      manifest->contents.folders.push_back(prefix);
    }
    if (stop == std::string::npos) return;
    ++stop;
  }
}

namespace {

// Checks what the file system says about the source of a [files] line: a regular file of
// less than 4 GiB. `path` is where it was looked for. Returns "" or the problem.
std::string CheckSource(const std::string& source, const std::string& path,
                        const SourceInfo& info) {
  std::string quoted = "source " + Quote(source);
  if (info.kind == SOURCE_MISSING) {
    // Sources resolve against the manifest's folder, not the current one: say where.
    return quoted + " not found" + (path == source ? "" : " (looked for " + Quote(path) + ")");
  }
  if (info.kind == SOURCE_FOLDER) {
    return quoted + " is a folder, not a file; to add a whole folder, end both target and " +
           "source with a separator: " + kFolderSyntax;
  }
  if (info.kind == SOURCE_OTHER) {
    return quoted + " is not a regular file (a device, a pipe or a socket)";
  }
  if (info.size > 0xFFFFFFFFull) {
    return quoted + " has " + std::to_string(info.size) +
           " bytes; a package entry holds less than 4 GiB";
  }
  return "";
}

// Gives the entry a folder line brought for `key` the flags and source of an explicit
// line. Returns false when no folder line brought it (a plain duplicate).
bool ReplaceTreeEntry(Reading& reading, Manifest* manifest, const std::string& key,
                      const FileToAdd& file, const SourceInfo& info, int line) {
  auto tree = reading.tree_entries.find(key);
  if (tree == reading.tree_entries.end()) return false;
  size_t index = tree->second;
  reading.tree_entries.erase(tree);
  NameSeen& seen = reading.targets[key];
  seen.line = line;
  seen.spelling = file.target;
  seen.found.clear();
  manifest->contents.entries[index].flags = file.flags;
  manifest->sources[index] = file.path;
  manifest->content_sizes[index] = (uint32_t)info.size;
  manifest->lines[index] = line;
  manifest->found[index] = FoundSource();
  return true;
}

// Appends the entry of the checked `file` (target `ansi`, source `info`).
void AppendEntry(Manifest* manifest, const FileToAdd& file, const std::string& ansi,
                 const SourceInfo& info, int line) {
  PackageEntry entry;
  entry.flags = file.flags;
  entry.name = ansi;
  manifest->contents.entries.push_back(entry);
  manifest->sources.push_back(file.path);
  manifest->content_sizes.push_back((uint32_t)info.size);
  manifest->lines.push_back(line);
  manifest->found.push_back(file.found);
}

// Adds or refuses `file`, whose target `key` an earlier file took (`earlier`): a file with a
// line of its own replaces the one a folder line brought; any other is a duplicate.
void AddTakenTarget(Reading& reading, Manifest* manifest, const FileToAdd& file,
                    const SourceInfo& info, const std::string& key, const NameSeen& earlier,
                    int line) {
  bool earlier_from_tree = reading.tree_entries.count(key) != 0;
  // A file with its own line keeps it, whichever comes first; only trees may overlap it.
  if (file.from_tree && !earlier_from_tree) return;
  if (!file.from_tree && earlier_from_tree) {
    std::string problem = CheckSource(file.source, file.path, info);
    if (!problem.empty()) return Fail(reading, line, problem);
    ReplaceTreeEntry(reading, manifest, key, file, info, line);
    return;
  }
  return Fail(reading, line, file.context + "duplicate target " + Quote(file.target) + " " +
                                 FirstSeen(earlier, file.target) +
                                 (earlier.spelling == file.target
                                      ? ""
                                      : "; Windows takes names that differ only in case "
                                        "for the same file"));
}

}  // namespace

void AddFileEntry(Reading& reading, Manifest* manifest, const FileToAdd& file,
                  const SourceInfo& info, int line) {
  std::string ansi;
  std::string problem = CheckPackageName(file.target, "target", &ansi);
  if (!problem.empty()) return Fail(reading, line, file.context + problem);
  std::string key = NameKey(ansi);
  auto earlier = reading.targets.find(key);
  if (earlier != reading.targets.end()) {
    return AddTakenTarget(reading, manifest, file, info, key, earlier->second, line);
  }
  auto folder_seen = reading.folders.find(key);
  if (folder_seen != reading.folders.end()) {
    return Fail(reading, line, file.context + "target " + Quote(file.target) +
                                   " is a folder at line " +
                                   std::to_string(folder_seen->second.line) +
                                   EarlierSpelling(folder_seen->second, file.target));
  }
  size_t last = ansi.rfind('\\');
  if (last != std::string::npos) AddFolder(reading, manifest, ansi.substr(0, last), line);
  NameSeen seen;
  seen.line = line;
  seen.spelling = file.target;
  seen.found = file.found_at;
  reading.targets.emplace(key, seen);

  problem = CheckSource(file.source, file.path, info);
  if (!problem.empty()) return Fail(reading, line, file.context + problem);
  if (file.from_tree) reading.tree_entries[key] = manifest->contents.entries.size();
  AppendEntry(manifest, file, ansi, info, line);
}

std::string CheckPackageName(const std::string& utf8, const char* noun, std::string* ansi) {
  std::string problem = CheckTargetName(utf8, noun, ansi);
  return problem.empty() ? ReservedRootName(noun, *ansi) : problem;
}

bool AddUninstaller(const std::string& path, const SourceLookup& lookup, Manifest* manifest,
                    std::vector<std::string>* errors) {
  SourceInfo info = lookup(path);
  if (info.kind != SOURCE_FILE || info.size == 0 || info.size > 0xFFFFFFFFull) {
    errors->push_back("the uninstaller " + Quote(path) + " is not a readable program file");
    return false;
  }
  PackageEntry entry;
  entry.flags = ENTRY_UNINSTALLER;
  entry.name = UNINSTALLER_FILE_NAME;
  PackageContents& contents = manifest->contents;
  contents.entries.insert(contents.entries.begin(), entry);
  manifest->sources.insert(manifest->sources.begin(), path);
  manifest->content_sizes.insert(manifest->content_sizes.begin(), (uint32_t)info.size);
  manifest->lines.insert(manifest->lines.begin(), 0);
  manifest->found.insert(manifest->found.begin(), FoundSource());
  return true;
}
