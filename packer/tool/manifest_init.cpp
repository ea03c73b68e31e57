#include "packer/tool/manifest_init.h"

#include <vector>

#include "packer/core/manifest.h"
#include "packer/core/message_text.h"
#include "packer/core/starter_manifest.h"
#include "packer/core/tool_identity.h"
#include "packer/tool/console.h"
#include "packer/tool/file_access.h"

namespace {

// The version a starter manifest says when neither the folder's name nor --version gives
// one.
const char kFirstVersion[] = "1.0";

int Refuse(const std::string& problem) {
  PrintError(PACK_TOOL_NAME ": " + problem + "\n");
  return 1;
}

// A path taken apart: its root ("/", "C:/", "//" or "" for a relative one) and its folder
// names, without "." and with each ".." taken back.
struct PathParts {
  std::string root;
  std::vector<std::string> parts;
};

PathParts SplitPath(const std::string& path) {
  PathParts split;
  std::string rest = path;
  for (char& c : rest) {
    if (c == '\\') c = '/';
  }
  if (rest.compare(0, 2, "//") == 0) {
    split.root = "//";
  } else if (!rest.empty() && rest[0] == '/') {
    split.root = "/";
  } else if (rest.size() >= 2 && rest[1] == ':') {
    split.root = rest.substr(0, 2) + "/";
    rest.erase(0, 2);
  }
  size_t start = 0;
  while (start <= rest.size()) {
    size_t stop = rest.find('/', start);
    if (stop == std::string::npos) stop = rest.size();
    std::string part = rest.substr(start, stop - start);
    start = stop + 1;
    if (part.empty() || part == ".") continue;
    if (part == ".." && !split.parts.empty() && split.parts.back() != "..") {
      split.parts.pop_back();
    } else if (part != ".." || split.root.empty()) {
      split.parts.push_back(part);
    }
  }
  return split;
}

// `path` as an absolute path, taken apart; `current` is the current folder.
PathParts AbsolutePath(const std::string& path, const std::string& current) {
  PathParts split = SplitPath(path);
  return split.root.empty() ? SplitPath(current + "/" + path) : split;
}

// Whether two names of a path are one: on a drive ("C:/") without case, as Windows
// compares them (ASCII letters; others count as different, which only makes a longer
// relative path).
bool SameName(const std::string& a, const std::string& b, bool without_case) {
  if (!without_case) return a == b;
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k) {
    char x = a[k], y = b[k];
    if (x >= 'A' && x <= 'Z') x = (char)(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = (char)(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string Joined(const PathParts& path, size_t from) {
  std::string joined;
  for (size_t k = from; k < path.parts.size(); ++k) joined += path.parts[k] + "/";
  return joined;
}

// How the folder `to` is reached from the folder `from`, both absolute, ending in "/": a
// relative path where they share a root, else `to` itself.
std::string RelativePath(const PathParts& from, const PathParts& to) {
  bool drive = from.root.size() == 3 && from.root[1] == ':';
  if (!SameName(from.root, to.root, true)) return to.root + Joined(to, 0);
  size_t common = 0;
  while (common < from.parts.size() && common < to.parts.size() &&
         SameName(from.parts[common], to.parts[common], drive)) {
    ++common;
  }
  std::string relative;
  for (size_t k = common; k < from.parts.size(); ++k) relative += "../";
  relative += Joined(to, common);
  return relative.empty() ? "./" : relative;
}

// `path` without the separators at its end ("/" stays itself).
std::string WithoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
  return path;
}

// The file name of `path`.
std::string FileNameOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FolderOf(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// Where the manifest goes: -o, or FOLDER.ini beside the folder, named as the folder was
// given when its last name is a real one ("dist/alpha-1.2" gives "dist/alpha-1.2.ini").
std::string OutputFor(const InitRequest& request, const PathParts& folder) {
  if (!request.output.empty()) return request.output;
  std::string given = WithoutTrailingSeparators(request.folder);
  std::string last = FileNameOf(given);
  if (!last.empty() && last != "." && last != ".." && !(last.size() == 2 && last[1] == ':')) {
    return given + ".ini";
  }
  PathParts parent = folder;
  parent.parts.pop_back();
  return parent.root + Joined(parent, 0) + folder.parts.back() + ".ini";
}

// Reads the written text as pack will read it. Returns "" or every problem, one a line.
std::string CheckAsPackReadsIt(const std::string& text, const std::string& output,
                               const StarterSummary& summary) {
  Manifest manifest;
  std::vector<std::string> errors;
  HeldFolder listing;
  FolderLister lister = [&listing](const FolderWalk& walk, std::vector<FolderItem>* items,
                                   FileIdentity* root_identity, std::string* problem) {
    return ListFolder(walk, &listing, items, root_identity, problem);
  };
  if (ReadManifest(text, output, FolderOf(output), LookUpSource, &manifest, &errors, lister)) {
    CheckPackageSize(manifest, output, &errors);
  }
  ReleaseHeldFolder(&listing);
  if (errors.empty()) return "";
  std::string problems = "the starter manifest would be refused; nothing written:\n";
  bool header = false;
  for (const std::string& error : errors) {
    problems += error + "\n";
    for (int line : {summary.name_line, summary.version_line}) {
      header = header || error.compare(0, output.size() + 2 + std::to_string(line).size(),
                                       output + ":" + std::to_string(line) + ":") == 0;
    }
  }
  if (header) problems += "--name and --version give the product's name and version\n";
  problems.pop_back();
  return problems;
}

// Writes `text` as the new file `output`: complete under a temporary name first, then
// renamed to a name nothing else holds.
bool WriteNewFile(const std::string& output, const std::string& text, std::string* error) {
  std::string partial;
  FileHandle file = CreateTemporaryFile(output, &partial, error);
  if (file == kNoFile) return false;
  bool ok = WriteAll(file, text.data(), text.size(), error);
  ok = CloseOutputFile(file, partial, error) && ok;
  bool exists = false;
  if (ok && !RenameToNewName(partial, output, &exists)) {
    *error = exists ? Quote(output) + " appeared while the manifest was written; it is left as "
                      "it is"
                    : "cannot write " + Quote(output) + ": " + LastErrorText();
    ok = false;
  }
  if (!ok) RemoveFileQuietly(partial);
  return ok;
}

// "alpha-1.2.ini: alpha 1.2, 12 files from "alpha-1.2/"; ..." and the next command.
std::string SummaryText(const std::string& output, const StarterRequest& product,
                        const StarterSummary& summary) {
  std::string text = output + ": " + product.name + " " + product.version + ", " +
                     std::to_string(summary.files) + (summary.files == 1 ? " file" : " files") +
                     " from " + Quote(product.folder_source);
  text += summary.program.empty() ? "; no program flagged"
                                  : "; " + summary.program + " with shortcuts (programs desktop)";
  if (!summary.license.empty()) text += "; licence " + summary.license;
  if (summary.excluded > 0) {
    text += "; " + std::to_string(summary.excluded) + " excluded (see [exclude])";
  }
  return text + "\nbuild the setup with: " PACK_TOOL_NAME " " + output + " -o setup.exe\n";
}

}  // namespace

int InitManifest(const InitRequest& request) {
  if (LookUpSource(request.folder).kind != SOURCE_FOLDER) {
    return Refuse(Quote(request.folder) + " is not a folder");
  }
  std::string current = CurrentFolder();
  if (current.empty()) return Refuse("cannot find the current folder: " + LastErrorText());
  PathParts folder = AbsolutePath(request.folder, current);
  if (folder.parts.empty()) {
    return Refuse(Quote(request.folder) + " is a root; name a product folder");
  }
  std::string output = OutputFor(request, folder);
  if (LookUpSource(output).kind != SOURCE_MISSING) {
    return Refuse(Quote(output) + " exists already; --init writes a new manifest only: remove "
                  "it or name another file with -o");
  }
  PathParts output_path = AbsolutePath(output, current);
  PathParts output_folder = output_path;
  output_folder.parts.pop_back();

  StarterRequest product;
  product.folder_path = WithoutTrailingSeparators(request.folder) + "/";
  product.folder_source = RelativePath(output_folder, folder);
  product.folder_name = folder.parts.back();
  product.manifest_name = FileNameOf(output);
  SplitFolderName(product.folder_name, &product.name, &product.version);
  if (!request.name.empty()) product.name = request.name;
  if (!request.version.empty()) product.version = request.version;
  bool first_version = product.version.empty();
  if (first_version) product.version = kFirstVersion;
  std::string inside = RelativePath(folder, output_folder);
  if (inside.compare(0, 3, "../") != 0 && output_path.root == folder.root) {
    product.manifest_relative = (inside == "./" ? "" : inside) + output_path.parts.back();
  }

  std::string text;
  StarterSummary summary;
  std::vector<std::string> errors;
  HeldFolder listing;
  // The starter's walks are values of its own, one after another at what may be the same
  // address: each listing walks down from the product folder again.
  FolderLister lister = [&listing](const FolderWalk& walk, std::vector<FolderItem>* items,
                                   FileIdentity* root_identity, std::string* problem) {
    listing.walk = nullptr;
    return ListFolder(walk, &listing, items, root_identity, problem);
  };
  bool written = WriteStarterManifest(product, lister, &text, &summary, &errors);
  ReleaseHeldFolder(&listing);
  if (!written) {
    return Refuse(errors.empty() ? "cannot read " + Quote(request.folder) : errors[0]);
  }
  std::string problems = CheckAsPackReadsIt(text, output, summary);
  if (!problems.empty()) return Refuse(problems);
  std::string error;
  if (!WriteNewFile(output, text, &error)) return Refuse(error);
  if (first_version) {
    PrintOut("the folder's name has no version: the manifest says " + std::string(kFirstVersion) +
             " (--version gives another)\n");
  }
  PrintOut(SummaryText(output, product, summary));
  return 0;
}
