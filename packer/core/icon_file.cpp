#include "packer/core/icon_file.h"

#include <algorithm>

#include "package/little_endian.h"

namespace {

// ICONDIR and its entries, in the file; GRPICONDIRENTRY in the resource.
constexpr size_t kIconDirectorySize = 6;
constexpr size_t kIconEntrySize = 16;
constexpr size_t kGroupEntrySize = 14;
constexpr uint16_t kIconType = 1;
constexpr uint16_t kCursorType = 2;
// BITMAPINFOHEADER fields.
constexpr size_t kBitmapHeaderSize = 40;
constexpr size_t kBitmapWidth = 4, kBitmapHeight = 8, kBitmapPlanes = 12, kBitmapBitCount = 14,
                 kBitmapCompression = 16, kBitmapColorsUsed = 32;
// A PNG file: its signature, then the IHDR chunk (length, type, width, height).
const uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t kPngWidth = 16, kPngHeight = 20, kPngHeaderEnd = 33;

uint32_t Big32(const uint8_t* p) {
  return ((uint32_t)p[0] << 24) | ((uint32_t)p[1] << 16) | ((uint32_t)p[2] << 8) | p[3];
}

std::string Size(uint32_t width, uint32_t height) {
  return std::to_string(width) + "x" + std::to_string(height);
}

bool IsPng(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < sizeof(kPngSignature)) return false;
  for (size_t k = 0; k < sizeof(kPngSignature); ++k) {
    if (bytes[k] != kPngSignature[k]) return false;
  }
  return true;
}

// Checks a PNG image against its directory entry. Returns "" or the problem.
std::string CheckPng(const IconImage& image, uint32_t width, uint32_t height) {
  const std::vector<uint8_t>& b = image.bytes;
  if (b.size() < kPngHeaderEnd || Big32(&b[8]) != 13 || b[12] != 'I' || b[13] != 'H' ||
      b[14] != 'D' || b[15] != 'R') {
    return "is a PNG image without its header chunk";
  }
  uint32_t png_width = Big32(&b[kPngWidth]), png_height = Big32(&b[kPngHeight]);
  if (png_width != width || png_height != height) {
    return "is " + Size(width, height) + " in the directory but " + Size(png_width, png_height) +
           " in its PNG header";
  }
  return "";
}

// Checks a bitmap image (colour bits and transparency mask, stacked, so the bitmap is twice
// as high as the icon) against its directory entry. Returns "" or the problem.
std::string CheckBitmap(const IconImage& image, uint32_t width, uint32_t height) {
  const std::vector<uint8_t>& b = image.bytes;
  if (b.size() < kBitmapHeaderSize || ReadLe32(&b[0]) < kBitmapHeaderSize ||
      ReadLe32(&b[0]) > b.size()) {
    return "is neither a bitmap nor a PNG image";
  }
  uint32_t header = ReadLe32(&b[0]);
  int32_t bitmap_width = (int32_t)ReadLe32(&b[kBitmapWidth]);
  int32_t bitmap_height = (int32_t)ReadLe32(&b[kBitmapHeight]);
  if (bitmap_width != (int32_t)width || bitmap_height != 2 * (int32_t)height) {
    return "is " + Size(width, height) + " in the directory but its bitmap is " +
           std::to_string(bitmap_width) + "x" + std::to_string(bitmap_height) +
           " (an icon's bitmap is twice as high: colours, then the mask)";
  }
  uint32_t planes = ReadLe16(&b[kBitmapPlanes]), bits = ReadLe16(&b[kBitmapBitCount]);
  if (planes != 1 || (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)) {
    return "has " + std::to_string(planes) + " planes of " + std::to_string(bits) +
           " bits per pixel";
  }
  if (ReadLe32(&b[kBitmapCompression]) != 0) return "is a compressed bitmap";
  uint64_t colors = ReadLe32(&b[kBitmapColorsUsed]);
  if (bits <= 8 && (colors == 0 || colors > (1u << bits))) colors = 1u << bits;
  if (bits > 8) colors = 0;
  uint64_t color_rows = (((uint64_t)width * bits + 31) / 32) * 4 * height;
  uint64_t mask_rows = (((uint64_t)width + 31) / 32) * 4 * height;
  uint64_t needed = header + 4 * colors + color_rows + mask_rows;
  if (b.size() < needed) {
    return "has " + std::to_string(b.size()) + " bytes; its bitmap needs " + std::to_string(needed);
  }
  return "";
}

// Where one image's bytes lie in the file.
struct ImageSpan {
  uint32_t offset, size, index;
};

// Checks that every image lies in the file after the directory and that no two share
// bytes: a file whose entries all point at one large image would otherwise be copied once
// per entry. Returns "" or the problem.
std::string CheckImageSpans(const std::vector<uint8_t>& file, uint32_t count) {
  uint64_t directory_end = kIconDirectorySize + (uint64_t)kIconEntrySize * count;
  std::vector<ImageSpan> spans;
  for (uint32_t k = 0; k < count; ++k) {
    const uint8_t* entry = &file[kIconDirectorySize + kIconEntrySize * k];
    ImageSpan span{ReadLe32(entry + 12), ReadLe32(entry + 8), k};
    std::string image_name = "image " + std::to_string(k + 1) + " ";
    if (span.size == 0) return image_name + "is empty";
    if (span.offset > file.size() || span.size > file.size() - span.offset) {
      return image_name + "runs past the end of the file";
    }
    if (span.offset < directory_end) return image_name + "overlaps the icon directory";
    spans.push_back(span);
  }
  std::sort(spans.begin(), spans.end(),
            [](const ImageSpan& a, const ImageSpan& b) {
              return a.offset != b.offset ? a.offset < b.offset : a.index < b.index;
            });
  for (size_t k = 1; k < spans.size(); ++k) {
    const ImageSpan& before = spans[k - 1];
    if ((uint64_t)before.offset + before.size > spans[k].offset) {
      uint32_t first = std::min(before.index, spans[k].index) + 1;
      uint32_t second = std::max(before.index, spans[k].index) + 1;
      return "image " + std::to_string(second) + " overlaps image " + std::to_string(first);
    }
  }
  return "";
}

}  // namespace

std::string ReadIconFile(const std::vector<uint8_t>& file, std::vector<IconImage>* images) {
  images->clear();
  if (file.size() < kIconDirectorySize || ReadLe16(&file[0]) != 0) {
    return "it does not start with an icon directory";
  }
  uint32_t type = ReadLe16(&file[2]), count = ReadLe16(&file[4]);
  if (type == kCursorType) return "it is a cursor, not an icon";
  if (type != kIconType) return "it does not start with an icon directory";
  if (count == 0) return "it holds no image";
  if (file.size() < kIconDirectorySize + (uint64_t)kIconEntrySize * count) {
    return "its directory of " + std::to_string(count) + " images runs past the end of the file";
  }
  std::string overlap = CheckImageSpans(file, count);
  if (!overlap.empty()) return overlap;
  for (uint32_t k = 0; k < count; ++k) {
    const uint8_t* entry = &file[kIconDirectorySize + kIconEntrySize * k];
    std::string image_name = "image " + std::to_string(k + 1) + " ";
    IconImage image;
    image.width = entry[0];
    image.height = entry[1];
    image.color_count = entry[2];
    image.planes = (uint16_t)ReadLe16(entry + 4);
    image.bit_count = (uint16_t)ReadLe16(entry + 6);
    uint32_t size = ReadLe32(entry + 8), offset = ReadLe32(entry + 12);
    image.bytes.assign(file.begin() + offset, file.begin() + offset + size);
    uint32_t width = image.width ? image.width : 256, height = image.height ? image.height : 256;
    bool png = IsPng(image.bytes);
    std::string problem = png ? CheckPng(image, width, height) : CheckBitmap(image, width, height);
    if (!problem.empty()) return image_name + problem;
    // Directory entries that leave planes and depth out get them from the image, as the
    // loader's choice of the best image for a size reads them.
    if (image.bit_count == 0) {
      image.planes = 1;
      image.bit_count = png ? 32 : (uint16_t)ReadLe16(&image.bytes[kBitmapBitCount]);
    }
    images->push_back(image);
  }
  return "";
}

std::vector<uint8_t> IconGroupResource(const std::vector<IconImage>& images, uint16_t first_id) {
  std::vector<uint8_t> group;
  AppendLe16(group, 0);
  AppendLe16(group, kIconType);
  AppendLe16(group, (uint32_t)images.size());
  for (size_t k = 0; k < images.size(); ++k) {
    const IconImage& image = images[k];
    group.push_back(image.width);
    group.push_back(image.height);
    group.push_back(image.color_count);
    group.push_back(0);
    AppendLe16(group, image.planes);
    AppendLe16(group, image.bit_count);
    AppendLe16(group, (uint32_t)image.bytes.size());
    AppendLe16(group, (uint32_t)(image.bytes.size() >> 16));
    AppendLe16(group, (uint32_t)(first_id + k));
  }
  return group;
}

std::vector<uint16_t> IconGroupMembers(const uint8_t* group, uint64_t size) {
  std::vector<uint16_t> ids;
  if (size < kIconDirectorySize) return ids;
  uint32_t count = ReadLe16(group + 4);
  for (uint32_t k = 0; k < count && kIconDirectorySize + kGroupEntrySize * (k + 1) <= size; ++k) {
    ids.push_back((uint16_t)ReadLe16(group + kIconDirectorySize + kGroupEntrySize * k + 12));
  }
  return ids;
}
