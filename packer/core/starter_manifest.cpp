#include "packer/core/starter_manifest.h"

#include <stdio.h>

#include <algorithm>
#include <map>

#include "packer/core/manifest.h"
#include "packer/core/message_text.h"
#include "packer/core/target_names.h"
#include "packer/core/text_encoding.h"
#include "packer/core/version_resource.h"

namespace {

// A name the folder line would refuse, left out by an [exclude] line.
struct Exclusion {
  std::string pattern;   // "/sub/name": a path from the top of the folder
  std::string reason;    // one line of text
  std::string relative;  // "sub/name"
};

// A name the folder line takes.
struct KeptPath {
  std::string relative;  // "sub/name"
  bool file = false;
};

// What a walk over the product folder finds.
struct StarterWalk {
  const StarterRequest* request = nullptr;
  const FolderLister* lister = nullptr;
  std::vector<std::string>* errors = nullptr;
  std::vector<Exclusion> exclusions;
  std::vector<KeptPath> kept;          // every path the folder line takes, in its order
};

bool IsControl(char32_t c) { return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0); }

// A file name for a comment, on one line: control characters escaped, and the bytes of a
// name that is not UTF-8 (a POSIX host allows any) written as "<0xFF>".
std::string Shown(const std::string& bytes) {
  std::u32string code_points;
  if (DecodeUtf8(bytes, &code_points)) return EscapeControls(bytes);
  std::string shown;
  for (char c : bytes) {
    uint8_t byte = (uint8_t)c;
    if (byte >= 0x20 && byte < 0x7F) {
      shown += c;
    } else {
      char hex[8];
      snprintf(hex, sizeof(hex), "<0x%02X>", byte);
      shown += hex;
    }
  }
  return shown;
}

// One path part as an [exclude] pattern matches it: what a manifest line cannot hold (a
// line break, other control characters, a backslash, which the reader takes for a "/",
// and each byte of a name that is not UTF-8) becomes "?", which matches any one character.
std::string PatternPart(const std::string& name) {
  std::u32string code_points;
  std::string pattern;
  if (!DecodeUtf8(name, &code_points)) {
    for (char c : name) {
      uint8_t byte = (uint8_t)c;
      pattern += byte < 0x20 || byte >= 0x7F || c == '\\' ? '?' : c;
    }
    return pattern;
  }
  for (char32_t& c : code_points) {
    if (IsControl(c) || c == '\\') c = '?';
  }
  return EncodeUtf8(code_points);
}

// The pattern for `relative` ("sub/name"), tied to the top of the folder by its leading
// "/", so that it leaves out nothing else of that name. A blank at its end, which the
// reader would trim, becomes "?".
std::string PatternFor(const std::string& relative) {
  std::string pattern;
  size_t start = 0;
  for (;;) {
    size_t stop = relative.find('/', start);
    pattern += "/" + PatternPart(relative.substr(start, stop == std::string::npos
                                                            ? std::string::npos
                                                            : stop - start));
    if (stop == std::string::npos) break;
    start = stop + 1;
  }
  if (pattern.back() == ' ' || pattern.back() == '\t') pattern.back() = '?';
  return pattern;
}

// Why the folder line would refuse `item`, found at `relative` below the folder: "" when
// it takes it, with the key its target compares by in `*key`.
std::string RefusalOf(const FolderItem& item, const std::string& relative, std::string* key) {
  if (item.kind == ITEM_LINK) {
    return "a link (a symbolic link or a junction), which could point anywhere on this machine";
  }
  if (item.kind == ITEM_OTHER) return "not a regular file (a device, a pipe or a socket)";
  if (item.name.find('\\') != std::string::npos) {
    return "its name holds a backslash, which Windows takes for a folder separator";
  }
  std::string target = relative;
  std::replace(target.begin(), target.end(), '/', '\\');
  std::string ansi;
  const char* noun = item.kind == ITEM_FOLDER ? "folder" : "target";
  std::string problem = CheckPackageName(target, noun, &ansi);
  if (!problem.empty()) return Shown(problem);
  if (item.kind == ITEM_FILE && item.size > 0xFFFFFFFFull) {
    return "it has " + std::to_string(item.size) + " bytes; a package entry holds less than 4 GiB";
  }
  *key = NameKey(ansi);
  return "";
}

bool WalkFolder(StarterWalk& walk, const std::string& relative, const FolderWalk& at);

// Takes the listed `items` of the folder `relative` that the folder line takes, and
// excludes the others: those it refuses, and every spelling of a name that others share
// but for case (one pattern leaves them all out, since patterns match without case).
bool TakeItems(StarterWalk& walk, const std::string& relative,
               const std::vector<FolderItem>& items, const FolderWalk& at) {
  std::vector<std::string> reasons(items.size());
  std::map<std::string, std::vector<size_t>> spellings;  // key -> items spelt that way
  for (size_t k = 0; k < items.size(); ++k) {
    std::string key;
    reasons[k] = RefusalOf(items[k], relative + items[k].name, &key);
    if (reasons[k].empty()) spellings[key].push_back(k);
  }
  std::vector<bool> covered(items.size(), false);
  for (const auto& same : spellings) {
    if (same.second.size() < 2) continue;
    std::string names;
    for (size_t k : same.second) {
      names += (names.empty() ? "" : " and ") + Quote(Shown(items[k].name));
      covered[k] = k != same.second[0];
    }
    reasons[same.second[0]] = names + " differ only in case, which Windows takes for one " +
                              "name: all are left out; rename all but one to keep it";
  }
  for (size_t k = 0; k < items.size(); ++k) {
    std::string path = relative + items[k].name;
    if (covered[k]) continue;
    if (!reasons[k].empty()) {
      walk.exclusions.push_back(Exclusion{PatternFor(path), reasons[k], path});
      continue;
    }
    walk.kept.push_back(KeptPath{path, items[k].kind == ITEM_FILE});
    if (items[k].kind != ITEM_FOLDER) continue;
    // Each folder is listed down from the product folder, checked against its listing as
    // the folder line will be.
    FolderWalk below = at;
    below.steps.push_back(items[k]);
    if (!WalkFolder(walk, path + "/", below)) return false;
  }
  return true;
}

// Walks the folder `relative` ("" or "sub/") of the product folder, which `at` leads to,
// in the order the folder line reads it. Returns false with the lister's message when one
// cannot be read or changed meanwhile.
bool WalkFolder(StarterWalk& walk, const std::string& relative, const FolderWalk& at) {
  std::vector<FolderItem> items;
  std::string error;
  FolderWalk here = at;
  if (!(*walk.lister)(at, &items, &here.root_identity, &error)) {
    walk.errors->push_back(error);
    return false;
  }
  std::sort(items.begin(), items.end(),
            [](const FolderItem& a, const FolderItem& b) { return a.name < b.name; });
  return TakeItems(walk, relative, items, here);
}

// A pattern that leaves out more than the name it was written for (a name that holds "*"
// or "?", or whose characters became "?") says so, naming what else it leaves out, which
// is no longer counted as kept (nor what lies below it).
void NoteWiderPatterns(StarterWalk& walk) {
  std::vector<std::string> dropped;  // "sub/name/" of everything left out besides
  for (Exclusion& exclusion : walk.exclusions) {
    std::string also;
    for (const KeptPath& kept : walk.kept) {
      if (!MatchesPattern(exclusion.pattern.substr(1), kept.relative)) continue;
      also += (also.empty() ? "" : ", ") + Quote(Shown(kept.relative));
      dropped.push_back(kept.relative + "/");
    }
    if (!also.empty()) exclusion.reason += "; this line also leaves out " + also;
  }
  std::vector<KeptPath> still;
  for (const KeptPath& kept : walk.kept) {
    std::string path = kept.relative + "/";
    bool gone = false;
    for (const std::string& prefix : dropped) {
      gone = gone || path.compare(0, prefix.size(), prefix) == 0;
    }
    if (!gone) still.push_back(kept);
  }
  walk.kept.swap(still);
}

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = (char)(c - 'A' + 'a');
  }
  return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool IsHtml(const std::string& name) {
  std::string lower = Lower(name);
  return EndsWith(lower, ".htm") || EndsWith(lower, ".html");
}

// The licence at the top of the folder: "license.*" or "licence.*", an HTML one first.
std::string FindLicense(const std::vector<std::string>& top_files) {
  std::string found;
  for (const std::string& name : top_files) {
    std::string lower = Lower(name);
    if (lower.compare(0, 8, "license.") != 0 && lower.compare(0, 8, "licence.") != 0) continue;
    if (found.empty() || (IsHtml(name) && !IsHtml(found))) found = name;
  }
  return found;
}

// `text` as a field of a [files] line: in double quotes where it holds what would end the
// field, begins with what would make the line something else, or has blanks at its ends.
std::string Field(const std::string& text) {
  bool quote = text.empty() || text.find_first_of("=|") != std::string::npos ||
               text[0] == ';' || text[0] == '[' || text[0] == '"' || text[0] == ' ' ||
               text[0] == '\t' || text.back() == ' ' || text.back() == '\t';
  return quote ? "\"" + text + "\"" : text;
}

// A header value on one line: line breaks, which would end it, become "?" (which the
// reader then refuses with its reason).
std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', '?');
  std::replace(text.begin(), text.end(), '\r', '?');
  return text;
}

// The text being written, with the number of its lines.
struct ManifestText {
  std::string text;
  int lines = 0;
  void Line(const std::string& line) {
    text += line + "\n";
    ++lines;
  }
};

void WriteProduct(const StarterRequest& request, ManifestText& out, StarterSummary* summary) {
  uint16_t numbers[4];
  LeadingVersionNumbers(request.version, numbers);
  std::string file_version;
  for (int k = 0; k < 4; ++k) file_version += (k ? "." : "") + std::to_string(numbers[k]);
  out.Line("[product]");
  out.Line("name = " + OneLine(request.name));
  summary->name_line = out.lines;
  out.Line("version = " + OneLine(request.version));
  summary->version_line = out.lines;
  out.Line("; The class of the product's main window: setup and uninstall wait while a window");
  out.Line("; of it is open. Without it they look for no running program.");
  out.Line("; window_class = MainWindowClass");
  out.Line("; The setup program's icon, an .ico file (relative to this manifest):");
  out.Line("; icon = " + request.folder_source + "product.ico");
  out.Line("; The setup program's version resource (Explorer's Details tab):");
  out.Line("; company = Company Name");
  out.Line("; copyright = Copyright Company Name");
  out.Line("; file_version = " + file_version);
  out.Line("");
  out.Line("[options]");
  out.Line("; The setup's shortcut boxes start ticked with these:");
  out.Line("; default_programs = 1");
  out.Line("; default_desktop = 1");
  out.Line("");
}

// The program at the top of the folder: flagged when it is the only one, else each as a
// comment for the publisher to pick from.
void WriteProgram(const StarterRequest& request, const std::vector<std::string>& top_files,
                  ManifestText& out, StarterSummary* summary) {
  std::vector<std::string> programs;
  for (const std::string& name : top_files) {
    if (EndsWith(Lower(name), ".exe")) programs.push_back(name);
  }
  const char* flags = " | programs desktop";
  if (programs.size() != 1) {
    out.Line(programs.empty()
                 ? "; No program at the top of the folder: give the one users start a line of "
                   "its own, as"
                 : "; " + std::to_string(programs.size()) + " programs at the top of the "
                   "folder: give the one users start its flags, as");
    if (programs.empty()) programs.push_back("bin\\program.exe");
    for (const std::string& name : programs) {
      std::string source = name;
      std::replace(source.begin(), source.end(), '\\', '/');
      out.Line("; " + Field(name) + " = " + Field(request.folder_source + source) + flags);
    }
    return;
  }
  const std::string& name = programs[0];
  std::string line = Field(name) + " = " + Field(request.folder_source + name) + flags;
  out.Line("; The program, with shortcuts in the Programs menu and on the desktop. The line");
  out.Line("; below it also starts it after installation and in Run Once (flag launch): the");
  out.Line("; setup then starts it with \"/FIRSTRUN\", Run Once with \"/RUNONCE\", and with");
  out.Line("; log_executables = 1 in [options] the uninstaller with \"/uninstall\" before");
  out.Line("; removing it. These switches are fixed: flag only a program that accepts them.");
  out.Line(line);
  out.Line("; " + line + " launch");
  summary->program = name;
}

void WriteLicense(const StarterRequest& request, const std::string& license, ManifestText& out,
                  StarterSummary* summary) {
  if (license.empty()) {
    out.Line("; A licence for the setup to show (an HTML file), as");
    out.Line("; license.htm = " + request.folder_source + "license.htm | license");
    return;
  }
  out.Line("; The licence the setup shows (\"Show License\").");
  if (!IsHtml(license)) {
    out.Line("; The setup opens it as a web page (.htm), where a plain text runs together: an");
    out.Line("; HTML copy of it (the text in <pre> and </pre>) reads better.");
  }
  out.Line(Field(license) + " = " + Field(request.folder_source + license) + " | license");
  summary->license = license;
}

void WriteExcludes(const StarterRequest& request, const std::vector<Exclusion>& exclusions,
                   ManifestText& out) {
  out.Line("[exclude]");
  if (exclusions.empty()) {
    out.Line("; Names (such as *.pdb) or paths below the folder (such as /build) to leave out,");
    out.Line("; one a line.");
  } else {
    out.Line("; What the folder holds that a setup cannot carry, each with its reason:");
  }
  for (const Exclusion& exclusion : exclusions) {
    out.Line("; \"" + Shown(exclusion.relative) + "\": " + exclusion.reason);
    out.Line(exclusion.pattern);
  }
  if (!request.manifest_relative.empty()) {
    out.Line("; This manifest, which lies in the folder.");
    out.Line(PatternFor(request.manifest_relative));
  }
}

}  // namespace

bool WriteStarterManifest(const StarterRequest& request, const FolderLister& lister,
                          std::string* text, StarterSummary* summary,
                          std::vector<std::string>* errors) {
  *summary = StarterSummary();
  StarterWalk walk;
  walk.request = &request;
  walk.lister = &lister;
  walk.errors = errors;
  FolderWalk top;
  top.root = request.folder_path;
  if (!WalkFolder(walk, "", top)) return false;
  NoteWiderPatterns(walk);

  ManifestText out;
  out.Line("; The setup of the files in \"" + Shown(request.folder_name) + "\", as pack --init "
           "wrote it for a start.");
  out.Line("; Build the setup:  pack " + Shown(request.manifest_name) + " -o setup.exe");
  out.Line("; Every key is described in the manual (man pack, or README.md beside pack).");
  out.Line("");
  WriteProduct(request, out, summary);
  out.Line("[files]");
  out.Line("; The whole folder, at the top of the installation folder.");
  out.Line("\\ = " + Field(request.folder_source));
  std::vector<std::string> top_files;  // the files the folder line takes at its top
  for (const KeptPath& kept : walk.kept) {
    if (kept.file) ++summary->files;
    bool at_top = kept.relative.find('/') == std::string::npos;
    if (kept.file && at_top) top_files.push_back(kept.relative);
  }
  WriteProgram(request, top_files, out, summary);
  WriteLicense(request, FindLicense(top_files), out, summary);
  out.Line("");
  out.Line("; Signing is no part of the manifest: pack signs the uninstaller and the setup");
  out.Line("; in place with the command --sign gives it (osslsigncode on Linux, signtool on");
  out.Line("; Windows; README.md shows both):");
  out.Line(";   pack " + Shown(request.manifest_name) + " -o setup.exe --sign 'COMMAND {file}'");
  out.Line("");
  WriteExcludes(request, walk.exclusions, out);
  *text = out.text;
  summary->excluded = walk.exclusions.size();
  return true;
}

void SplitFolderName(const std::string& folder_name, std::string* name, std::string* version) {
  for (size_t k = 1; k + 1 < folder_name.size(); ++k) {
    char separator = folder_name[k];
    if (separator != '-' && separator != '_' && separator != ' ') continue;
    size_t start = k + 1;
    bool v = folder_name[start] == 'v' || folder_name[start] == 'V';
    if (v && start + 1 < folder_name.size()) ++start;
    if (folder_name[start] < '0' || folder_name[start] > '9') continue;
    *name = folder_name.substr(0, k);
    *version = folder_name.substr(start);
    while (!name->empty() && (name->back() == ' ' || name->back() == '-' || name->back() == '_')) {
      name->pop_back();
    }
    return;
  }
  *name = folder_name;
  version->clear();
}
