#include "packer/package_writer.h"

#include <string.h>

#include "package/package_layout.h"

namespace {

uint8_t* PutUint16(uint8_t* out, uint16_t value) {
  out[0] = (uint8_t)(value & 0xFF);
  out[1] = (uint8_t)(value >> 8);
  return out + 2;
}

uint8_t* PutUint32(uint8_t* out, uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) *out++ = (uint8_t)(value >> shift);
  return out;
}

// A header string field: UTF-16LE, zero-padded to the field's 32 units.
uint8_t* PutStringField(uint8_t* out, const std::u16string& text) {
  for (uint32_t unit = 0; unit < kHeaderStringUnits; ++unit) {
    out = PutUint16(out, unit < text.size() ? (uint16_t)text[unit] : 0);
  }
  return out;
}

uint8_t* PutBytes(uint8_t* out, const std::string& bytes) {
  if (!bytes.empty()) memcpy(out, bytes.data(), bytes.size());
  return out + bytes.size();
}

std::vector<uint32_t> HeldSizes(const PackageContents& contents) {
  std::vector<uint32_t> sizes;
  sizes.reserve(contents.entries.size());
  for (const PackageEntry& entry : contents.entries) sizes.push_back((uint32_t)entry.data.size());
  return sizes;
}

}  // namespace

uint64_t PackageSize(const PackageContents& contents,
                     const std::vector<uint32_t>& content_sizes) {
  uint64_t size = kStoredHeaderSize + 1 + 2;  // header, list terminator, end marker
  for (const std::string& folder : contents.folders) size += 1 + folder.size();
  for (size_t index = 0; index < contents.entries.size(); ++index) {
    size += 2 + contents.entries[index].name.size() + 1 + 4 + content_sizes[index];
  }
  return size;
}

uint64_t PackageSize(const PackageContents& contents) {
  return PackageSize(contents, HeldSizes(contents));
}

bool StreamPackage(const PackageContents& contents, const std::vector<uint32_t>& content_sizes,
                   const BytesSink& put, const ContentCopier& copy) {
  uint8_t header[kStoredHeaderSize];
  uint8_t* out = PutUint32(header, kStoredHeaderSize);
  out = PutStringField(out, contents.product_name);
  out = PutStringField(out, contents.product_version);
  out = PutStringField(out, contents.window_class);
  *out++ = contents.allow_run_once;
  *out++ = contents.log_executables;
  *out++ = contents.default_desktop;
  *out++ = contents.default_startup;
  *out++ = contents.default_programs;
  *out++ = contents.default_launch;
  PutUint16(out, 0);  // reserved
  if (!put(header, sizeof(header))) return false;

  std::string list;
  for (const std::string& folder : contents.folders) {
    list += (char)folder.size();
    list += folder;
  }
  list += '\0';
  if (!put((const uint8_t*)list.data(), list.size())) return false;

  for (size_t index = 0; index < contents.entries.size(); ++index) {
    const PackageEntry& entry = contents.entries[index];
    std::vector<uint8_t> head(2 + entry.name.size() + 1 + 4);
    out = PutUint16(head.data(), entry.flags);
    out = PutBytes(out, entry.name);
    *out++ = 0;
    uint32_t size = content_sizes[index];
    PutUint32(out, size);
    if (!put(head.data(), head.size())) return false;
    if (size > 0 && !copy(index, size)) return false;
  }
  uint8_t end_marker[2];
  PutUint16(end_marker, ENTRY_END);
  return put(end_marker, sizeof(end_marker));
}

bool WritePackageInto(const PackageContents& contents,
                      const std::vector<uint32_t>& content_sizes, const ContentSource& source,
                      uint8_t* out) {
  return StreamPackage(
      contents, content_sizes,
      [&out](const uint8_t* bytes, size_t size) {
        memcpy(out, bytes, size);
        out += size;
        return true;
      },
      [&out, &source](size_t index, uint32_t size) {
        if (!source(index, out, size)) return false;
        out += size;
        return true;
      });
}

void WritePackage(const PackageContents& contents, std::vector<uint8_t>& out) {
  std::vector<uint32_t> sizes = HeldSizes(contents);
  size_t start = out.size();
  out.resize(start + (size_t)PackageSize(contents, sizes));
  WritePackageInto(
      contents, sizes,
      [&contents](size_t index, uint8_t* place, uint32_t size) {
        memcpy(place, contents.entries[index].data.data(), size);
        return true;
      },
      out.data() + start);
}
