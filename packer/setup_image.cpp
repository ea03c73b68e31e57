#include "packer/setup_image.h"

#include <algorithm>
#include <map>

#include "package/package_layout.h"

namespace {

// Offsets in the PE32 headers.
constexpr uint32_t kPeOffsetField = 0x3C;
constexpr uint32_t kCoffSections = 6;            // from the "PE\0\0" signature
constexpr uint32_t kCoffOptionalSize = 20;       // from the "PE\0\0" signature
constexpr uint32_t kOptionalHeader = 24;
constexpr uint32_t kOptMagic = 0;
constexpr uint32_t kOptInitializedData = 8;
constexpr uint32_t kOptSectionAlignment = 32;
constexpr uint32_t kOptFileAlignment = 36;
constexpr uint32_t kOptImageSize = 56;
constexpr uint32_t kOptHeadersSize = 60;
constexpr uint32_t kOptCheckSum = 64;
constexpr uint32_t kOptDirectoryCount = 92;
constexpr uint32_t kOptDirectories = 96;
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kSecurityDirectory = 4;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint16_t kPe32Magic = 0x10B;

// Resource tree records.
constexpr uint32_t kDirectoryHeaderSize = 16;
constexpr uint32_t kDirectoryEntrySize = 8;
constexpr uint32_t kDataEntrySize = 16;
constexpr uint32_t kSubdirectoryBit = 0x80000000u;
constexpr uint32_t kRcData = 10;

// Where the package starts in the file: a page boundary, which lets a loader map it.
constexpr uint32_t kPageSize = 4096;

uint32_t Get16(const std::vector<uint8_t>& b, uint64_t at) {
  return at + 2 <= b.size() ? (uint32_t)(b[at] | (b[at + 1] << 8)) : 0;
}

uint32_t Get32(const std::vector<uint8_t>& b, uint64_t at) {
  if (at + 4 > b.size()) return 0;
  return (uint32_t)b[at] | ((uint32_t)b[at + 1] << 8) | ((uint32_t)b[at + 2] << 16) |
         ((uint32_t)b[at + 3] << 24);
}

void Put16(std::vector<uint8_t>& b, uint64_t at, uint32_t value) {
  b[at] = (uint8_t)value;
  b[at + 1] = (uint8_t)(value >> 8);
}

void Put32(std::vector<uint8_t>& b, uint64_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) b[at + i] = (uint8_t)(value >> (8 * i));
}

uint64_t AlignUp(uint64_t value, uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

struct Section {
  uint32_t virtual_size, virtual_address, raw_size, raw_pointer;
};

// A resource name or identifier: names sort before identifiers, as the tree requires.
struct ResourceKey {
  bool named = false;
  std::u16string name;
  uint32_t id = 0;
  bool operator<(const ResourceKey& other) const {
    if (named != other.named) return named;
    return named ? name < other.name : id < other.id;
  }
  bool operator==(const ResourceKey& other) const {
    return named == other.named && name == other.name && id == other.id;
  }
};

struct ResourceLeaf {
  uint32_t data_rva, size, code_page;
};

// type -> name -> language -> data
using ResourceTree = std::map<ResourceKey, std::map<ResourceKey, std::map<ResourceKey, ResourceLeaf>>>;

struct StubImage {
  const std::vector<uint8_t>* bytes;
  uint32_t pe;                // offset of "PE\0\0"
  uint32_t optional;          // offset of the optional header
  uint32_t section_table;     // offset of the first section header
  std::vector<Section> sections;
};

// File offset of `rva`, or 0 when no section holds `count` bytes there.
uint64_t FileOffset(const StubImage& image, uint32_t rva, uint32_t count) {
  for (const Section& s : image.sections) {
    if (rva >= s.virtual_address && (uint64_t)rva + count <= (uint64_t)s.virtual_address + s.raw_size) {
      uint64_t at = (uint64_t)s.raw_pointer + (rva - s.virtual_address);
      return at + count <= image.bytes->size() ? at : 0;
    }
  }
  return 0;
}

bool ReadKey(const StubImage& image, uint64_t root, uint32_t field, ResourceKey* key) {
  if (!(field & kSubdirectoryBit)) {
    key->id = field;
    return true;
  }
  key->named = true;
  uint64_t at = root + (field & ~kSubdirectoryBit);
  uint32_t length = Get16(*image.bytes, at);
  if (at + 2 + 2ull * length > image.bytes->size()) return false;
  for (uint32_t i = 0; i < length; ++i) key->name += (char16_t)Get16(*image.bytes, at + 2 + 2 * i);
  return true;
}

// Reads the stub's three-level resource tree (type, name, language) into `tree`.
bool ReadResources(const StubImage& image, uint32_t rva, uint32_t size, ResourceTree* tree) {
  if (rva == 0 || size == 0) return true;
  uint64_t root = FileOffset(image, rva, kDirectoryHeaderSize);
  if (root == 0) return false;
  // Walks one directory; `level` 0 is types, 1 names, 2 languages. The depth is fixed, so a
  // damaged tree that points back at itself cannot recurse without end.
  struct Walker {
    const StubImage& image;
    uint64_t root;
    ResourceTree* tree;
    ResourceKey keys[2];
    bool Walk(uint64_t directory, int level) {
      const std::vector<uint8_t>& b = *image.bytes;
      if (directory + kDirectoryHeaderSize > b.size()) return false;
      uint32_t count = Get16(b, directory + 12) + Get16(b, directory + 14);
      for (uint32_t i = 0; i < count; ++i) {
        uint64_t entry = directory + kDirectoryHeaderSize + kDirectoryEntrySize * i;
        if (entry + kDirectoryEntrySize > b.size()) return false;
        ResourceKey key;
        if (!ReadKey(image, root, Get32(b, entry), &key)) return false;
        uint32_t target = Get32(b, entry + 4);
        bool subdirectory = (target & kSubdirectoryBit) != 0;
        if (subdirectory != (level < 2)) return false;
        uint64_t at = root + (target & ~kSubdirectoryBit);
        if (level < 2) {
          keys[level] = key;
          if (!Walk(at, level + 1)) return false;
          continue;
        }
        if (at + kDataEntrySize > b.size()) return false;
        ResourceLeaf leaf = {Get32(b, at), Get32(b, at + 4), Get32(b, at + 8)};
        (*tree)[keys[0]][keys[1]][key] = leaf;
      }
      return true;
    }
  } walker{image, root, tree, {}};
  return walker.Walk(root, 0);
}

// Writes `tree` into `section`: the directories, the name strings, then the data entries,
// whose RVAs are taken as they stand in the tree.
void WriteResourceTree(const ResourceTree& tree, std::vector<uint8_t>& section) {
  // Pass 1: sizes of the directories, then of the name strings, then the data entries.
  uint32_t directories = kDirectoryHeaderSize + kDirectoryEntrySize * (uint32_t)tree.size();
  uint32_t strings = 0;
  uint32_t leaves = 0;
  auto string_size = [](const ResourceKey& key) {
    return key.named ? (uint32_t)AlignUp(2 + 2 * key.name.size(), 4) : 0u;
  };
  for (const auto& type : tree) {
    strings += string_size(type.first);
    directories += kDirectoryHeaderSize + kDirectoryEntrySize * (uint32_t)type.second.size();
    for (const auto& name : type.second) {
      strings += string_size(name.first);
      directories += kDirectoryHeaderSize + kDirectoryEntrySize * (uint32_t)name.second.size();
      for (const auto& language : name.second) {
        strings += string_size(language.first);
        ++leaves;
      }
    }
  }
  uint32_t next_directory = 0, next_string = directories;
  uint32_t next_leaf = directories + strings;
  section.assign(next_leaf + kDataEntrySize * leaves, 0);

  auto key_field = [&](const ResourceKey& key) -> uint32_t {
    if (!key.named) return key.id;
    uint32_t at = next_string;
    Put16(section, at, (uint32_t)key.name.size());
    for (size_t i = 0; i < key.name.size(); ++i) Put16(section, at + 2 + 2 * i, key.name[i]);
    next_string += string_size(key);
    return at | kSubdirectoryBit;
  };
  auto open_directory = [&](size_t named, size_t total) {
    uint32_t at = next_directory;
    Put16(section, at + 12, (uint32_t)named);
    Put16(section, at + 14, (uint32_t)(total - named));
    next_directory += kDirectoryHeaderSize + kDirectoryEntrySize * (uint32_t)total;
    return at;
  };
  auto count_named = [](const auto& level) {
    size_t named = 0;
    for (const auto& item : level) named += item.first.named ? 1 : 0;
    return named;
  };

  uint32_t root = open_directory(count_named(tree), tree.size());
  uint32_t type_index = 0;
  for (const auto& type : tree) {
    uint32_t type_entry = root + kDirectoryHeaderSize + kDirectoryEntrySize * type_index++;
    Put32(section, type_entry, key_field(type.first));
    uint32_t names = open_directory(count_named(type.second), type.second.size());
    Put32(section, type_entry + 4, names | kSubdirectoryBit);
    uint32_t name_index = 0;
    for (const auto& name : type.second) {
      uint32_t name_entry = names + kDirectoryHeaderSize + kDirectoryEntrySize * name_index++;
      Put32(section, name_entry, key_field(name.first));
      uint32_t languages = open_directory(count_named(name.second), name.second.size());
      Put32(section, name_entry + 4, languages | kSubdirectoryBit);
      uint32_t language_index = 0;
      for (const auto& language : name.second) {
        uint32_t entry = languages + kDirectoryHeaderSize + kDirectoryEntrySize * language_index++;
        Put32(section, entry, key_field(language.first));
        Put32(section, entry + 4, next_leaf);
        Put32(section, next_leaf, language.second.data_rva);
        Put32(section, next_leaf + 4, language.second.size);
        Put32(section, next_leaf + 8, language.second.code_page);
        next_leaf += kDataEntrySize;
      }
    }
  }
}

bool Fail(std::string* error, const std::string& text) {
  *error = text;
  return false;
}

}  // namespace

bool PlanSetupImage(const std::vector<uint8_t>& stub, uint64_t package_size,
                    uint64_t max_image_size, SetupImagePlan* plan, std::string* error) {
  if (stub.size() < 0x40 || stub[0] != 'M' || stub[1] != 'Z') {
    return Fail(error, "the setup stub is not a Windows program");
  }
  StubImage image;
  image.bytes = &stub;
  image.pe = Get32(stub, kPeOffsetField);
  if ((uint64_t)image.pe + kOptionalHeader + kOptDirectories > stub.size() ||
      Get32(stub, image.pe) != 0x00004550 || Get16(stub, image.pe + 4) != 0x14C) {
    return Fail(error, "the setup stub is not a 32-bit Windows program");
  }
  image.optional = image.pe + kOptionalHeader;
  if (Get16(stub, image.optional + kOptMagic) != kPe32Magic) {
    return Fail(error, "the setup stub is not a 32-bit Windows program");
  }
  uint32_t section_count = Get16(stub, image.pe + kCoffSections);
  image.section_table = image.optional + Get16(stub, image.pe + kCoffOptionalSize);
  uint32_t section_alignment = Get32(stub, image.optional + kOptSectionAlignment);
  uint32_t file_alignment = Get32(stub, image.optional + kOptFileAlignment);
  uint32_t headers_size = Get32(stub, image.optional + kOptHeadersSize);
  uint32_t directory_count = Get32(stub, image.optional + kOptDirectoryCount);
  if (section_alignment == 0 || file_alignment == 0 || directory_count <= kSecurityDirectory ||
      (uint64_t)image.section_table + kSectionHeaderSize * section_count > stub.size()) {
    return Fail(error, "the setup stub's headers are damaged");
  }
  if (Get32(stub, image.optional + kOptDirectories + 8 * kSecurityDirectory + 4) != 0) {
    return Fail(error, "the setup stub is signed; sign the setup executable after packing");
  }

  uint64_t image_end = 0, file_end = stub.size(), first_raw = stub.size();
  for (uint32_t i = 0; i < section_count; ++i) {
    uint32_t at = image.section_table + kSectionHeaderSize * i;
    Section s = {Get32(stub, at + 8), Get32(stub, at + 12), Get32(stub, at + 16),
                 Get32(stub, at + 20)};
    image.sections.push_back(s);
    image_end = std::max<uint64_t>(image_end, (uint64_t)s.virtual_address +
                                                  std::max(s.virtual_size, s.raw_size));
    if (s.raw_size > 0) {
      file_end = std::max<uint64_t>(file_end, (uint64_t)s.raw_pointer + s.raw_size);
      first_raw = std::min<uint64_t>(first_raw, s.raw_pointer);
    }
  }
  uint64_t new_header = image.section_table + (uint64_t)kSectionHeaderSize * section_count;
  if (new_header + kSectionHeaderSize > std::min<uint64_t>(headers_size, first_raw)) {
    return Fail(error, "the setup stub has no room for one more section header");
  }

  ResourceTree tree;
  uint32_t resource_rva = Get32(stub, image.optional + kOptDirectories + 8 * kResourceDirectory);
  uint32_t resource_size =
      Get32(stub, image.optional + kOptDirectories + 8 * kResourceDirectory + 4);
  if (!ReadResources(image, resource_rva, resource_size, &tree)) {
    return Fail(error, "the setup stub's resources are damaged");
  }
  ResourceKey rcdata, package_id;
  rcdata.id = kRcData;
  package_id.id = kPackageResourceId;
  if (tree.count(rcdata) && tree[rcdata].count(package_id)) {
    return Fail(error, "the setup stub already carries a package");
  }

  // The new section: the resource tree, then the package on an 8-byte boundary. The tree's
  // size does not depend on the RVAs it holds, so it is laid out once to place the package
  // and written again with the package's RVA.
  uint64_t section_rva = AlignUp(image_end, section_alignment);
  ResourceKey neutral;
  ResourceLeaf& package = tree[rcdata][package_id][neutral];
  package = ResourceLeaf{0, (uint32_t)package_size, 0};
  std::vector<uint8_t> section;
  WriteResourceTree(tree, section);
  uint64_t package_offset = AlignUp(section.size(), 8);
  uint64_t content_size = package_offset + package_size;
  uint64_t image_size = AlignUp(section_rva + content_size, section_alignment);
  if (package_size > 0xFFFFFFFFull || image_size > max_image_size) {
    return Fail(error, "the setup executable would be too large to load");
  }
  package.data_rva = (uint32_t)(section_rva + package_offset);
  WriteResourceTree(tree, section);
  section.resize(package_offset, 0);

  uint64_t raw_pointer = AlignUp(file_end, std::max<uint32_t>(file_alignment, kPageSize));
  uint64_t raw_size = AlignUp(content_size, file_alignment);

  std::vector<uint8_t>& prefix = plan->prefix;
  prefix.assign(stub.begin(), stub.end());
  prefix.resize(raw_pointer, 0);
  Put16(prefix, image.pe + kCoffSections, section_count + 1);
  uint8_t name[8] = {'.', 'p', 'a', 'c', 'k', 'a', 'g', 'e'};
  for (int i = 0; i < 8; ++i) prefix[new_header + i] = name[i];
  Put32(prefix, new_header + 8, (uint32_t)content_size);
  Put32(prefix, new_header + 12, (uint32_t)section_rva);
  Put32(prefix, new_header + 16, (uint32_t)raw_size);
  Put32(prefix, new_header + 20, (uint32_t)raw_pointer);
  Put32(prefix, new_header + 36, 0x40000040u);  // initialised data, readable
  Put32(prefix, image.optional + kOptInitializedData,
        Get32(stub, image.optional + kOptInitializedData) + (uint32_t)raw_size);
  Put32(prefix, image.optional + kOptImageSize, (uint32_t)image_size);
  Put32(prefix, image.optional + kOptCheckSum, 0);
  Put32(prefix, image.optional + kOptDirectories + 8 * kResourceDirectory, (uint32_t)section_rva);
  Put32(prefix, image.optional + kOptDirectories + 8 * kResourceDirectory + 4,
        (uint32_t)content_size);
  prefix.insert(prefix.end(), section.begin(), section.end());
  plan->suffix_zeros = (uint32_t)(raw_size - content_size);
  return true;
}
