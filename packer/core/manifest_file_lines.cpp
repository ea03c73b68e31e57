// The [files] lines ("target = source | flags", or a folder line "target\ = source/") and
// the [folders] lines: their fields, quoted or not, and the entry flags by name or number.
#include "package/package_layout.h"
#include "packer/core/manifest_reading.h"
#include "packer/core/message_text.h"
#include "packer/core/package_names.h"
#include "packer/core/tool_identity.h"

namespace {

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

}  // namespace

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
