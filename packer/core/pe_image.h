// Reading a 32-bit or 64-bit Windows program (PE32 or PE32+) from its bytes: the headers, the section table,
// the data directories and the three-level resource tree. Portable C++ with every read
// checked against the bytes there are, so a damaged or cut-short file is reported, never
// read past. The packer lays out setups with it, lists them, and checks signed files.
#pragma once

#include <stdint.h>

#include <map>
#include <string>
#include <vector>

// Offsets in the PE headers.
constexpr uint32_t kPeOffsetField = 0x3C;         // in the DOS header: where "PE\0\0" is
constexpr uint32_t kPeSignature = 0x00004550;     // "PE\0\0"
constexpr uint32_t kCoffMachine = 4;              // from the signature
constexpr uint32_t kCoffSectionCount = 6;
constexpr uint32_t kCoffOptionalHeaderSize = 20;
constexpr uint32_t kOptionalHeader = 24;          // the optional header, from the signature
constexpr uint16_t kMachineI386 = 0x14C;
constexpr uint16_t kMachineAmd64 = 0x8664;
// In the optional header: the same offsets in PE32 and PE32+ up to the checksum; the data
// directories come later in PE32+, whose stack and heap sizes are 64-bit.
constexpr uint32_t kOptMagic = 0;
constexpr uint32_t kOptInitializedData = 8;
constexpr uint32_t kOptSectionAlignment = 32;
constexpr uint32_t kOptFileAlignment = 36;
constexpr uint32_t kOptImageSize = 56;
constexpr uint32_t kOptHeadersSize = 60;
constexpr uint32_t kOptCheckSum = 64;
constexpr uint32_t kOptDirectoryCount = 92;
constexpr uint32_t kOptDirectories = 96;
constexpr uint32_t kOptPlusDirectoryCount = 108;
constexpr uint32_t kOptPlusDirectories = 112;
constexpr uint16_t kPe32Magic = 0x10B;
constexpr uint16_t kPe32PlusMagic = 0x20B;
// Data directories: an RVA (a file offset for the certificate table) and a size each.
constexpr uint32_t kDirectoryEntryBytes = 8;
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kCertificateDirectory = 4;
// A section header.
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kSectionName = 0;
constexpr uint32_t kSectionVirtualSize = 8;
constexpr uint32_t kSectionVirtualAddress = 12;
constexpr uint32_t kSectionRawSize = 16;
constexpr uint32_t kSectionRawPointer = 20;
constexpr uint32_t kSectionCharacteristics = 36;
// Resource tree records.
constexpr uint32_t kResourceDirectoryHeaderSize = 16;
constexpr uint32_t kResourceNamedCount = 12;      // in a directory header
constexpr uint32_t kResourceIdCount = 14;
constexpr uint32_t kResourceDirectoryEntrySize = 8;
constexpr uint32_t kResourceDataEntrySize = 16;
constexpr uint32_t kResourceSubdirectoryBit = 0x80000000u;
// Resource types.
constexpr uint32_t kResourceIcon = 3;
constexpr uint32_t kResourceRcData = 10;
constexpr uint32_t kResourceGroupIcon = 14;
constexpr uint32_t kResourceVersion = 16;

struct PeSection {
  uint32_t virtual_size, virtual_address, raw_size, raw_pointer;
};

// A program's headers as read from its bytes (which stay the caller's).
struct PeImage {
  const uint8_t* bytes = nullptr;
  uint64_t size = 0;
  uint32_t pe = 0;              // offset of "PE\0\0"
  uint32_t optional = 0;        // offset of the optional header
  uint32_t directories = 0;     // offset of the data directories
  bool is_64_bit = false;       // PE32+ for x64, else PE32 for i386
  uint32_t section_table = 0;   // offset of the first section header
  uint32_t section_alignment = 0, file_alignment = 0, headers_size = 0;
  std::vector<PeSection> sections;
};

// "x86" or "x64", as the manifest's `arch` names the program's kind.
const char* PeArchName(const PeImage& image);

// Outcomes of reading a program's headers.
enum PeReadResult {
  PE_OK,
  PE_NOT_WINDOWS,   // no "MZ" header
  PE_NOT_X86,       // neither PE32 for i386 nor PE32+ for x64
  PE_DAMAGED,       // alignments, the directory count or the section table are impossible
};

// Reads the headers and the section table of the `size` bytes at `bytes`.
PeReadResult ReadPeImage(const uint8_t* bytes, uint64_t size, PeImage* image);

// The largest file or section alignment a program may ask for; stubs use 512 and 4096.
constexpr uint32_t kPeMaxAlignment = 64 * 1024;

// Checks what laying out a copy of the program relies on: alignments that are powers of two
// up to kPeMaxAlignment (the section alignment no smaller than the file alignment), headers
// and every section's raw data inside the file, and every section ending below 4 GiB in
// memory. Returns "" or the first problem ("section 3 ends past 4 GiB in memory").
std::string CheckPeLayout(const PeImage& image);

// The little-endian integers at `at`, 0 where the bytes end.
uint32_t PeUint16(const PeImage& image, uint64_t at);
uint32_t PeUint32(const PeImage& image, uint64_t at);

// Data directory `index`: its RVA (or file offset) and size, 0 when the header has none.
uint32_t DirectoryAddress(const PeImage& image, uint32_t index);
uint32_t DirectorySize(const PeImage& image, uint32_t index);
uint64_t DirectoryField(const PeImage& image, uint32_t index);  // file offset of the entry

// Where the `count` bytes at `rva` are in the file: sets `*offset` and returns how many of
// them the file holds (inside the section's raw data and the file), or 0 when `rva` lies
// in no section's raw data.
uint64_t FileBytesAt(const PeImage& image, uint32_t rva, uint32_t count, uint64_t* offset);

// A resource name or identifier: names sort before identifiers, as the tree requires.
struct ResourceKey {
  bool named = false;
  std::u16string name;
  uint32_t id = 0;
  bool operator<(const ResourceKey& other) const;
  bool operator==(const ResourceKey& other) const;
};
// The key of the resource type, name or language with the number `id`.
ResourceKey ResourceId(uint32_t id);

// One resource's data. Read from a program it is an RVA into that program; a new one
// carries its bytes (`fresh`) and gets its RVA when the section it goes to is laid out.
struct ResourceLeaf {
  uint32_t data_rva = 0, size = 0, code_page = 0;
  bool fresh = false;
  std::vector<uint8_t> bytes;
};

// type -> name -> language -> data
using ResourceLanguages = std::map<ResourceKey, ResourceLeaf>;
using ResourceNames = std::map<ResourceKey, ResourceLanguages>;
using ResourceTree = std::map<ResourceKey, ResourceNames>;

// Reads the program's resource tree. Returns false when it is damaged or runs past the
// file; a program without resources has an empty tree.
bool ReadResourceTree(const PeImage& image, ResourceTree* tree);
