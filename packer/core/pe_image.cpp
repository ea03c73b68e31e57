#include "packer/core/pe_image.h"

#include "package/little_endian.h"

namespace {

// A damaged tree can point many entries at the same directories; a program's own tree has
// a few dozen, so more than this many visited entries is taken for damage, not walked.
constexpr uint32_t kMaxResourceEntries = 100000;
// Names are read for every entry that points at one, so a damaged tree could make many
// entries point at one long name: all names read together hold at most this many UTF-16
// units (a program's own names take a few hundred).
constexpr uint64_t kMaxResourceNameUnits = 1024 * 1024;

bool Inside(const PeImage& image, uint64_t at, uint64_t count) {
  return at <= image.size && count <= image.size - at;
}

// Reads the type, name or language `field` of a directory entry; `name_units` counts the
// name units read so far, against kMaxResourceNameUnits.
bool ReadKey(const PeImage& image, uint64_t root, uint32_t field, ResourceKey* key,
             uint64_t* name_units) {
  if (!(field & kResourceSubdirectoryBit)) {
    key->id = field;
    return true;
  }
  key->named = true;
  uint64_t at = root + (field & ~kResourceSubdirectoryBit);
  if (!Inside(image, at, 2)) return false;
  uint32_t length = PeUint16(image, at);
  if (!Inside(image, at + 2, 2ull * length)) return false;
  *name_units += length;
  if (*name_units > kMaxResourceNameUnits) return false;
  for (uint32_t i = 0; i < length; ++i) key->name += (char16_t)PeUint16(image, at + 2 + 2 * i);
  return true;
}

// Walks the resource tree below `root`, one directory level at a time: types, names,
// languages. The depth is fixed, so a tree that points back at itself cannot recurse
// without end.
struct ResourceWalk {
  const PeImage& image;
  uint64_t root;
  ResourceTree* tree;
  // The type and the name being walked, looked up once per directory, so that a long key
  // is compared once and not again for every leaf below it.
  ResourceNames* names = nullptr;
  ResourceLanguages* languages = nullptr;
  uint32_t visited = 0;
  uint64_t name_units = 0;

  bool Directory(uint64_t directory, int level) {
    if (!Inside(image, directory, kResourceDirectoryHeaderSize)) return false;
    uint32_t count = PeUint16(image, directory + kResourceNamedCount) +
                     PeUint16(image, directory + kResourceIdCount);
    for (uint32_t i = 0; i < count; ++i) {
      uint64_t entry = directory + kResourceDirectoryHeaderSize + kResourceDirectoryEntrySize * i;
      if (!Inside(image, entry, kResourceDirectoryEntrySize)) return false;
      if (++visited > kMaxResourceEntries) return false;
      ResourceKey key;
      if (!ReadKey(image, root, PeUint32(image, entry), &key, &name_units)) return false;
      uint32_t target = PeUint32(image, entry + 4);
      bool subdirectory = (target & kResourceSubdirectoryBit) != 0;
      if (subdirectory != (level < 2)) return false;
      uint64_t at = root + (target & ~kResourceSubdirectoryBit);
      if (level < 2) {
        if (level == 0) names = &(*tree)[key];
        if (level == 1) languages = &(*names)[key];
        if (!Directory(at, level + 1)) return false;
        // A directory without leaves below it adds nothing to the tree.
        if (level == 0 && names->empty()) tree->erase(key);
        if (level == 1 && languages->empty()) names->erase(key);
      } else if (!Leaf(at, key)) {
        return false;
      }
    }
    return true;
  }

  bool Leaf(uint64_t at, const ResourceKey& language) {
    if (!Inside(image, at, kResourceDataEntrySize)) return false;
    ResourceLeaf& leaf = (*languages)[language];
    leaf.data_rva = PeUint32(image, at);
    leaf.size = PeUint32(image, at + 4);
    leaf.code_page = PeUint32(image, at + 8);
    return true;
  }
};

}  // namespace

uint32_t PeUint16(const PeImage& image, uint64_t at) {
  if (!Inside(image, at, 2)) return 0;
  return ReadLe16(image.bytes + at);
}

uint32_t PeUint32(const PeImage& image, uint64_t at) {
  if (!Inside(image, at, 4)) return 0;
  return ReadLe32(image.bytes + at);
}

namespace {

// Reads the `count` section headers at the image's section table, which lies in the file.
void ReadSectionTable(PeImage* image, uint32_t count) {
  for (uint32_t i = 0; i < count; ++i) {
    uint64_t at = image->section_table + (uint64_t)kSectionHeaderSize * i;
    image->sections.push_back({PeUint32(*image, at + kSectionVirtualSize),
                               PeUint32(*image, at + kSectionVirtualAddress),
                               PeUint32(*image, at + kSectionRawSize),
                               PeUint32(*image, at + kSectionRawPointer)});
  }
}

}  // namespace

PeReadResult ReadPeImage(const uint8_t* bytes, uint64_t size, PeImage* image) {
  *image = PeImage();
  image->bytes = bytes;
  image->size = size;
  if (size < 0x40 || bytes[0] != 'M' || bytes[1] != 'Z') return PE_NOT_WINDOWS;
  image->pe = PeUint32(*image, kPeOffsetField);
  image->optional = image->pe + kOptionalHeader;
  if (!Inside(*image, image->pe, kOptionalHeader + kOptPlusDirectories) ||
      PeUint32(*image, image->pe) != kPeSignature) {
    return PE_NOT_X86;
  }
  uint32_t machine = PeUint16(*image, image->pe + kCoffMachine);
  uint32_t magic = PeUint16(*image, image->optional + kOptMagic);
  image->is_64_bit = machine == kMachineAmd64;
  if (image->is_64_bit ? magic != kPe32PlusMagic
                       : machine != kMachineI386 || magic != kPe32Magic) {
    return PE_NOT_X86;
  }
  image->directories =
      image->optional + (image->is_64_bit ? kOptPlusDirectories : kOptDirectories);
  uint32_t section_count = PeUint16(*image, image->pe + kCoffSectionCount);
  image->section_table = image->optional + PeUint16(*image, image->pe + kCoffOptionalHeaderSize);
  image->section_alignment = PeUint32(*image, image->optional + kOptSectionAlignment);
  image->file_alignment = PeUint32(*image, image->optional + kOptFileAlignment);
  image->headers_size = PeUint32(*image, image->optional + kOptHeadersSize);
  uint32_t directory_count = PeUint32(*image, image->optional + (image->is_64_bit
                                                                      ? kOptPlusDirectoryCount
                                                                      : kOptDirectoryCount));
  if (image->section_alignment == 0 || image->file_alignment == 0 ||
      directory_count <= kCertificateDirectory ||
      !Inside(*image, image->section_table, (uint64_t)kSectionHeaderSize * section_count)) {
    return PE_DAMAGED;
  }
  ReadSectionTable(image, section_count);
  return PE_OK;
}

namespace {

bool IsPowerOfTwoUpTo(uint32_t value, uint32_t most) {
  return value != 0 && (value & (value - 1)) == 0 && value <= most;
}

std::string SectionProblem(const PeImage& image, const PeSection& s, size_t index) {
  std::string section = "section " + std::to_string(index + 1) + " ";
  uint64_t memory_end = (uint64_t)s.virtual_address +
                        (s.virtual_size > s.raw_size ? s.virtual_size : s.raw_size);
  if (memory_end > 0xFFFFFFFFull) return section + "ends past 4 GiB in memory";
  if (s.raw_size > 0 && !Inside(image, s.raw_pointer, s.raw_size)) {
    return section + "has its data at bytes " + std::to_string(s.raw_pointer) + " to " +
           std::to_string((uint64_t)s.raw_pointer + s.raw_size) + ", past the end of the file (" +
           std::to_string(image.size) + " bytes)";
  }
  return "";
}

}  // namespace

std::string CheckPeLayout(const PeImage& image) {
  if (!IsPowerOfTwoUpTo(image.file_alignment, kPeMaxAlignment)) {
    return "its file alignment " + std::to_string(image.file_alignment) +
           " is not a power of two up to " + std::to_string(kPeMaxAlignment);
  }
  if (!IsPowerOfTwoUpTo(image.section_alignment, kPeMaxAlignment) ||
      image.section_alignment < image.file_alignment) {
    return "its section alignment " + std::to_string(image.section_alignment) +
           " is not a power of two from the file alignment up to " +
           std::to_string(kPeMaxAlignment);
  }
  if (image.headers_size > image.size) {
    return "its headers (" + std::to_string(image.headers_size) +
           " bytes) are longer than the file";
  }
  for (size_t k = 0; k < image.sections.size(); ++k) {
    std::string problem = SectionProblem(image, image.sections[k], k);
    if (!problem.empty()) return problem;
  }
  return "";
}

const char* PeArchName(const PeImage& image) { return image.is_64_bit ? "x64" : "x86"; }

uint64_t DirectoryField(const PeImage& image, uint32_t index) {
  return image.directories + (uint64_t)kDirectoryEntryBytes * index;
}

uint32_t DirectoryAddress(const PeImage& image, uint32_t index) {
  return PeUint32(image, DirectoryField(image, index));
}

uint32_t DirectorySize(const PeImage& image, uint32_t index) {
  return PeUint32(image, DirectoryField(image, index) + 4);
}

uint64_t FileBytesAt(const PeImage& image, uint32_t rva, uint32_t count, uint64_t* offset) {
  for (const PeSection& s : image.sections) {
    if (rva < s.virtual_address || rva - s.virtual_address >= s.raw_size) continue;
    uint64_t at = (uint64_t)s.raw_pointer + (rva - s.virtual_address);
    uint64_t held = (uint64_t)s.raw_size - (rva - s.virtual_address);
    if (at >= image.size) return 0;
    if (held > image.size - at) held = image.size - at;
    *offset = at;
    return count < held ? count : held;
  }
  return 0;
}

bool ResourceKey::operator<(const ResourceKey& other) const {
  if (named != other.named) return named;
  return named ? name < other.name : id < other.id;
}

bool ResourceKey::operator==(const ResourceKey& other) const {
  return named == other.named && name == other.name && id == other.id;
}

ResourceKey ResourceId(uint32_t id) {
  ResourceKey key;
  key.id = id;
  return key;
}

bool ReadResourceTree(const PeImage& image, ResourceTree* tree) {
  tree->clear();
  uint32_t rva = DirectoryAddress(image, kResourceDirectory);
  if (rva == 0 || DirectorySize(image, kResourceDirectory) == 0) return true;
  uint64_t root = 0;
  if (FileBytesAt(image, rva, kResourceDirectoryHeaderSize, &root) < kResourceDirectoryHeaderSize) {
    return false;
  }
  ResourceWalk walk{image, root, tree};
  return walk.Directory(root, 0);
}
