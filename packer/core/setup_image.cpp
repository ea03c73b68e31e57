#include "packer/core/setup_image.h"

#include <algorithm>

#include "package/little_endian.h"
#include "package/package_layout.h"
#include "packer/core/pe_image.h"

namespace {

// Where the package starts in the file: a page boundary, which lets a loader map it.
constexpr uint32_t kPageSize = 4096;
// Resources in the new section start on this boundary, as the loader expects of data.
constexpr uint32_t kResourceDataAlignment = 8;
// The icon group the setup dialog draws and the version resource's identifier.
constexpr uint32_t kSetupIconGroup = 102;
constexpr uint32_t kVersionResourceId = 1;
// The new section: initialised data, readable. It holds the live resource tree, so it takes
// the name readers look for resources under (some go by the first section named ".rsrc",
// not by the data directory), and the stub's own resource section, whose data the new tree
// still points at, is renamed so that it is the only one.
const uint8_t kPackageSectionName[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
const uint8_t kStubResourceSectionName[8] = {'.', 'r', 's', 'r', 'c', '0', 0, 0};
constexpr uint32_t kPackageSectionCharacteristics = 0x40000040u;

uint64_t AlignUp(uint64_t value, uint64_t alignment) {
  return (value + alignment - 1) / alignment * alignment;
}

bool Fail(std::string* error, const std::string& text) {
  *error = text;
  return false;
}

uint32_t StringSize(const ResourceKey& key) {
  return key.named ? (uint32_t)AlignUp(2 + 2 * key.name.size(), 4) : 0u;
}

uint32_t DirectoryBytes(size_t entries) {
  return kResourceDirectoryHeaderSize + kResourceDirectoryEntrySize * (uint32_t)entries;
}

// ---- The stub as it is -----------------------------------------------------------------

// What the plan needs of the stub: its headers and resources, where a new section header
// and the new section go.
struct StubLayout {
  PeImage image;
  ResourceTree resources;
  uint64_t image_end = 0;        // end of the last section in memory
  uint64_t file_end = 0;         // end of the file or of the last section's raw data
  uint64_t new_header = 0;       // file offset of the new section header
};

namespace {

// Sets the layout's image end and file end (at least `file_size`) from the sections of
// `image`; returns where the first section's raw data begins (`file_size` without any).
uint64_t MeasureSections(const PeImage& image, uint64_t file_size, StubLayout* layout) {
  uint64_t first_raw = file_size;
  layout->file_end = file_size;
  for (const PeSection& s : image.sections) {
    layout->image_end = std::max<uint64_t>(layout->image_end, (uint64_t)s.virtual_address +
                                                                  std::max(s.virtual_size, s.raw_size));
    if (s.raw_size > 0) {
      layout->file_end = std::max<uint64_t>(layout->file_end, (uint64_t)s.raw_pointer + s.raw_size);
      first_raw = std::min<uint64_t>(first_raw, s.raw_pointer);
    }
  }
  return first_raw;
}

}  // namespace

bool ReadStub(const std::vector<uint8_t>& stub, StubLayout* layout, std::string* error) {
  switch (ReadPeImage(stub.data(), stub.size(), &layout->image)) {
    case PE_OK:
      break;
    case PE_NOT_WINDOWS:
      return Fail(error, "the setup stub is not a Windows program");
    case PE_NOT_X86:
      return Fail(error, "the setup stub is not a 32-bit or 64-bit Windows program for x86");
    case PE_DAMAGED:
      return Fail(error, "the setup stub's headers are damaged");
  }
  const PeImage& image = layout->image;
  // Every section is checked before any address is computed from it: the layout below
  // trusts that the image ends below 4 GiB and that its raw data lies in the file.
  std::string damage = CheckPeLayout(image);
  if (!damage.empty()) return Fail(error, "the setup stub is damaged: " + damage);
  if (DirectorySize(image, kCertificateDirectory) != 0) {
    return Fail(error, "the setup stub is signed; sign the setup executable after packing");
  }
  uint64_t first_raw = MeasureSections(image, stub.size(), layout);
  layout->new_header = image.section_table + (uint64_t)kSectionHeaderSize * image.sections.size();
  if (layout->new_header + kSectionHeaderSize > std::min<uint64_t>(image.headers_size, first_raw)) {
    return Fail(error, "the setup stub has no room for one more section header");
  }
  if (!ReadResourceTree(image, &layout->resources)) {
    return Fail(error, "the setup stub's resources are damaged");
  }
  ResourceTree& tree = layout->resources;
  auto rcdata = tree.find(ResourceId(kResourceRcData));
  if (rcdata != tree.end() && rcdata->second.count(ResourceId(kPackageResourceId))) {
    return Fail(error, "the setup stub already carries a package");
  }
  return true;
}

// ---- The resources the setup gets --------------------------------------------------------

ResourceLeaf FreshLeaf(std::vector<uint8_t> bytes) {
  ResourceLeaf leaf;
  leaf.fresh = true;
  leaf.size = (uint32_t)bytes.size();
  leaf.bytes = std::move(bytes);
  return leaf;
}

// Replaces icon group 102 and the images it lists by `icon`'s images, in the group's own
// language (neutral when the stub has none). Other groups' images keep their identifiers.
void ReplaceSetupIcon(const StubLayout& stub, const std::vector<IconImage>& icon,
                      ResourceTree* tree) {
  ResourceNames& groups = (*tree)[ResourceId(kResourceGroupIcon)];
  ResourceNames& images = (*tree)[ResourceId(kResourceIcon)];
  ResourceKey language;
  auto old_group = groups.find(ResourceId(kSetupIconGroup));
  if (old_group != groups.end()) {
    if (!old_group->second.empty()) language = old_group->second.begin()->first;
    for (const auto& version : old_group->second) {
      uint64_t at = 0;
      uint64_t held = FileBytesAt(stub.image, version.second.data_rva, version.second.size, &at);
      for (uint16_t id : IconGroupMembers(stub.image.bytes + at, held)) {
        auto member = images.find(ResourceId(id));
        if (member == images.end()) continue;
        member->second.erase(version.first);
        if (member->second.empty()) images.erase(member);
      }
    }
    groups.erase(old_group);
  }
  uint32_t first_id = images.empty() ? 1 : images.rbegin()->first.id + 1;
  for (size_t k = 0; k < icon.size(); ++k) {
    images[ResourceId(first_id + (uint32_t)k)][language] = FreshLeaf(icon[k].bytes);
  }
  groups[ResourceId(kSetupIconGroup)][language] =
      FreshLeaf(IconGroupResource(icon, (uint16_t)first_id));
}

void AddSetupResources(const StubLayout& stub, const SetupBranding& branding,
                       ResourceTree* tree) {
  if (!branding.icon.empty()) ReplaceSetupIcon(stub, branding.icon, tree);
  if (!branding.version.empty()) {
    ResourceNames& versions = (*tree)[ResourceId(kResourceVersion)];
    versions.clear();
    versions[ResourceId(kVersionResourceId)][ResourceKey()] = FreshLeaf(branding.version);
  }
}

// ---- Writing the resource tree -----------------------------------------------------------

// The bytes a tree takes: its directories, the name strings, the data entries.
struct TreeSize {
  uint32_t directories = 0, strings = 0, leaves = 0;
  uint32_t Total() const { return directories + strings + kResourceDataEntrySize * leaves; }
};

void Measure(const ResourceLeaf&, TreeSize* size) { ++size->leaves; }

template <typename Level>
void Measure(const Level& level, TreeSize* size) {
  size->directories += DirectoryBytes(level.size());
  for (const auto& item : level) {
    size->strings += StringSize(item.first);
    Measure(item.second, size);
  }
}

// Writes a tree into `section` depth first (a directory, then each child's subtree), with
// the name strings after all directories and the data entries after the strings. Every
// offset is relative to the section's start, as the format wants.
struct TreeWriter {
  std::vector<uint8_t>& section;
  uint32_t next_directory = 0, next_string = 0, next_leaf = 0;

  TreeWriter(std::vector<uint8_t>& out, const TreeSize& size) : section(out) {
    next_string = size.directories;
    next_leaf = size.directories + size.strings;
    section.assign(size.Total(), 0);
  }

  uint32_t KeyField(const ResourceKey& key) {
    if (!key.named) return key.id;
    uint32_t at = next_string;
    WriteLe16(section.data() + at, (uint32_t)key.name.size());
    for (size_t i = 0; i < key.name.size(); ++i) {
      WriteLe16(section.data() + at + 2 + 2 * i, key.name[i]);
    }
    next_string += StringSize(key);
    return at | kResourceSubdirectoryBit;
  }

  uint32_t Child(const ResourceLeaf& leaf) {
    uint32_t at = next_leaf;
    WriteLe32(section.data() + at, leaf.data_rva);
    WriteLe32(section.data() + at + 4, leaf.size);
    WriteLe32(section.data() + at + 8, leaf.code_page);
    next_leaf += kResourceDataEntrySize;
    return at;
  }

  template <typename Level>
  uint32_t Child(const Level& level) {
    return Directory(level) | kResourceSubdirectoryBit;
  }

  template <typename Level>
  uint32_t Directory(const Level& level) {
    uint32_t at = next_directory;
    next_directory += DirectoryBytes(level.size());
    size_t named = 0;
    for (const auto& item : level) named += item.first.named ? 1 : 0;
    WriteLe16(section.data() + at + kResourceNamedCount, (uint32_t)named);
    WriteLe16(section.data() + at + kResourceIdCount, (uint32_t)(level.size() - named));
    uint32_t entry = at + kResourceDirectoryHeaderSize;
    for (const auto& item : level) {
      WriteLe32(section.data() + entry, KeyField(item.first));
      WriteLe32(section.data() + entry + 4, Child(item.second));
      entry += kResourceDirectoryEntrySize;
    }
    return at;
  }
};

// ---- The new section ---------------------------------------------------------------------

// The new section's content before the package: the tree, then each fresh resource's
// bytes, then padding up to the package; `package_offset` is where the package starts.
struct PackageSection {
  std::vector<uint8_t> head;
  uint64_t package_offset = 0;
};

// Gives every fresh resource and the package their place after the tree (the tree's size
// does not depend on the addresses it holds), then writes the tree with those addresses.
PackageSection LayOutSection(ResourceTree& tree, uint64_t section_rva, uint32_t package_size) {
  ResourceLeaf& package = tree[ResourceId(kResourceRcData)][ResourceId(kPackageResourceId)][ResourceKey()];
  package = ResourceLeaf();
  package.size = package_size;
  TreeSize size;
  Measure(tree, &size);
  uint64_t offset = size.Total();
  std::vector<const ResourceLeaf*> fresh;
  for (auto& type : tree) {
    for (auto& name : type.second) {
      for (auto& language : name.second) {
        ResourceLeaf& leaf = language.second;
        if (!leaf.fresh) continue;
        offset = AlignUp(offset, kResourceDataAlignment);
        leaf.data_rva = (uint32_t)(section_rva + offset);
        offset += leaf.size;
        fresh.push_back(&leaf);
      }
    }
  }
  PackageSection section;
  section.package_offset = AlignUp(offset, kResourceDataAlignment);
  package.data_rva = (uint32_t)(section_rva + section.package_offset);
  TreeWriter writer(section.head, size);
  writer.Directory(tree);
  section.head.resize(section.package_offset, 0);
  for (const ResourceLeaf* leaf : fresh) {
    std::copy(leaf->bytes.begin(), leaf->bytes.end(),
              section.head.begin() + (leaf->data_rva - section_rva));
  }
  return section;
}

// The stub with the new section's header and the optional header's fields that describe
// the grown image, padded up to where the new section's raw data starts.
void WritePrefix(const std::vector<uint8_t>& stub, const StubLayout& layout,
                 uint64_t section_rva, uint64_t content_size, uint64_t raw_pointer,
                 uint64_t raw_size, uint64_t image_size, std::vector<uint8_t>* prefix) {
  const PeImage& image = layout.image;
  prefix->assign(stub.begin(), stub.end());
  prefix->resize(raw_pointer, 0);
  std::vector<uint8_t>& p = *prefix;
  WriteLe16(p.data() + image.pe + kCoffSectionCount, (uint32_t)image.sections.size() + 1);
  for (size_t k = 0; k < image.sections.size(); ++k) {
    auto name = p.begin() + image.section_table + kSectionHeaderSize * k + kSectionName;
    if (std::equal(name, name + 8, kPackageSectionName)) {
      std::copy(kStubResourceSectionName, kStubResourceSectionName + 8, name);
    }
  }
  uint64_t header = layout.new_header;
  std::copy(kPackageSectionName, kPackageSectionName + 8, p.begin() + header + kSectionName);
  WriteLe32(p.data() + header + kSectionVirtualSize, (uint32_t)content_size);
  WriteLe32(p.data() + header + kSectionVirtualAddress, (uint32_t)section_rva);
  WriteLe32(p.data() + header + kSectionRawSize, (uint32_t)raw_size);
  WriteLe32(p.data() + header + kSectionRawPointer, (uint32_t)raw_pointer);
  WriteLe32(p.data() + header + kSectionCharacteristics, kPackageSectionCharacteristics);
  WriteLe32(p.data() + image.optional + kOptInitializedData,
            PeUint32(image, image.optional + kOptInitializedData) + (uint32_t)raw_size);
  WriteLe32(p.data() + image.optional + kOptImageSize, (uint32_t)image_size);
  WriteLe32(p.data() + image.optional + kOptCheckSum, 0);
  WriteLe32(p.data() + DirectoryField(image, kResourceDirectory), (uint32_t)section_rva);
  WriteLe32(p.data() + DirectoryField(image, kResourceDirectory) + 4, (uint32_t)content_size);
}

}  // namespace

bool PlanSetupImage(const std::vector<uint8_t>& stub, const SetupBranding& branding,
                    uint64_t package_size, uint64_t max_image_size, SetupImagePlan* plan,
                    std::string* error) {
  StubLayout layout;
  if (!ReadStub(stub, &layout, error)) return false;
  if (package_size > 0xFFFFFFFFull) {
    return Fail(error, "the setup executable would be too large to load");
  }
  ResourceTree tree = layout.resources;
  AddSetupResources(layout, branding, &tree);

  uint64_t section_rva = AlignUp(layout.image_end, layout.image.section_alignment);
  // Addresses in the new section are 32-bit: refuse before any of them is computed.
  if (section_rva + package_size > max_image_size) {
    return Fail(error, "the setup executable would be too large to load");
  }
  PackageSection section = LayOutSection(tree, section_rva, (uint32_t)package_size);
  uint64_t content_size = section.package_offset + package_size;
  uint64_t image_size = AlignUp(section_rva + content_size, layout.image.section_alignment);
  if (image_size > max_image_size) {
    return Fail(error, "the setup executable would be too large to load");
  }
  uint32_t file_alignment = layout.image.file_alignment;
  uint64_t raw_pointer = AlignUp(layout.file_end, std::max<uint32_t>(file_alignment, kPageSize));
  uint64_t raw_size = AlignUp(content_size, file_alignment);

  WritePrefix(stub, layout, section_rva, content_size, raw_pointer, raw_size, image_size,
              &plan->prefix);
  plan->prefix.insert(plan->prefix.end(), section.head.begin(), section.head.end());
  plan->suffix_zeros = (uint32_t)(raw_size - content_size);
  plan->package_rva = (uint32_t)(section_rva + section.package_offset);
  return true;
}
