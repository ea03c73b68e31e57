// Icon files (.ico) as a publisher supplies them for the setup executable: every image
// checked (bitmaps of any size and colour depth, PNG images as 256-pixel icons carry them),
// and turned into the resources that replace the stub's icon group.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

// The largest icon file the packer reads: a dozen 256-pixel 32-bit bitmaps fit easily.
constexpr uint64_t kIconFileMaxBytes = 16 * 1024 * 1024;

// One image of an icon file: its directory entry and its bytes (a bitmap without file
// header, or a PNG file).
struct IconImage {
  uint8_t width = 0, height = 0;  // pixels; 0 means 256
  uint8_t color_count = 0;
  uint16_t planes = 0, bit_count = 0;
  std::vector<uint8_t> bytes;
};

// Reads the icon file `file`. Returns "" with every image in `images`, or what makes the
// file not a well-formed icon ("image 2 runs past the end of the file").
std::string ReadIconFile(const std::vector<uint8_t>& file, std::vector<IconImage>* images);

// The RT_GROUP_ICON resource that lists `images` as the RT_ICON resources `first_id`,
// `first_id` + 1, ...
std::vector<uint8_t> IconGroupResource(const std::vector<IconImage>& images, uint16_t first_id);

// The RT_ICON identifiers that the RT_GROUP_ICON resource `group` lists (none when it is
// too short to hold its own count).
std::vector<uint16_t> IconGroupMembers(const uint8_t* group, uint64_t size);
