#include "packer/core/version_resource.h"

#include "package/little_endian.h"
#include "packer/core/text_encoding.h"

namespace {

// VS_FIXEDFILEINFO values: the signature and structure version, every flag valid and
// none set, a Win32 program for Windows NT.
constexpr uint32_t kFixedSignature = 0xFEEF04BD;
constexpr uint32_t kFixedStructureVersion = 0x00010000;
constexpr uint32_t kFixedFlagsMask = 0x3F;
constexpr uint32_t kFixedOsNtWindows32 = 0x00040004;
constexpr uint32_t kFixedTypeApplication = 1;
constexpr uint32_t kFixedInfoSize = 13 * 4;
// Node types: binary data, text.
constexpr uint16_t kBinaryNode = 0, kTextNode = 1;
// Language neutral (0000) with the Unicode code page (1200, 0x04B0).
const char kStringTableKey[] = "000004B0";
constexpr uint16_t kNeutralLanguage = 0, kUnicodeCodePage = 1200;

void PadTo4(std::vector<uint8_t>& out) {
  while (out.size() % 4 != 0) out.push_back(0);
}

void PutText(std::vector<uint8_t>& out, const std::u16string& text) {
  for (char16_t unit : text) AppendLe16(out, unit);
  AppendLe16(out, 0);
}

std::u16string Ascii(const char* text) {
  std::u16string out;
  while (*text) out += (char16_t)*text++;
  return out;
}

// Every node of the block: its length, its value's length, its type and key, then the
// value and the children, each on a 4-byte boundary. `value_length` counts bytes for
// binary values and UTF-16 units (with the terminator) for text.
struct Node {
  std::vector<uint8_t>& out;
  size_t start;
  Node(std::vector<uint8_t>& block, const char* key, uint32_t value_length, uint16_t type)
      : out(block), start(block.size()) {
    AppendLe16(out, 0);  // the length, set when the node is closed
    AppendLe16(out, value_length);
    AppendLe16(out, type);
    PutText(out, Ascii(key));
    PadTo4(out);
  }
  void Close() {
    size_t length = out.size() - start;
    WriteLe16(out.data() + start, (uint32_t)length);
    PadTo4(out);
  }
};

void PutString(std::vector<uint8_t>& out, const char* key, const std::u16string& value) {
  if (value.empty()) return;
  Node node(out, key, (uint32_t)value.size() + 1, kTextNode);
  PutText(out, value);
  node.Close();
}

void PutFixedInfo(std::vector<uint8_t>& out, const VersionInfo& info) {
  const uint16_t* f = info.file_version;
  const uint16_t* p = info.product_numbers;
  AppendLe32(out, kFixedSignature);
  AppendLe32(out, kFixedStructureVersion);
  AppendLe32(out, ((uint32_t)f[0] << 16) | f[1]);
  AppendLe32(out, ((uint32_t)f[2] << 16) | f[3]);
  AppendLe32(out, ((uint32_t)p[0] << 16) | p[1]);
  AppendLe32(out, ((uint32_t)p[2] << 16) | p[3]);
  AppendLe32(out, kFixedFlagsMask);
  AppendLe32(out, 0);  // flags: a release build
  AppendLe32(out, kFixedOsNtWindows32);
  AppendLe32(out, kFixedTypeApplication);
  AppendLe32(out, 0);  // subtype
  AppendLe32(out, 0);  // date, high and low: none, so the block does not depend on the clock
  AppendLe32(out, 0);
}

std::u16string NumbersText(const uint16_t numbers[4]) {
  std::string text;
  for (int k = 0; k < 4; ++k) text += (k ? "." : "") + std::to_string(numbers[k]);
  return Ascii(text.c_str());
}

// Reads a decimal number of 0-65535 at `text[*at]`. Returns false when there is none.
bool ReadNumber(const std::string& text, size_t* at, uint16_t* number) {
  size_t start = *at;
  uint32_t value = 0;
  while (*at < text.size() && text[*at] >= '0' && text[*at] <= '9' && *at - start < 6) {
    value = value * 10 + (uint32_t)(text[*at] - '0');
    ++*at;
  }
  if (*at == start || value > 0xFFFF || (*at < text.size() && text[*at] >= '0' && text[*at] <= '9')) {
    return false;
  }
  *number = (uint16_t)value;
  return true;
}

}  // namespace

std::vector<uint8_t> VersionResource(const VersionInfo& info) {
  std::vector<uint8_t> out;
  Node root(out, "VS_VERSION_INFO", kFixedInfoSize, kBinaryNode);
  PutFixedInfo(out, info);
  PadTo4(out);
  {
    Node file_info(out, "StringFileInfo", 0, kTextNode);
    Node table(out, kStringTableKey, 0, kTextNode);
    PutString(out, "CompanyName", info.company);
    PutString(out, "FileDescription", info.file_description);
    PutString(out, "FileVersion", NumbersText(info.file_version));
    PutString(out, "InternalName", info.internal_name);
    PutString(out, "LegalCopyright", info.copyright);
    PutString(out, "OriginalFilename", info.original_filename);
    PutString(out, "ProductName", info.product_name);
    PutString(out, "ProductVersion", info.product_version);
    table.Close();
    file_info.Close();
  }
  {
    Node var_info(out, "VarFileInfo", 0, kTextNode);
    Node translation(out, "Translation", 4, kBinaryNode);
    AppendLe16(out, kNeutralLanguage);
    AppendLe16(out, kUnicodeCodePage);
    translation.Close();
    var_info.Close();
  }
  root.Close();
  return out;
}

void SetFileNames(const std::string& path, VersionInfo* info) {
  std::string name = path.substr(path.find_last_of("\\/") + 1);
  std::u32string code_points;
  if (!DecodeUtf8(name, &code_points)) {
    code_points.clear();
    for (char c : name) code_points.push_back(Windows1252CodePoint((uint8_t)c));
  }
  info->original_filename = EncodeUtf16(code_points);
  std::u16string& internal = info->internal_name;
  internal = info->original_filename;
  size_t dot = internal.rfind(u'.');
  if (dot != std::u16string::npos && dot > 0) {
    std::u16string extension = internal.substr(dot);
    for (char16_t& c : extension) {
      if (c >= u'A' && c <= u'Z') c = (char16_t)(c - u'A' + u'a');
    }
    if (extension == u".exe") internal.erase(dot);
  }
}

void LeadingVersionNumbers(const std::string& text, uint16_t numbers[4]) {
  for (int k = 0; k < 4; ++k) numbers[k] = 0;
  size_t at = 0;
  for (int k = 0; k < 4; ++k) {
    uint16_t number;
    if (!ReadNumber(text, &at, &number)) return;
    numbers[k] = number;
    if (at >= text.size() || text[at] != '.') return;
    ++at;
  }
}

bool ParseFileVersion(const std::string& text, uint16_t numbers[4]) {
  for (int k = 0; k < 4; ++k) numbers[k] = 0;
  size_t at = 0;
  for (int k = 0; k < 4; ++k) {
    if (!ReadNumber(text, &at, &numbers[k])) return false;
    if (at == text.size()) return true;
    if (text[at] != '.') return false;
    ++at;
  }
  return false;
}
