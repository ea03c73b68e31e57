#include "packer/manifest.h"

#include <map>

#include "package/package_layout.h"
#include "packer/target_names.h"
#include "packer/text_encoding.h"

namespace {

enum Section { SECTION_NONE, SECTION_PRODUCT, SECTION_OPTIONS, SECTION_FILES, SECTION_FOLDERS };

struct FlagName {
  const char* name;
  uint16_t value;
};
const FlagName kFlagNames[] = {
    {"desktop", ENTRY_DESKTOP_SHORTCUT}, {"startup", ENTRY_STARTUP_SHORTCUT},
    {"programs", ENTRY_PROGRAMS_SHORTCUT}, {"license", ENTRY_LICENSE_DOCUMENT},
    {"launch", ENTRY_LAUNCH},
};

const char* const kOptionKeys[] = {"allow_run_once",  "log_executables",  "default_desktop",
                                   "default_startup", "default_programs", "default_launch"};

// Everything one reading collects before it becomes a Manifest.
struct Reading {
  std::string name;  // the manifest's name, for messages
  std::vector<std::string>* errors;
  std::map<std::string, int> keys_seen;            // "section.key" -> line
  std::map<std::string, int> targets;              // NameKey -> line of the file entry
  std::map<std::string, int> folders;              // NameKey -> line that brought it
  std::vector<std::pair<std::string, int>> header_strings[3];
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

std::string Quote(const std::string& text) { return "\"" + text + "\""; }

// Checks a header string and converts it to UTF-16. Returns "" or the problem.
std::string CheckHeaderString(const std::string& key, const std::string& value,
                              std::u16string* units) {
  std::u32string code_points;
  if (!DecodeUtf8(value, &code_points)) return key + " is not valid UTF-8";
  if (code_points.empty()) return key + " is empty";
  for (char32_t c : code_points) {
    if (c == '#' || c == '|') {
      return key + " " + Quote(value) + " contains \"" + std::string(1, (char)c) +
             "\", which the installer and its log use as separators";
    }
    if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
      return key + " " + Quote(value) + " contains a control character";
    }
  }
  *units = EncodeUtf16(code_points);
  if (units->size() > kHeaderStringMaxChars) {
    return key + " " + Quote(value) + " has " + std::to_string(units->size()) +
           " UTF-16 units; at most " + std::to_string(kHeaderStringMaxChars) + " fit the header";
  }
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
    std::string word = text.substr(i, stop == std::string::npos ? std::string::npos : stop - i);
    i = stop == std::string::npos ? text.size() : stop;
    std::string lower = Lower(word);
    if (lower == "uninstaller") {
      return "a second uninstaller (flag \"uninstaller\"); pack.exe adds the one uninstaller";
    }
    bool named = false;
    for (const FlagName& flag : kFlagNames) {
      if (lower == flag.name) {
        value |= flag.value;
        named = true;
      }
    }
    if (named) continue;
    bool hex = lower.size() > 2 && lower[0] == '0' && lower[1] == 'x';
    size_t digits = hex ? 2 : 0;
    uint64_t number = 0;
    bool valid = digits < lower.size();
    for (size_t k = digits; k < lower.size() && valid; ++k) {
      char c = lower[k];
      int digit = c >= '0' && c <= '9' ? c - '0' : (hex && c >= 'a' && c <= 'f') ? c - 'a' + 10
                                                                                   : -1;
      if (digit < 0) {
        valid = false;
      } else {
        number = number * (hex ? 16 : 10) + digit;
        if (number > 0xFFFFFFFFull) number = 0xFFFFFFFFull + 1;
      }
    }
    if (!valid) {
      return "unknown flag " + Quote(word) +
             " (use desktop, startup, programs, license, launch or a number)";
    }
    if (number == ENTRY_UNINSTALLER) {
      return "a second uninstaller (flags " + word + "); pack.exe adds the one uninstaller";
    }
    if (number == ENTRY_END) return "flags " + word + " are the end marker";
    if (number > 0xFFFF) return "flags " + word + " do not fit 16 bits";
    if (number & ENTRY_SPECIAL) return "flags " + word + " set bit 0x8000, kept for special records";
    value |= (uint32_t)number;
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

// Names the root may not use: the packer's uninstaller and the installer's log.
std::string ReservedRootName(const char* noun, const std::string& ansi) {
  std::string key = NameKey(ansi);
  std::string quoted = std::string(noun) + " " + Quote(AnsiToUtf8(ansi));
  if (key == UNINSTALLER_FILE_NAME) {
    return quoted + " is reserved for the uninstaller that pack.exe adds itself";
  }
  if (key == "uninstall.dat") return quoted + " is reserved for the installer's uninstall log";
  return "";
}

// Adds `folder` and its parents to the folder list, parents first.
void AddFolder(Reading& reading, Manifest* manifest, const std::string& folder, int line) {
  size_t stop = 0;
  for (;;) {
    stop = folder.find('\\', stop);
    std::string prefix = folder.substr(0, stop);
    std::string key = NameKey(prefix);
    auto file = reading.targets.find(key);
    if (file != reading.targets.end()) {
      Fail(reading, line, "folder " + Quote(AnsiToUtf8(prefix)) + " is a file at line " +
                              std::to_string(file->second));
      return;
    }
    if (reading.folders.emplace(key, line).second) {
      manifest->contents.folders.push_back(prefix);
    }
    if (stop == std::string::npos) return;
    ++stop;
  }
}

void ReadFileLine(Reading& reading, Manifest* manifest, const std::string& text, int line,
                  const std::string& folder, const SourceLookup& lookup) {
  size_t at = 0;
  std::string target, source, problem;
  if (!ReadField(text, &at, "=", &target, &problem)) return Fail(reading, line, problem);
  if (at >= text.size() || text[at] != '=') {
    return Fail(reading, line, "expected \"target = source [| flags]\"");
  }
  ++at;
  if (!ReadField(text, &at, "|", &source, &problem)) return Fail(reading, line, problem);
  uint16_t flags = 0;
  if (at < text.size()) {  // at the "|"
    std::string flag_text = Trim(text.substr(at + 1));
    if (flag_text.empty()) return Fail(reading, line, "no flags after \"|\"");
    problem = ParseFlags(flag_text, &flags);
    if (!problem.empty()) return Fail(reading, line, problem);
  }
  if (target.empty()) return Fail(reading, line, "the target is empty");
  if (source.empty()) return Fail(reading, line, "no source for target " + Quote(target));

  std::string ansi;
  problem = CheckTargetName(target, "target", &ansi);
  if (problem.empty()) problem = ReservedRootName("target", ansi);
  if (!problem.empty()) return Fail(reading, line, problem);
  std::string key = NameKey(ansi);
  auto earlier = reading.targets.find(key);
  if (earlier != reading.targets.end()) {
    return Fail(reading, line, "duplicate target " + Quote(target) + " (first at line " +
                                   std::to_string(earlier->second) + ")");
  }
  auto folder_seen = reading.folders.find(key);
  if (folder_seen != reading.folders.end()) {
    return Fail(reading, line, "target " + Quote(target) + " is a folder at line " +
                                   std::to_string(folder_seen->second));
  }
  size_t last = ansi.rfind('\\');
  if (last != std::string::npos) AddFolder(reading, manifest, ansi.substr(0, last), line);
  reading.targets.emplace(key, line);

  std::string path = ResolveSource(folder, source);
  SourceInfo info = lookup(path);
  if (info.kind == SOURCE_MISSING) return Fail(reading, line, "source " + Quote(source) + " not found");
  if (info.kind == SOURCE_FOLDER) {
    return Fail(reading, line, "source " + Quote(source) + " is a folder, not a file");
  }
  if (info.size > 0xFFFFFFFFull) {
    return Fail(reading, line, "source " + Quote(source) + " has " + std::to_string(info.size) +
                                   " bytes; a package entry holds less than 4 GiB");
  }
  PackageEntry entry;
  entry.flags = flags;
  entry.name = ansi;
  manifest->contents.entries.push_back(entry);
  manifest->sources.push_back(path);
  manifest->content_sizes.push_back((uint32_t)info.size);
  manifest->lines.push_back(line);
}

void ReadFolderLine(Reading& reading, Manifest* manifest, const std::string& text, int line) {
  size_t at = 0;
  std::string name, problem;
  if (!ReadField(text, &at, "", &name, &problem)) return Fail(reading, line, problem);
  std::string ansi;
  problem = CheckTargetName(name, "folder", &ansi);
  if (problem.empty()) problem = ReservedRootName("folder", ansi);
  if (!problem.empty()) return Fail(reading, line, problem);
  AddFolder(reading, manifest, ansi, line);
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
  PackageContents& contents = manifest->contents;
  if (section == SECTION_PRODUCT) {
    std::u16string* field = key == "name"           ? &contents.product_name
                            : key == "version"      ? &contents.product_version
                            : key == "window_class" ? &contents.window_class
                                                    : nullptr;
    if (field == nullptr) return Fail(reading, line, "unknown key " + Quote(key) + " in [product]");
    std::string problem = CheckHeaderString(key, value, field);
    if (!problem.empty()) Fail(reading, line, problem);
    return;
  }
  uint8_t* options[] = {&contents.allow_run_once,  &contents.log_executables,
                        &contents.default_desktop, &contents.default_startup,
                        &contents.default_programs, &contents.default_launch};
  for (int k = 0; k < 6; ++k) {
    if (key != kOptionKeys[k]) continue;
    if (value != "0" && value != "1") {
      return Fail(reading, line, key + " must be 0 or 1, not " + Quote(value));
    }
    *options[k] = (uint8_t)(value[0] - '0');
    return;
  }
  Fail(reading, line, "unknown key " + Quote(key) + " in [options]");
}

}  // namespace

std::string ResolveSource(const std::string& folder, const std::string& source) {
  bool absolute = !source.empty() && (source[0] == '/' || source[0] == '\\' ||
                                      (source.size() >= 2 && source[1] == ':'));
  return absolute ? source : folder + source;
}

bool ReadManifest(const std::string& text, const std::string& manifest_name,
                  const std::string& folder, const SourceLookup& lookup, Manifest* manifest,
                  std::vector<std::string>* errors) {
  *manifest = Manifest();
  size_t errors_before = errors->size();
  Reading reading;
  reading.name = manifest_name;
  reading.errors = errors;

  size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  Section section = SECTION_NONE;
  int line = 0;
  while (start < text.size()) {
    ++line;
    size_t stop = text.find('\n', start);
    if (stop == std::string::npos) stop = text.size();
    std::string raw = text.substr(start, stop - start);
    start = stop + 1;
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    if (raw.find('\0') != std::string::npos) {
      Fail(reading, line, "the line contains a NUL byte");
      continue;
    }
    std::string content = Trim(raw);
    if (content.empty() || content[0] == ';') continue;
    if (content[0] == '[') {
      std::string name = content.back() == ']' ? Lower(Trim(content.substr(1, content.size() - 2)))
                                               : "";
      section = name == "product"   ? SECTION_PRODUCT
                : name == "options" ? SECTION_OPTIONS
                : name == "files"   ? SECTION_FILES
                : name == "folders" ? SECTION_FOLDERS
                                    : SECTION_NONE;
      if (section == SECTION_NONE) {
        Fail(reading, line, "unknown section " + content +
                                " (use [product], [options], [files] or [folders])");
      }
      continue;
    }
    switch (section) {
      case SECTION_NONE:
        Fail(reading, line, "text outside a section");
        break;
      case SECTION_PRODUCT:
      case SECTION_OPTIONS:
        ReadKeyLine(reading, manifest, section, content, line);
        break;
      case SECTION_FILES:
        ReadFileLine(reading, manifest, content, line, folder, lookup);
        break;
      case SECTION_FOLDERS:
        ReadFolderLine(reading, manifest, content, line);
        break;
    }
  }
  for (const char* key : {"name", "version", "window_class"}) {
    if (reading.keys_seen.count(std::string("[product]") + key) == 0) {
      Fail(reading, 0, std::string("[product] has no ") + key);
    }
  }
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
  return true;
}

bool CheckPackageSize(const Manifest& manifest, const std::string& manifest_name,
                      std::vector<std::string>* errors) {
  uint64_t size = PackageSize(manifest.contents, manifest.content_sizes);
  if (size <= kMaxPackageBytes) return true;
  errors->push_back(manifest_name + ": the package would have " + std::to_string(size) +
                    " bytes; pack.exe embeds at most " + std::to_string(kMaxPackageBytes) +
                    " bytes (" + std::to_string(kMaxPackageBytes >> 20) + " MiB)");
  return false;
}
