// The product's values: the header strings (name, version, window_class), the version
// resource's texts and numbers, the icon, the setup's kind (arch), the [options] switches,
// and the largest package the setup can hold.
#include "package/package_layout.h"
#include "packer/core/icon_file.h"
#include "packer/core/manifest_reading.h"
#include "packer/core/message_text.h"
#include "packer/core/package_names.h"
#include "packer/core/target_names.h"
#include "packer/core/text_encoding.h"
#include "packer/core/tool_identity.h"
#include "packer/core/version_resource.h"

namespace {

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

const char* const kProductKeys[] = {"name",      "version",      "window_class", "icon",
                                    "company",   "copyright",    "file_version", "arch"};

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

}  // namespace

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
