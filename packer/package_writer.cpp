#include "packer/package_writer.h"

#include "package/package_layout.h"

namespace {

void PutUint16(std::vector<uint8_t>& out, uint16_t value) {
  out.push_back((uint8_t)(value & 0xFF));
  out.push_back((uint8_t)(value >> 8));
}

void PutUint32(std::vector<uint8_t>& out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back((uint8_t)(value >> shift));
}

// A header string field: UTF-16LE, zero-padded to the field's 32 units.
void PutStringField(std::vector<uint8_t>& out, const std::u16string& text) {
  for (uint32_t unit = 0; unit < kHeaderStringUnits; ++unit) {
    PutUint16(out, unit < text.size() ? (uint16_t)text[unit] : 0);
  }
}

}  // namespace

uint64_t PackageSize(const PackageContents& contents) {
  uint64_t size = kStoredHeaderSize + 1 + 2;  // header, list terminator, end marker
  for (const std::string& folder : contents.folders) size += 1 + folder.size();
  for (const PackageEntry& entry : contents.entries) {
    size += 2 + entry.name.size() + 1 + 4 + entry.data.size();
  }
  return size;
}

void WritePackage(const PackageContents& contents, std::vector<uint8_t>& out) {
  out.reserve(out.size() + (size_t)PackageSize(contents));
  PutUint32(out, kStoredHeaderSize);
  PutStringField(out, contents.product_name);
  PutStringField(out, contents.product_version);
  PutStringField(out, contents.window_class);
  out.push_back(contents.allow_run_once);
  out.push_back(contents.log_executables);
  out.push_back(contents.default_desktop);
  out.push_back(contents.default_startup);
  out.push_back(contents.default_programs);
  out.push_back(contents.default_launch);
  PutUint16(out, 0);  // reserved

  for (const std::string& folder : contents.folders) {
    out.push_back((uint8_t)folder.size());
    out.insert(out.end(), folder.begin(), folder.end());
  }
  out.push_back(0);

  for (const PackageEntry& entry : contents.entries) {
    PutUint16(out, entry.flags);
    out.insert(out.end(), entry.name.begin(), entry.name.end());
    out.push_back(0);
    PutUint32(out, (uint32_t)entry.data.size());
    out.insert(out.end(), entry.data.begin(), entry.data.end());
  }
  PutUint16(out, ENTRY_END);
}
