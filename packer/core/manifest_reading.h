// The manifest reader's own parts, shared by its files and by nothing else: the state of one
// reading, how a problem is reported, and what each part offers the others.
//   manifest.cpp               the whole manifest: its two passes, what only the whole shows
//   manifest_syntax.cpp        the .ini lines (sections, key = value, comments), near-miss keys
//   manifest_product.cpp       the [product] and [options] values and the package's limit
//   manifest_file_lines.cpp    the [files] and [folders] lines and their flags
//   manifest_entries.cpp       the package's entries and folders: names, duplicates, sources
//   manifest_folder_trees.cpp  the trees of folder lines and the [exclude] patterns
#pragma once

#include <stdint.h>
#include <map>
#include <string>
#include <vector>

#include "packer/core/manifest.h"

// A target or folder name already taken: the line that brought it, how it was spelt there
// and, for one a folder line found, where below that line's source.
struct NameSeen {
  int line = 0;
  std::string spelling;  // UTF-8, backslashes between folders
  std::string found;     // "" or ""sub/Page.htm" in folder "docs/""
};

// An [exclude] line: a pattern for each name, or for the whole path below a folder line's
// source (a pattern that holds "/" or starts with one).
struct ExcludePattern {
  std::string pattern;  // without leading or trailing "/"
  bool by_path = false;
};

// Everything one reading collects before it becomes a Manifest.
struct Reading {
  std::string name;  // the manifest's name, for messages
  std::string folder;
  const SourceLookup* lookup;
  const FolderLister* lister;
  std::vector<std::string>* errors;
  std::vector<ExcludePattern> excludes;            // [exclude] patterns, "/" between folders
  std::map<std::string, size_t> tree_entries;      // NameKey -> entry a folder line brought
  std::map<std::string, int> keys_seen;            // "[section]key" -> line
  std::map<std::string, NameSeen> targets;         // NameKey -> the file entry's origin
  std::map<std::string, NameSeen> folders;         // NameKey -> the line that brought it
  int files_section_line = 0;                      // the first "[files]" line
  int file_lines = 0;                              // lines under [files], refused or not
  bool file_line_refused = false;                  // some [files] line was refused
};

// Appends `message` to the reading's errors as "name:line: message", or "name: message"
// for a problem of no one line (`line` 0).
void Fail(Reading& reading, int line, const std::string& message);

// ---- The .ini lines (manifest_syntax.cpp) ---------------------------------------------------

// `text` without the spaces and tabs at either end.
std::string Trim(const std::string& text);

// `text` with its ASCII letters in lower case.
std::string Lower(std::string text);

// "unknown key "publisher" in [product]; did you mean "company"? (it sets ...)"
// `known` holds the section's keys; the nearest one, if any is near, is offered.
std::string UnknownKey(const std::string& key, const char* section,
                       const std::vector<std::string>& known);

// A manifest saved as UTF-16 ("Unicode" in Notepad) starts with its byte order mark, or
// without one has a zero byte beside every ASCII character. Returns true when `text` is one.
bool IsUtf16(const std::string& text);

// Which lines a pass over the manifest reads: the [exclude] patterns come first, since a
// folder line anywhere needs all of them.
enum Pass { PASS_EXCLUDES, PASS_REST };

// Reads the lines of `text` (after a UTF-8 byte order mark) that `pass` takes, each in the
// section whose head comes before it.
void ReadLines(Reading& reading, const std::string& text, Manifest* manifest, Pass pass);

// ---- [product] and [options] (manifest_product.cpp) ------------------------------------------

// Checks the [product] value `key = value` at `line` and puts it in `manifest`, or reports
// what is wrong with it.
void ReadProductKey(Reading& reading, Manifest* manifest, const std::string& key,
                    const std::string& value, int line);

// Checks the [options] value `key = value` (0 or 1) at `line` and puts it in `manifest`, or
// reports what is wrong with it.
void ReadOptionKey(Reading& reading, Manifest* manifest, const std::string& key,
                   const std::string& value, int line);

// ---- [files] and [folders] lines (manifest_file_lines.cpp) -----------------------------------

// Reads the [files] line `text` (trimmed): one file, or a folder line's tree. Counts it, and
// marks it refused when it brings a problem.
void ReadFileLine(Reading& reading, Manifest* manifest, const std::string& text, int line);

// Reads the [folders] line `text` (trimmed): an empty folder to create, with its parents.
void ReadFolderLine(Reading& reading, Manifest* manifest, const std::string& text, int line);

// ---- The package's entries and folders (manifest_entries.cpp) --------------------------------

// How a folder line is written, for messages that point a publisher to it.
const char kFolderSyntax[] = "\"folder\\ = source/folder/\"";

// One file to put in the package, from a [files] line or found below a folder line.
struct FileToAdd {
  std::string target;   // UTF-8, backslashes between folders
  std::string source;   // as the manifest writes it, for messages
  std::string path;     // resolved, for the host
  uint16_t flags = 0;
  bool from_tree = false;  // brought by a folder line: an explicit line may replace it
  std::string found_at;  // "" or where below a folder line the file was found, for messages
  std::string context;   // `found_at` + ": ", which messages about the file start with
  FoundSource found;     // where the folder line found it
};

// Adds `folder` and its parents to the folder list, parents first.
void AddFolder(Reading& reading, Manifest* manifest, const std::string& folder, int line);

// Adds one file entry after the checks every file gets: its target, the folders it needs,
// earlier targets and its source (`info`).
void AddFileEntry(Reading& reading, Manifest* manifest, const FileToAdd& file,
                  const SourceInfo& info, int line);

// ---- Folder lines and [exclude] (manifest_folder_trees.cpp) ---------------------------------

// Reads a folder line: `target` ends in a backslash, `source` in a separator.
void ReadFolderTreeLine(Reading& reading, Manifest* manifest, const std::string& target,
                        const std::string& source, int line);

// Reads an [exclude] line: a name pattern, or a path pattern below a folder line's source.
// A leading "/" (or "./") ties a pattern to the top of the source: "/build" leaves out the
// top folder "build" and no other folder of that name.
void ReadExcludeLine(Reading& reading, const std::string& text, int line);
