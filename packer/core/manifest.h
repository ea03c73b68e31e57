// The manifest a publisher writes to describe a package, and every check the installer
// relies on but cannot make itself. Portable C++: the file system is asked through a
// caller-supplied lookup (core/host_file_info.h), so the same code serves any host.
//
// Format (UTF-8, optional BOM; lines starting with ";" are comments):
//   [product]  name = ..., version = ...; optional window_class = ..., icon = file.ico,
//              company = ..., copyright = ..., file_version = a.b.c.d, arch = x86 or x64
//   [options]  allow_run_once, log_executables, default_desktop, default_startup,
//              default_programs, default_launch = 0 or 1 (default 0)
//   [files]    target = source [| flags]     (one line per entry, in package order)
//              target\ = source/             (a whole folder's tree, recursively)
//   [folders]  folder                        (empty folders to create)
//   [exclude]  pattern                       (names or paths the folder lines leave out)
#pragma once

#include <stdint.h>
#include <string>
#include <vector>

#include "packer/core/host_file_info.h"
#include "packer/core/package_writer.h"

// The largest package the packing tool embeds, in bytes. pack.exe streams the package and
// never holds it, but the setup program maps its whole image into a 32-bit address space
// and must find one free range for it. Under Wine a 1399 MiB package still started and
// installed; the limit leaves room for the more fragmented address space of a 32-bit
// Windows.
constexpr uint64_t kMaxPackageBytes = 1200ull * 1024 * 1024;

// Where a folder line found an entry's source: the walk to its folder (an index into
// Manifest::walks) and the file as that folder's listing gave it. `walk` is -1 for a
// source that a [files] line names by its path.
struct FoundSource {
  int walk = -1;
  FolderItem file;
};

// Longest company and copyright texts of the version resource, in UTF-16 units.
constexpr size_t kVersionTextMaxUnits = 127;

// What the setup executable says about itself besides the package: its icon and the
// version resource's fields.
struct ProductBranding {
  std::string icon_source;           // the icon file, resolved (UTF-8); "" for the stub's
  std::string icon_text;             // the icon as the manifest names it, for messages
  int icon_line = 0;                 // the manifest line of `icon`
  std::u16string company, copyright;
  uint16_t file_version[4] = {};     // `file_version`, or the leading numbers of `version`
  uint16_t product_numbers[4] = {};  // the leading numbers of `version`
};

// The kind of Windows program the setup is: `arch` in [product]. Unset means the default
// stub's kind, 32-bit unless --stub names another.
enum SetupArch { ARCH_UNSET, ARCH_X86, ARCH_X64 };

// A manifest that passed every check: the package to write, without contents, and where
// each entry's content comes from.
struct Manifest {
  PackageContents contents;               // header, options, folders, entries (no data)
  ProductBranding branding;
  SetupArch arch = ARCH_UNSET;
  int arch_line = 0;                      // the manifest line of `arch`
  std::vector<std::string> sources;       // per entry: the resolved source path (UTF-8)
  std::vector<uint32_t> content_sizes;    // per entry: the source's size
  std::vector<int> lines;                 // per entry: its manifest line (0: added by us)
  std::vector<FoundSource> found;         // per entry: where a folder line found the source
  std::vector<FolderWalk> walks;          // the folders that folder lines listed
};

// Reads the manifest `text`. `manifest_name` names it in messages ("app.ini:12: ...");
// `folder` is the manifest's folder (UTF-8, ending in a separator, or empty), against
// which relative sources resolve; `lookup` is asked about every source and `lister` about
// the folders of folder lines (without one, folder lines are refused). Appends one message
// per problem to `errors` and returns true only when there is none.
bool ReadManifest(const std::string& text, const std::string& manifest_name,
                  const std::string& folder, const SourceLookup& lookup, Manifest* manifest,
                  std::vector<std::string>* errors, const FolderLister& lister = FolderLister());

// Whether `name` matches `pattern`, where "*" stands for any run of characters and "?" for
// one, neither crossing a "/". Letters compare without case, as targets do.
bool MatchesPattern(const std::string& pattern, const std::string& name);

// Puts the uninstaller first: flags 0xFFFE, name "uninstall.exe", content from `path`.
// Returns false with a message in `errors` when `path` is not a file.
bool AddUninstaller(const std::string& path, const SourceLookup& lookup, Manifest* manifest,
                    std::vector<std::string>* errors);

// Checks that the package fits kMaxPackageBytes. Returns false with a message giving the
// limit in `errors` otherwise.
bool CheckPackageSize(const Manifest& manifest, const std::string& manifest_name,
                      std::vector<std::string>* errors);

// The checks every file and folder name of a package gets: its characters and parts, its
// length, and the names reserved at the root. Returns "" with the stored name in `*ansi`,
// or the problem, a message that starts with `noun` ("target", "folder") and the name.
std::string CheckPackageName(const std::string& utf8, const char* noun, std::string* ansi);

// `source` resolved against `folder`: absolute paths ("/x", "\x", "C:\x") as they are.
std::string ResolveSource(const std::string& folder, const std::string& source);
