// ReadManifest: the manifest's lines read in two passes by the parts that
// manifest_reading.h lists, then what only the whole manifest shows.
#include "packer/core/manifest.h"

#include "package/package_layout.h"
#include "packer/core/manifest_reading.h"

void Fail(Reading& reading, int line, const std::string& message) {
  if (line > 0) {
    reading.errors->push_back(reading.name + ":" + std::to_string(line) + ": " + message);
  } else {
    reading.errors->push_back(reading.name + ": " + message);
  }
}

namespace {

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
