#include "packer/core/manifest.h"

#include <algorithm>
#include <map>

#include "package/package_layout.h"
#include "packer/core/icon_file.h"
#include "packer/core/message_text.h"
#include "packer/core/package_names.h"
#include "packer/core/target_names.h"
#include "packer/core/text_encoding.h"
#include "packer/core/tool_identity.h"
#include "packer/core/version_resource.h"

namespace {

enum Section {
  SECTION_NONE,
  SECTION_PRODUCT,
  SECTION_OPTIONS,
  SECTION_FILES,
  SECTION_FOLDERS,
  SECTION_EXCLUDE,
};

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

void Fail(Reading& reading, int line, const std::string& message) {
  if (line > 0) {
    reading.errors->push_back(reading.name + ":" + std::to_string(line) + ": " + message);
  } else {
    reading.errors->push_back(reading.name + ": " + message);
  }
}

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return "";
  size_t last = text.find_last_not_of(" \t");
  return text.substr(first, last - first + 1);
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
  }
  return text;
}

bool IsControl(char32_t c) { return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0); }

// `utf8` in Windows-1252 bytes, as far as the code page has them ("" for valid UTF-8 only).
std::string Windows1252Text(const std::string& utf8) {
  std::u32string code_points;
  std::string bytes;
  if (!DecodeUtf8(utf8, &code_points)) return "";
  for (char32_t c : code_points) {
    uint8_t byte;
    if (!Windows1252Byte(c, &byte)) return "";
    bytes += (char)byte;
  }
  return bytes;
}

// ---- Unknown keys --------------------------------------------------------------------------

const char* const kProductKeys[] = {"name",      "version",      "window_class", "icon",
                                    "company",   "copyright",    "file_version", "arch"};

// Words other tools and habits use for a key of ours, which no spelling distance finds.
struct KeySynonym {
  const char* word;
  const char* key;
};
const KeySynonym kKeySynonyms[] = {
    {"publisher", "company"},    {"vendor", "company"},      {"manufacturer", "company"},
    {"author", "company"},       {"organization", "company"}, {"organisation", "company"},
    {"product", "name"},         {"product_name", "name"},   {"title", "name"},
    {"product_version", "version"}, {"class", "window_class"}, {"window", "window_class"},
    {"legal_copyright", "copyright"}, {"architecture", "arch"}, {"platform", "arch"},
};

// The number of single-letter insertions, deletions and changes that turn `a` into `b`.
size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      size_t above = row[j];
      size_t change = diagonal + (a[i - 1] == b[j - 1] ? 0 : 1);
      row[j] = std::min(std::min(row[j - 1] + 1, above + 1), change);
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The known key a publisher most likely meant by `key`, or "" when none is near: a known
// synonym, else the closest key within two letters (one for keys of up to four letters, so
// that short words are not taken for each other).
std::string NearestKey(const std::string& key, const std::vector<std::string>& known) {
  for (const KeySynonym& synonym : kKeySynonyms) {
    if (key == synonym.word &&
        std::find(known.begin(), known.end(), synonym.key) != known.end()) {
      return synonym.key;
    }
  }
  std::string nearest;
  size_t best = key.size() <= 4 ? 2 : 3;
  for (const std::string& candidate : known) {
    size_t distance = EditDistance(key, candidate);
    if (distance < best) {
      best = distance;
      nearest = candidate;
    }
  }
  return nearest;
}

// What a publisher who asks for a vendor key should know: the setup's vendor is fixed.
const char kCompanyOnly[] =
    " (it sets the version resource's CompanyName only: the vendor folder below Program "
    "Files, the Publisher in Windows' list of installed programs and the support link are "
    "fixed)";

// "unknown key "publisher" in [product]; did you mean "company"? (it sets ...)"
std::string UnknownKey(const std::string& key, const char* section,
                       const std::vector<std::string>& known) {
  std::string nearest = NearestKey(key, known);
  if (nearest.empty()) return "unknown key " + Quote(key) + " in " + section;
  return "unknown key " + Quote(key) + " in " + section + "; did you mean " + Quote(nearest) +
         "?" + (nearest == "company" ? kCompanyOnly : "");
}

// ---- [product] -----------------------------------------------------------------------------

// Checks a header string (name, version, window_class) and converts it to UTF-16. The
// installer builds folder names and registry keys from the name and version, and log
// records from all three, so they hold nothing a path or the log could read otherwise; the
// window class names no folder and only has to stand in the log. It may be empty: a
// product without a main window to wait for, whose setup and uninstaller then look for no
// running application. Returns "" or the problem.
std::string CheckHeaderString(const std::string& key, const std::string& value,
                              std::u16string* units) {
  const bool names_folders = key != "window_class";
  std::u32string code_points;
  if (!DecodeUtf8(value, &code_points)) return key + " is not valid UTF-8";
  if (code_points.empty()) {
    units->clear();
    return names_folders ? key + " is empty" : "";
  }
  std::string quoted = key + " " + Quote(value);
  for (char32_t c : code_points) {
    if (IsListedCharacter(c, kLogSeparatorCharacters)) {
      return quoted + " contains \"" + std::string(1, (char)c) +
             "\", which the installer and its log use as separators";
    }
    if (IsControl(c)) return quoted + " contains a control character";
    if (names_folders && IsListedCharacter(c, kFileNameForbiddenCharacters)) {
      return quoted + " contains \"" + std::string(1, (char)c) +
             "\", which Windows forbids in file and folder names";
    }
  }
  if (names_folders && (value == "." || value == "..")) {
    return quoted + " names a folder level; the installer makes folders of it";
  }
  if (names_folders && (value.back() == '.' || value.back() == ' ')) {
    return quoted + " ends in a dot or a space, which Windows drops from folder names";
  }
  *units = EncodeUtf16(code_points);
  if (units->size() > kHeaderStringMaxChars) {
    return quoted + " has " + std::to_string(units->size()) + " UTF-16 units; at most " +
           std::to_string(kHeaderStringMaxChars) + " fit the header";
  }
  return "";
}

// Checks company and copyright, which only the version resource carries. Returns "" or the
// problem.
std::string CheckVersionText(const std::string& key, const std::string& value,
                             std::u16string* units) {
  std::u32string code_points;
  if (!DecodeUtf8(value, &code_points)) return key + " is not valid UTF-8";
  if (code_points.empty()) return key + " is empty";
  for (char32_t c : code_points) {
    if (IsControl(c)) return key + " " + Quote(value) + " contains a control character";
  }
  *units = EncodeUtf16(code_points);
  if (units->size() > kVersionTextMaxUnits) {
    return key + " " + Quote(value) + " has " + std::to_string(units->size()) +
           " UTF-16 units; at most " + std::to_string(kVersionTextMaxUnits) + " fit";
  }
  return "";
}

// `icon = file.ico`: the file must be there; its content is checked when it is read.
std::string CheckIconSource(Reading& reading, const std::string& value, ProductBranding* branding) {
  if (value.empty()) return "icon is empty";
  std::string path = ResolveSource(reading.folder, value);
  SourceInfo info = (*reading.lookup)(path);
  if (info.kind == SOURCE_MISSING) return "icon " + Quote(value) + " not found";
  if (info.kind == SOURCE_FOLDER) return "icon " + Quote(value) + " is a folder, not a file";
  if (info.size > kIconFileMaxBytes) {
    return "icon " + Quote(value) + " has " + std::to_string(info.size) + " bytes; an icon file " +
           "has at most " + std::to_string(kIconFileMaxBytes);
  }
  branding->icon_source = path;
  branding->icon_text = value;
  return "";
}

void ReadProductKey(Reading& reading, Manifest* manifest, const std::string& key,
                    const std::string& value, int line) {
  PackageContents& contents = manifest->contents;
  ProductBranding& branding = manifest->branding;
  std::u16string* header_field = key == "name"           ? &contents.product_name
                                 : key == "version"      ? &contents.product_version
                                 : key == "window_class" ? &contents.window_class
                                                         : nullptr;
  std::u16string* version_field = key == "company"     ? &branding.company
                                  : key == "copyright" ? &branding.copyright
                                                       : nullptr;
  std::string problem;
  if (header_field != nullptr) {
    problem = CheckHeaderString(key, value, header_field);
    // The Programs group is a folder named after the product.
    if (problem.empty() && key == "name" && IsDeviceName(Windows1252Text(value))) {
      problem = "name " + Quote(value) + " is a name Windows keeps for a device";
    }
    if (problem.empty() && key == "version") LeadingVersionNumbers(value, branding.product_numbers);
  } else if (version_field != nullptr) {
    problem = CheckVersionText(key, value, version_field);
  } else if (key == "file_version") {
    if (!ParseFileVersion(value, branding.file_version)) {
      problem = "file_version " + Quote(value) + " is not \"a.b.c.d\" (one to four numbers of " +
                "0-65535)";
    }
  } else if (key == "icon") {
    problem = CheckIconSource(reading, value, &branding);
    branding.icon_line = line;
  } else if (key == "arch") {
    manifest->arch = value == "x86" ? ARCH_X86 : value == "x64" ? ARCH_X64 : ARCH_UNSET;
    manifest->arch_line = line;
    if (manifest->arch == ARCH_UNSET) problem = "arch must be x86 or x64, not " + Quote(value);
  } else {
    problem = UnknownKey(key, "[product]", std::vector<std::string>(std::begin(kProductKeys),
                                                                   std::end(kProductKeys)));
  }
  if (!problem.empty()) Fail(reading, line, problem);
}

void ReadOptionKey(Reading& reading, Manifest* manifest, const std::string& key,
                   const std::string& value, int line) {
  for (size_t k = 0; k < kOptionNameCount; ++k) {
    if (key != kOptionNames[k].key) continue;
    if (value != "0" && value != "1") {
      return Fail(reading, line, key + " must be 0 or 1, not " + Quote(value));
    }
    manifest->contents.*kOptionNames[k].field = (uint8_t)(value[0] - '0');
    return;
  }
  std::vector<std::string> known;
  for (size_t k = 0; k < kOptionNameCount; ++k) known.push_back(kOptionNames[k].key);
  Fail(reading, line, UnknownKey(key, "[options]", known));
}

void ReadKeyLine(Reading& reading, Manifest* manifest, Section section, const std::string& text,
                 int line) {
  size_t equals = text.find('=');
  if (equals == std::string::npos) return Fail(reading, line, "expected \"key = value\"");
  std::string key = Lower(Trim(text.substr(0, equals)));
  std::string value = Trim(text.substr(equals + 1));
  std::string section_name = section == SECTION_PRODUCT ? "[product]" : "[options]";
  auto seen = reading.keys_seen.emplace(section_name + key, line);
  if (!seen.second) {
    return Fail(reading, line, "duplicate key " + Quote(key) + " (first at line " +
                                   std::to_string(seen.first->second) + ")");
  }
  if (section == SECTION_PRODUCT) {
    ReadProductKey(reading, manifest, key, value, line);
  } else {
    ReadOptionKey(reading, manifest, key, value, line);
  }
}

// ---- [files] and [folders] -----------------------------------------------------------------

// Reads `lower` as a decimal or "0x" hexadecimal number into `*number` (a value above 32
// bits reads as 2^32). Returns false when it is not one.
bool ParseFlagNumber(const std::string& lower, uint64_t* number) {
  bool hex = lower.size() > 2 && lower[0] == '0' && lower[1] == 'x';
  size_t digits = hex ? 2 : 0;
  if (digits >= lower.size()) return false;
  *number = 0;
  for (size_t k = digits; k < lower.size(); ++k) {
    char c = lower[k];
    int digit = c >= '0' && c <= '9' ? c - '0' : (hex && c >= 'a' && c <= 'f') ? c - 'a' + 10
                                                                                 : -1;
    if (digit < 0) return false;
    *number = *number * (hex ? 16 : 10) + digit;
    if (*number > 0xFFFFFFFFull) *number = 0xFFFFFFFFull + 1;
  }
  return true;
}

// Adds the flags one word of a flags text names (a flag name or a number) to `*value`.
// Returns "" or the problem.
std::string AddFlagWord(const std::string& word, uint32_t* value) {
  std::string lower = Lower(word);
  if (lower == "uninstaller") {
    return "a second uninstaller (flag \"uninstaller\"); " PACK_TOOL_NAME
           " adds the one uninstaller";
  }
  bool named = false;
  for (size_t k = 0; k < kEntryFlagNameCount; ++k) {
    if (lower == kEntryFlagNames[k].name) {
      *value |= kEntryFlagNames[k].value;
      named = true;
    }
  }
  if (named) return "";
  uint64_t number = 0;
  if (!ParseFlagNumber(lower, &number)) {
    std::string names;
    for (size_t k = 0; k < kEntryFlagNameCount; ++k) names += kEntryFlagNames[k].name + std::string(", ");
    return "unknown flag " + Quote(word) + " (use " + names.substr(0, names.size() - 2) +
           " or a number)";
  }
  if (number == ENTRY_UNINSTALLER) {
    return "a second uninstaller (flags " + word + "); " PACK_TOOL_NAME " adds the one uninstaller";
  }
  if (number == ENTRY_END) return "flags " + word + " are the end marker";
  if (number > 0xFFFF) return "flags " + word + " do not fit 16 bits";
  if (number & ENTRY_SPECIAL) return "flags " + word + " set bit 0x8000, kept for special records";
  *value |= (uint32_t)number;
  return "";
}

// Parses a flags text ("desktop launch", "0x17", "5 launch"). Returns "" or the problem.
std::string ParseFlags(const std::string& text, uint16_t* flags) {
  uint32_t value = 0;
  size_t i = 0;
  while (i < text.size()) {
    if (text[i] == ' ' || text[i] == '\t') {
      ++i;
      continue;
    }
    size_t stop = text.find_first_of(" \t", i);
    std::string problem =
        AddFlagWord(text.substr(i, stop == std::string::npos ? std::string::npos : stop - i), &value);
    if (!problem.empty()) return problem;
    i = stop == std::string::npos ? text.size() : stop;
  }
  *flags = (uint16_t)value;
  return "";
}

// Reads a field of a [files] or [folders] line: "quoted" or up to one of `stops`.
// Returns false with `problem` set when a quote is not closed.
bool ReadField(const std::string& line, size_t* at, const char* stops, std::string* field,
               std::string* problem) {
  size_t i = *at;
  while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
  if (i < line.size() && line[i] == '"') {
    size_t close = line.find('"', i + 1);
    if (close == std::string::npos) {
      *problem = "a quote is not closed";
      return false;
    }
    *field = line.substr(i + 1, close - i - 1);
    i = close + 1;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i < line.size() && std::string(stops).find(line[i]) == std::string::npos) {
      *problem = "unexpected text after a quoted name";
      return false;
    }
  } else {
    size_t stop = line.find_first_of(stops, i);
    if (stop == std::string::npos) stop = line.size();
    *field = Trim(line.substr(i, stop - i));
    i = stop;
  }
  *at = i;
  return true;
}

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

// Adds `folder` and its parents to the folder list, parents first.
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

// How a folder line is written, for messages that point a publisher to it.
const char kFolderSyntax[] = "\"folder\\ = source/folder/\"";

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

// Adds one file entry after the checks every file gets: its target, the folders it needs,
// earlier targets and its source (`info`).
void AddFileEntry(Reading& reading, Manifest* manifest, const FileToAdd& file,
                  const SourceInfo& info, int line) {
  std::string ansi;
  std::string problem = CheckPackageName(file.target, "target", &ansi);
  if (!problem.empty()) return Fail(reading, line, file.context + problem);
  std::string key = NameKey(ansi);
  auto earlier = reading.targets.find(key);
  if (earlier != reading.targets.end()) {
    bool earlier_from_tree = reading.tree_entries.count(key) != 0;
    // A file with its own line keeps it, whichever comes first; only trees may overlap it.
    if (file.from_tree && !earlier_from_tree) return;
    if (!file.from_tree && earlier_from_tree) {
      problem = CheckSource(file.source, file.path, info);
      if (!problem.empty()) return Fail(reading, line, problem);
      ReplaceTreeEntry(reading, manifest, key, file, info, line);
      return;
    }
    return Fail(reading, line, file.context + "duplicate target " + Quote(file.target) + " " +
                                   FirstSeen(earlier->second, file.target) +
                                   (earlier->second.spelling == file.target
                                        ? ""
                                        : "; Windows takes names that differ only in case "
                                          "for the same file"));
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

// Reads a folder line: `target` ends in a backslash, `source` in a separator.
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

bool EndsInSeparator(const std::string& path) {
  return !path.empty() && (path.back() == '/' || path.back() == '\\');
}

void ReadFileFields(Reading& reading, Manifest* manifest, const std::string& text, int line) {
  size_t at = 0;
  std::string target, source, problem;
  if (!ReadField(text, &at, "=", &target, &problem)) return Fail(reading, line, problem);
  if (at >= text.size() || text[at] != '=') {
    return Fail(reading, line, "expected \"target = source [| flags]\"");
  }
  ++at;
  if (!ReadField(text, &at, "|", &source, &problem)) return Fail(reading, line, problem);
  bool folder_line = !target.empty() && target.back() == '\\' && EndsInSeparator(source);
  uint16_t flags = 0;
  if (at < text.size()) {  // at the "|"
    if (folder_line) {
      return Fail(reading, line, "a folder line takes no flags; give a file that needs flags " +
                                     std::string("a line of its own, which replaces the folder's"));
    }
    std::string flag_text = Trim(text.substr(at + 1));
    if (flag_text.empty()) return Fail(reading, line, "no flags after \"|\"");
    problem = ParseFlags(flag_text, &flags);
    if (!problem.empty()) return Fail(reading, line, problem);
  }
  if (target.empty()) return Fail(reading, line, "the target is empty");
  if (source.empty()) return Fail(reading, line, "no source for target " + Quote(target));
  if (target.find_first_of("*") != std::string::npos) {
    return Fail(reading, line, "target " + Quote(target) + " contains \"*\": wildcards are " +
                                   "not supported; to add a whole folder write " + kFolderSyntax);
  }
  if (folder_line) return ReadFolderTreeLine(reading, manifest, target, source, line);

  FileToAdd file;
  file.target = target;
  file.source = source;
  file.path = ResolveSource(reading.folder, source);
  file.flags = flags;
  AddFileEntry(reading, manifest, file, (*reading.lookup)(file.path), line);
}

void ReadFileLine(Reading& reading, Manifest* manifest, const std::string& text, int line) {
  ++reading.file_lines;
  size_t errors_before = reading.errors->size();
  ReadFileFields(reading, manifest, text, line);
  if (reading.errors->size() != errors_before) reading.file_line_refused = true;
}

void ReadFolderLine(Reading& reading, Manifest* manifest, const std::string& text, int line) {
  if (text[0] != '"' && text.find(" = ") != std::string::npos) {
    return Fail(reading, line, "folder line " + Quote(text) + " holds \" = \": [folders] takes " +
                                   "one folder per line; files go under [files]");
  }
  size_t at = 0;
  std::string name, problem;
  if (!ReadField(text, &at, "", &name, &problem)) return Fail(reading, line, problem);
  std::string ansi;
  problem = CheckPackageName(name, "folder", &ansi);
  if (!problem.empty()) return Fail(reading, line, problem);
  AddFolder(reading, manifest, ansi, line);
}

// ---- The whole manifest --------------------------------------------------------------------

// A manifest saved as UTF-16 ("Unicode" in Notepad) starts with its byte order mark, or
// without one has a zero byte beside every ASCII character. Returns true when `text` is one.
bool IsUtf16(const std::string& text) {
  if (text.size() < 2) return false;
  if ((text[0] == '\xFF' && text[1] == '\xFE') || (text[0] == '\xFE' && text[1] == '\xFF')) {
    return true;
  }
  return (text[0] == 0) != (text[1] == 0);
}

Section SectionNamed(const std::string& content) {
  std::string name = content.back() == ']' ? Lower(Trim(content.substr(1, content.size() - 2))) : "";
  return name == "product"   ? SECTION_PRODUCT
         : name == "options" ? SECTION_OPTIONS
         : name == "files"   ? SECTION_FILES
         : name == "folders" ? SECTION_FOLDERS
         : name == "exclude" ? SECTION_EXCLUDE
                             : SECTION_NONE;
}

// Reads an [exclude] line: a name pattern, or a path pattern below a folder line's source.
// A leading "/" (or "./") ties a pattern to the top of the source: "/build" leaves out the
// top folder "build" and no other folder of that name.
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

// Which lines a pass over the manifest reads: the [exclude] patterns come first, since a
// folder line anywhere needs all of them.
enum Pass { PASS_EXCLUDES, PASS_REST };

// A section head ("[files]"): the section it opens; an unknown one is reported in the
// second pass.
Section ReadSectionHead(Reading& reading, const std::string& content, int line, Pass pass) {
  Section section = SectionNamed(content);
  if (section == SECTION_NONE && pass == PASS_REST) {
    Fail(reading, line, "unknown section " + content +
                            " (use [product], [options], [files], [folders] or [exclude])");
  }
  if (section == SECTION_FILES && reading.files_section_line == 0) {
    reading.files_section_line = line;
  }
  return section;
}

// One line of the second pass, `content` trimmed, within `section`.
void ReadSectionLine(Reading& reading, Manifest* manifest, Section section,
                     const std::string& content, int line) {
  switch (section) {
    case SECTION_NONE:
      Fail(reading, line, "text outside a section");
      break;
    case SECTION_PRODUCT:
    case SECTION_OPTIONS:
      ReadKeyLine(reading, manifest, section, content, line);
      break;
    case SECTION_FILES:
      ReadFileLine(reading, manifest, content, line);
      break;
    case SECTION_FOLDERS:
      ReadFolderLine(reading, manifest, content, line);
      break;
    case SECTION_EXCLUDE:
      break;  // read in the first pass
  }
}

void ReadLines(Reading& reading, const std::string& text, Manifest* manifest, Pass pass) {
  size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  Section section = SECTION_NONE;
  for (int line = 1; start < text.size(); ++line) {
    size_t stop = text.find('\n', start);
    if (stop == std::string::npos) stop = text.size();
    std::string raw = text.substr(start, stop - start);
    start = stop + 1;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    if (raw.find('\0') != std::string::npos) {
      if (pass == PASS_REST) Fail(reading, line, "the line contains a NUL byte");
      continue;
    }
    std::string content = Trim(raw);
    if (content.empty() || content[0] == ';') continue;
    if (content[0] == '[') {
      section = ReadSectionHead(reading, content, line, pass);
    } else if (pass == PASS_REST) {
      ReadSectionLine(reading, manifest, section, content, line);
    } else if (section == SECTION_EXCLUDE) {
      ReadExcludeLine(reading, content, line);
    }
  }
}

// What only the whole manifest shows: required keys (window_class is not one: without it
// the header's field is empty), a product to install, something for Run Once to start.
void CheckWhole(Reading& reading, Manifest* manifest) {
  for (const char* key : {"name", "version"}) {
    if (reading.keys_seen.count(std::string("[product]") + key) == 0) {
      Fail(reading, 0, std::string("[product] has no ") + key);
    }
  }
  if (reading.files_section_line == 0) {
    Fail(reading, 0, "there is no [files] section; a setup needs at least one file to install");
  } else if (reading.file_lines == 0) {
    Fail(reading, reading.files_section_line,
         "[files] lists no file; a setup needs at least one file to install");
  } else if (!reading.file_line_refused && manifest->contents.entries.empty()) {
    Fail(reading, reading.files_section_line,
         "the folders of [files] hold no file (empty or excluded); a setup needs at least one "
         "file to install");
  }
  auto run_once = reading.keys_seen.find("[options]allow_run_once");
  bool launchable = false;
  for (const PackageEntry& entry : manifest->contents.entries) {
    launchable = launchable || (entry.flags & kLaunchMask) == ENTRY_LAUNCH;
  }
  // Refused [files] lines may have held the launch entry: say nothing until they are fixed.
  if (manifest->contents.allow_run_once && !launchable && !reading.file_line_refused) {
    Fail(reading, run_once->second,
         "allow_run_once = 1, but no [files] entry has the flag launch: Run Once would start "
         "nothing");
  }
  ProductBranding& branding = manifest->branding;
  if (reading.keys_seen.count("[product]file_version") == 0) {
    for (int k = 0; k < 4; ++k) branding.file_version[k] = branding.product_numbers[k];
  }
}

}  // namespace

std::string ResolveSource(const std::string& folder, const std::string& source) {
  bool absolute = !source.empty() && (source[0] == '/' || source[0] == '\\' ||
                                      (source.size() >= 2 && source[1] == ':'));
  std::string path = absolute ? source : folder + source;
  // Both separators work on Windows and only "/" on a POSIX host; one spelling keeps the
  // two tools' messages alike.
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

std::string CheckPackageName(const std::string& utf8, const char* noun, std::string* ansi) {
  std::string problem = CheckTargetName(utf8, noun, ansi);
  return problem.empty() ? ReservedRootName(noun, *ansi) : problem;
}

bool ReadManifest(const std::string& text, const std::string& manifest_name,
                  const std::string& folder, const SourceLookup& lookup, Manifest* manifest,
                  std::vector<std::string>* errors, const FolderLister& lister) {
  *manifest = Manifest();
  size_t errors_before = errors->size();
  Reading reading;
  reading.name = manifest_name;
  reading.folder = folder;
  reading.lookup = &lookup;
  reading.lister = &lister;
  reading.errors = errors;
  if (IsUtf16(text)) {
    Fail(reading, 0, "the manifest is saved as UTF-16 (what Notepad calls \"Unicode\"); save it "
                     "as UTF-8");
    return false;
  }
  ReadLines(reading, text, manifest, PASS_EXCLUDES);
  ReadLines(reading, text, manifest, PASS_REST);
  CheckWhole(reading, manifest);
  return errors->size() == errors_before;
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

bool CheckPackageSize(const Manifest& manifest, const std::string& manifest_name,
                      std::vector<std::string>* errors) {
  uint64_t size = PackageSize(manifest.contents, manifest.content_sizes);
  if (size <= kMaxPackageBytes) return true;
  errors->push_back(manifest_name + ": the package would have " + std::to_string(size) +
                    " bytes; " PACK_TOOL_NAME " embeds at most " +
                    std::to_string(kMaxPackageBytes) + " bytes (" +
                    std::to_string(kMaxPackageBytes >> 20) + " MiB)");
  return false;
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
