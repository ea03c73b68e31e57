#include "packer/tool/package_listing.h"

#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "package/little_endian.h"
#include "package/package_reader.h"
#include "packer/tool/console.h"
#include "packer/tool/file_access.h"
#include "packer/core/target_names.h"
#include "packer/core/text_encoding.h"

namespace {

// Columns of the entry table.
const char kEntryColumns[] = "        size  flags                                     name\n";

// A header string field (terminated inside the field: the header check made sure).
std::string HeaderString(const uint8_t* field) {
  std::u16string text;
  for (uint32_t unit = 0; unit < kHeaderStringUnits; ++unit) {
    char16_t c = (char16_t)ReadLe16(field + 2 * unit);
    if (c == 0) break;
    text += c;
  }
  return EscapeControls(Utf16ToUtf8(text));
}

// A stored name as the listing shows it: in UTF-8, its control characters escaped.
std::string ListedName(const char* name, unsigned length) {
  return EscapeControls(AnsiToUtf8(std::string(name, length)));
}

// What one listing has read so far.
struct Listing {
  const uint8_t* package;
  const uint8_t* end;       // one past the last byte of the package the file holds
  std::string name;         // the setup, for messages
  std::string* out;
  std::string* problems;
  bool cut_off;             // the file ends before the package does

  // Reports where reading stopped. In a file that ends inside its package, a record that
  // runs past the bytes there is the cut, not damage.
  int Malformed(const std::string& what, const uint8_t* at) {
    std::string offset = std::to_string(at - package);
    if (cut_off) {
      *problems += name + ": the listing stops at offset " + offset + ", where the file ends\n";
    } else {
      *problems += name + ": the package is malformed: " + what + " at offset " + offset + "\n";
    }
    return 1;
  }
};

// The header's fields. Returns false after reporting a header that cannot be trusted.
bool ListHeader(Listing& listing) {
  const uint8_t* p = listing.package;
  if (!IsPackageHeaderSound(p, (uint32_t)(listing.end - p))) {
    *listing.problems += listing.name + ": the package header is malformed (too short, " +
                         "header_size beyond the package, or a string without terminator)\n";
    return false;
  }
  std::string& out = *listing.out;
  out += "header_size: " + std::to_string(ReadLe32(p + kHeaderSizeOffset)) + "\n";
  out += "product_name: " + HeaderString(p + kProductNameOffset) + "\n";
  out += "product_version: " + HeaderString(p + kProductVersionOffset) + "\n";
  out += "window_class: " + HeaderString(p + kWindowClassOffset) + "\n";
  for (size_t k = 0; k < kOptionNameCount; ++k) {
    out += std::string(kOptionNames[k].key) + ": " +
           std::to_string(p[kOptionNames[k].header_offset]) + "\n";
  }
  return true;
}

// The folder list from `*p`; on success `*p` is the first entry record.
bool ListFolders(Listing& listing, const uint8_t** p) {
  std::string folders;
  int count = 0;
  for (;;) {
    const char* name;
    unsigned length;
    const uint8_t* next;
    PackageReadResult result = ParseFolderName(*p, listing.end, &name, &length, &next);
    if (result == PACKAGE_READ_MALFORMED) {
      *listing.out += "folders:\n" + folders;
      listing.Malformed("a folder name runs past the end", *p);
      return false;
    }
    *p = next;
    if (result == PACKAGE_READ_END) break;
    folders += "  " + ListedName(name, length) + "\n";
    ++count;
  }
  *listing.out += "folders: " + std::to_string(count) + "\n" + folders;
  return true;
}

// Why the entry record at `p` could not be read: a name without its terminator within the
// longest name the installer takes, or a record that runs past the package's end.
std::string EntryProblem(const uint8_t* p, const uint8_t* end) {
  const uint8_t* name = p + 2;
  if (end - p > 2) {
    size_t room = std::min<size_t>(end - name, kEntryNameMaxBytes + 1);
    if (room == kEntryNameMaxBytes + 1 && memchr(name, 0, room) == nullptr) {
      return "an entry name is longer than " + std::to_string(kEntryNameMaxBytes) + " bytes";
    }
  }
  return "an entry record runs past the end of the package";
}

// The entry records from `*p`; on success `*p` is the end marker.
bool ListEntries(Listing& listing, const uint8_t** p) {
  std::string entries;
  int count = 0;
  for (;;) {
    EntryRecordView record;
    const uint8_t* next;
    PackageReadResult result =
        ParseEntryRecord(*p, listing.end, kEntryNameMaxBytes + 1, &record, &next);
    if (result == PACKAGE_READ_MALFORMED) {
      *listing.out += "entries:\n" + entries;
      listing.Malformed(EntryProblem(*p, listing.end), *p);
      return false;
    }
    if (result == PACKAGE_READ_END) break;
    char columns[64];
    snprintf(columns, sizeof(columns), "  %10lu  %-40s  ", (unsigned long)record.size,
             FlagNames(record.flags).c_str());
    entries += columns + ListedName(record.name, record.name_length) + "\n";
    ++count;
    *p = next;
  }
  std::string& out = *listing.out;
  out += "entries: " + std::to_string(count) + "\n";
  if (count > 0) out += kEntryColumns;
  out += entries;
  return true;
}

// What a listing says of a file that ReadPeImage did not read as `result`; "" for PE_OK.
std::string PeReadProblem(PeReadResult result) {
  switch (result) {
    case PE_OK:
      break;
    case PE_NOT_WINDOWS:
      return "not a Windows program";
    case PE_NOT_X86:
      return "not a 32-bit or 64-bit Windows program for x86";
    case PE_DAMAGED:
      return "the program's headers are damaged";
  }
  return "";
}

}  // namespace

std::string FindPackage(const PeImage& image, PackagePlace* place) {
  ResourceTree tree;
  if (!ReadResourceTree(image, &tree)) return "the program's resources are damaged or cut short";
  auto type = tree.find(ResourceId(kResourceRcData));
  if (type == tree.end()) return "no package (resource RT_RCDATA 9999) in it";
  auto name = type->second.find(ResourceId(kPackageResourceId));
  if (name == type->second.end() || name->second.empty()) {
    return "no package (resource RT_RCDATA 9999) in it";
  }
  // The installer asks for the language-neutral resource; that sorts first.
  place->leaf = name->second.begin()->second;
  place->held = FileBytesAt(image, place->leaf.data_rva, place->leaf.size, &place->offset);
  if (place->held == 0 && place->leaf.size > 0) {
    return "the package (resource RT_RCDATA 9999) lies outside the file's sections";
  }
  return "";
}

int ListSetupFile(const uint8_t* file, uint64_t size, const std::string& name,
                  std::string* out, std::string* problems) {
  PeImage image;
  std::string problem = PeReadProblem(ReadPeImage(file, size, &image));
  PackagePlace place;
  if (problem.empty()) problem = FindPackage(image, &place);
  if (!problem.empty()) {
    *problems += name + ": " + problem + "\n";
    return 1;
  }
  *out += std::string("arch: ") + PeArchName(image) + "\n";
  *out += "package: " + std::to_string(place.leaf.size) + " bytes\n";
  int code = 0;
  bool cut_off = place.held < place.leaf.size;
  if (cut_off) {
    *problems += name + ": the file is shorter than its package says: " +
                 std::to_string(place.held) + " of the package's " +
                 std::to_string(place.leaf.size) + " bytes are there; the file was probably " +
                 "cut off (a download or a copy that did not finish)\n";
    code = 1;
  }
  Listing listing{file + place.offset, file + place.offset + place.held, name, out, problems,
                  cut_off};
  if (!ListHeader(listing)) return 1;
  const uint8_t* p = listing.package + ReadLe32(listing.package + kHeaderSizeOffset);
  if (!ListFolders(listing, &p) || !ListEntries(listing, &p)) return 1;
  size_t marker = p - listing.package;
  *out += "end marker: offset " + std::to_string(marker) + "\n";
  if (marker + 2 != place.leaf.size) {
    *problems += name + ": warning: " + std::to_string(place.leaf.size - marker - 2) +
                 " bytes follow the end marker\n";
  }
  return code;
}

int ListPackage(const std::string& setup) {
  MappedFile mapped;
  std::string error;
  if (!MapWholeFile(setup, &mapped, &error)) {
    PrintError(error + "\n");
    return 1;
  }
  std::string out, problems;
  int code = ListSetupFile(mapped.bytes, mapped.size, setup, &out, &problems);
  UnmapFile(&mapped);
  PrintOut(out);
  PrintError(problems);
  return code;
}
