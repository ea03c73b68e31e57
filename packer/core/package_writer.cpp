#include "packer/core/package_writer.h"

#include <string.h>

#include "package/little_endian.h"
#include "package/package_layout.h"
#include "packer/core/package_names.h"

namespace {

// A header string field: UTF-16LE, zero-padded to the field's 32 units.
uint8_t* PutStringField(uint8_t* out, const std::u16string& text) {
  for (uint32_t unit = 0; unit < kHeaderStringUnits; ++unit) {
    out = WriteLe16(out, unit < text.size() ? (uint16_t)text[unit] : 0);
  }
  return out;
}

uint8_t* PutBytes(uint8_t* out, const std::string& bytes) {
  if (!bytes.empty()) memcpy(out, bytes.data(), bytes.size());
  return out + bytes.size();
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

bool StreamPackage(const PackageContents& contents, const std::vector<uint32_t>& content_sizes,
                   PackageStreamSink& sink) {
  uint8_t header[kStoredHeaderSize] = {};  // the reserved bytes stay zero
  WriteLe32(header + kHeaderSizeOffset, kStoredHeaderSize);
  PutStringField(header + kProductNameOffset, contents.product_name);
  PutStringField(header + kProductVersionOffset, contents.product_version);
  PutStringField(header + kWindowClassOffset, contents.window_class);
  for (size_t k = 0; k < kOptionNameCount; ++k) {
    header[kOptionNames[k].header_offset] = contents.*kOptionNames[k].field;
  }
  if (!sink.Put(header, sizeof(header))) return false;

  std::string list;
  for (const std::string& folder : contents.folders) {
    list += (char)folder.size();
    list += folder;
  }
  list += '\0';
  if (!sink.Put((const uint8_t*)list.data(), list.size())) return false;

  for (size_t index = 0; index < contents.entries.size(); ++index) {
    const PackageEntry& entry = contents.entries[index];
    std::vector<uint8_t> head(2 + entry.name.size() + 1 + 4);
    uint8_t* out = WriteLe16(head.data(), entry.flags);
    out = PutBytes(out, entry.name);
    *out++ = 0;
    uint32_t size = content_sizes[index];
    WriteLe32(out, size);
    if (!sink.Put(head.data(), head.size())) return false;
    if (size > 0 && !sink.CopyContent(index, size)) return false;
  }
  uint8_t end_marker[2];
  WriteLe16(end_marker, ENTRY_END);
  return sink.Put(end_marker, sizeof(end_marker));
}

