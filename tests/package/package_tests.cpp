// Reading packages: the bounded readers over well-formed and malformed bytes, in process
// (every truncation, a mutation fuzz run against an independent reader) and in real
// executables whose embedded package the installer's reader walks.
#include <gtest/gtest.h>

#include <stdint.h>
#include <string>
#include <vector>

#include "harness/guarded_memory.h"
#include "harness/package_builder.h"
#include "harness/probe_run.h"
#include "harness/process.h"
#include "harness/scratch.h"
#include "package/package.h"

namespace {

using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------------------
// Helpers

struct SeenEntry {
  DWORD flags;
  std::wstring name;
  size_t data_offset;
  DWORD size;
  bool operator==(const SeenEntry& other) const {
    return flags == other.flags && name == other.name && data_offset == other.data_offset &&
           size == other.size;
  }
};

// What a walk over a package saw: whether every pass reached its end, the folders and the
// entry records.
struct Walk {
  bool sound = false;
  std::vector<std::string> folders;
  std::vector<SeenEntry> entries;
};

// Reads the entry record at `p` as the installer does, with ReadEntry over a package that
// ends at `end`, and returns what the bounded reader found there. The installer's read of a
// malformed record is fatal, so the bounded reader alone answers for those; ReadEntry sees
// the rest, and `*next` is where both say the next record starts (untouched at the end).
PackageReadResult ReadEntryWithin(const BYTE* p, const BYTE* end, wchar_t* name,
                                  const BYTE** data, DWORD* size, DWORD* flags,
                                  const BYTE** next) {
  EntryRecordView record;
  const BYTE* bounded_next = NULL;
  PackageReadResult result = ParseEntryRecord(p, end, kPathCapacity, &record, &bounded_next);
  if (result == PACKAGE_READ_MALFORMED) return result;
  PackageView saved = g_package;
  g_package.end = end;
  const BYTE* read_next = ReadEntry(p, name, data, size, flags);
  g_package = saved;
  if (result == PACKAGE_READ_END) {
    EXPECT_EQ(read_next, (const BYTE*)NULL);
    return result;
  }
  EXPECT_EQ(read_next, bounded_next);
  *next = bounded_next;
  return result;
}

// Walks a package as the installer's passes do, through the bounded readers: the header
// check, the folder list, every entry record up to the end marker.
Walk WalkWithReader(const BYTE* resource, const BYTE* end) {
  Walk walk;
  DWORD size = (DWORD)(end - resource);
  if (!IsPackageHeaderSound(resource, size)) return walk;
  DWORD header_size = resource[0] | (resource[1] << 8) | (resource[2] << 16) |
                      ((DWORD)resource[3] << 24);
  const BYTE* p = resource + header_size;
  for (;;) {
    const char* name;
    unsigned length;
    const BYTE* next;
    PackageReadResult result = ParseFolderName(p, end, &name, &length, &next);
    if (result == PACKAGE_READ_MALFORMED) return walk;
    if (next <= p || next > end) {
      ADD_FAILURE() << "folder reader did not advance inside the package";
      return walk;
    }
    p = next;
    if (result == PACKAGE_READ_END) break;
    walk.folders.push_back(std::string(name, length));
  }
  for (;;) {
    wchar_t name[kPathCapacity];
    const BYTE* data = NULL;
    DWORD entry_size = 0, flags = 0;
    const BYTE* next = NULL;
    PackageReadResult result = ReadEntryWithin(p, end, name, &data, &entry_size, &flags, &next);
    if (result == PACKAGE_READ_MALFORMED) return walk;
    if (result == PACKAGE_READ_END) break;
    if (next <= p || next > end || data < p || data + entry_size != next) {
      ADD_FAILURE() << "entry reader returned pointers outside the record";
      return walk;
    }
    walk.entries.push_back({flags, name, (size_t)(data - resource), entry_size});
    p = next;
  }
  walk.sound = true;
  return walk;
}

// The walk over `bytes` placed right before an inaccessible page: a read one byte past the
// package faults instead of passing unnoticed.
Walk WalkGuarded(const Bytes& bytes) {
  GuardedMemory guarded(bytes.data(), bytes.size());
  return WalkWithReader(guarded.begin(), guarded.end());
}

// An independent reader written from the layout, with indices into a vector: the oracle
// for the fuzz run.
Walk WalkReference(const Bytes& b) {
  Walk walk;
  size_t n = b.size();
  if (n < 204) return walk;
  uint64_t header_size = b[0] | (b[1] << 8) | (b[2] << 16) | ((uint64_t)b[3] << 24);
  if (header_size > n) return walk;
  for (size_t field : {4u, 68u, 132u}) {
    bool terminated = false;
    for (size_t unit = 0; unit < 32; ++unit) {
      if (b[field + 2 * unit] == 0 && b[field + 2 * unit + 1] == 0) terminated = true;
    }
    if (!terminated) return walk;
  }
  size_t i = (size_t)header_size;
  for (;;) {
    if (i >= n) return walk;
    size_t length = b[i++];
    if (length == 0) break;
    if (n - i < length) return walk;
    walk.folders.push_back(std::string(b.begin() + i, b.begin() + i + length));
    i += length;
  }
  for (;;) {
    if (n - i < 2) return walk;
    DWORD flags = b[i] | (b[i + 1] << 8);
    if (flags == 0xFFFF) break;
    size_t record = i;
    i += 2;
    size_t name_start = i;
    while (i < n && b[i] != 0) ++i;
    if (i >= n || i - name_start > 259) return walk;
    std::wstring name;
    for (size_t k = name_start; k < i; ++k) {
      wchar_t unit = 0;
      if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, (LPCSTR)&b[k], 1, &unit, 1) != 1) {
        unit = b[k];
      }
      name += unit;
    }
    ++i;
    if (n - i < 4) return walk;
    uint64_t size = b[i] | (b[i + 1] << 8) | (b[i + 2] << 16) | ((uint64_t)b[i + 3] << 24);
    i += 4;
    if (n - i < size) return walk;
    walk.entries.push_back({flags, name, i, (DWORD)size});
    i += (size_t)size;
    (void)record;
  }
  walk.sound = true;
  return walk;
}

// A package with something in every region: options, nested folders, the uninstaller,
// plain files, an empty file, a licence document and the main program.
TestPackageContents SamplePackage() {
  TestPackageContents contents = TestPackage();
  contents.product_name = u"Sample Product \u00e9";
  contents.product_version = u"2.5.1";
  contents.window_class = u"SampleMainWindow";
  contents.allow_run_once = 1;
  contents.log_executables = 1;
  contents.default_desktop = 1;
  contents.default_programs = 1;
  contents.folders = {"help", "help\\de"};
  AddEntry(contents, ENTRY_UNINSTALLER, "uninstall.exe", "MZ uninstaller");
  AddEntry(contents, 0, "readme.txt", "Read me first.\r\n");
  AddEntry(contents, 0, "help\\de\\empty.txt", "");
  AddEntry(contents, ENTRY_LICENSE_DOCUMENT | ENTRY_PROGRAMS_SHORTCUT, "license.html",
           "<html>licence</html>");
  AddEntry(contents, 0x0017, "sample.exe", "MZ main program");
  AddEntry(contents, ENTRY_LAUNCH, "help\\tool.exe", "MZ tool");
  return contents;
}

uint32_t Uint32At(const Bytes& bytes, size_t offset) {
  return bytes[offset] | (bytes[offset + 1] << 8) | (bytes[offset + 2] << 16) |
         ((uint32_t)bytes[offset + 3] << 24);
}

// Offset of the first entry record of a package written with header_size 204.
size_t FirstRecordOffset(const TestPackageContents& contents) {
  size_t offset = kStoredHeaderSize;
  for (const std::string& folder : contents.folders) offset += 1 + folder.size();
  return offset + 1;
}

// Deterministic pseudo-random numbers for the fuzz run (xorshift32).
struct Random {
  uint32_t state;
  uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
  }
  uint32_t Below(uint32_t limit) { return limit == 0 ? 0 : Next() % limit; }
};

// ---------------------------------------------------------------------------------------
// The readers in process

TEST(PackageReader, EmptyFolderListAndNoEntries) {
  BYTE bytes[] = {0, 0xFF, 0xFF};
  const BYTE* next = NULL;
  const char* name;
  unsigned length;
  ASSERT_EQ(ParseFolderName(bytes, bytes + 3, &name, &length, &next), PACKAGE_READ_END);
  EXPECT_EQ(next, bytes + 1);
  wchar_t entry_name[kPathCapacity] = L"kept";
  const BYTE* data = NULL;
  DWORD size = 7, flags = 9;
  EXPECT_EQ(ReadEntryWithin(next, bytes + 3, entry_name, &data, &size, &flags, &next),
            PACKAGE_READ_END);
  EXPECT_STREQ(entry_name, L"kept");
  EXPECT_EQ(size, 7u);
  EXPECT_EQ(flags, 9u);
}

TEST(PackageReader, WrittenPackageReadsBackAtTheLayoutsOffsets) {
  TestPackageContents contents = SamplePackage();
  Bytes bytes = PackageBytes(contents);
  ASSERT_EQ(bytes.size(), PackageSize(contents));
  Walk walk = WalkGuarded(bytes);
  ASSERT_TRUE(walk.sound);
  EXPECT_EQ(walk.folders, contents.folders);
  ASSERT_EQ(walk.entries.size(), contents.entries.size());
  size_t offset = FirstRecordOffset(contents);
  for (size_t k = 0; k < contents.entries.size(); ++k) {
    const PackageEntry& entry = contents.entries[k];
    SCOPED_TRACE(entry.name);
    EXPECT_EQ(walk.entries[k].flags, entry.flags);
    EXPECT_EQ(walk.entries[k].name, Utf16(entry.name));
    size_t data_offset = offset + 2 + entry.name.size() + 1 + 4;
    EXPECT_EQ(walk.entries[k].data_offset, data_offset);
    const std::vector<uint8_t>& data = contents.data[k];
    EXPECT_EQ(walk.entries[k].size, data.size());
    EXPECT_TRUE(std::equal(data.begin(), data.end(), bytes.begin() + data_offset));
    offset = data_offset + data.size();
  }
  EXPECT_EQ(offset + 2, bytes.size());
  EXPECT_EQ(bytes[offset], 0xFF);
  EXPECT_EQ(bytes[offset + 1], 0xFF);
}

TEST(PackageReader, ZeroSizeRecordsDataIsTheNextRecord) {
  Bytes record = {0x00, 0x00, 'e', 0, 0, 0, 0, 0, 0xFF, 0xFF};
  wchar_t name[kPathCapacity];
  const BYTE* data = NULL;
  DWORD size = 99, flags = 99;
  const BYTE* next = NULL;
  ASSERT_EQ(ReadEntryWithin(record.data(), record.data() + record.size(), name, &data, &size,
                            &flags, &next),
            PACKAGE_READ_ITEM);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(data, next);
  EXPECT_EQ(next, record.data() + 8);
  EXPECT_STREQ(name, L"e");
}

TEST(PackageReader, NameBytesAboveAsciiMapThroughTheAnsiCodePageOneByOne) {
  Bytes record = {0x00, 0x00, 'a', 0xE9, 0x80, 0, 0, 0, 0, 0};
  wchar_t name[kPathCapacity];
  const BYTE* data;
  DWORD size, flags;
  const BYTE* next;
  ASSERT_EQ(ReadEntryWithin(record.data(), record.data() + record.size(), name, &data, &size,
                            &flags, &next),
            PACKAGE_READ_ITEM);
  wchar_t expected[3];
  for (int k = 0; k < 3; ++k) {
    MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, (LPCSTR)&record[2 + k], 1, &expected[k], 1);
  }
  EXPECT_EQ(lstrlenW(name), 3);
  EXPECT_EQ(std::wstring(name, 3), std::wstring(expected, 3));
}

TEST(PackageReader, TruncationAtEveryOffsetIsMalformed) {
  Bytes full = PackageBytes(SamplePackage());
  ASSERT_TRUE(WalkGuarded(full).sound);
  for (size_t length = 0; length < full.size(); ++length) {
    SCOPED_TRACE(length);
    Bytes cut(full.begin(), full.begin() + length);
    EXPECT_FALSE(WalkGuarded(cut).sound);
  }
}

TEST(PackageReader, MissingEndMarkerIsMalformed) {
  Bytes bytes = PackageBytes(SamplePackage());
  bytes.resize(bytes.size() - 2);
  EXPECT_FALSE(WalkGuarded(bytes).sound);
  // Bytes after the last record that are not an end marker are read as a record.
  bytes.push_back(0x00);
  bytes.push_back(0x00);
  EXPECT_FALSE(WalkGuarded(bytes).sound);
}

TEST(PackageReader, HeaderShorterThanItsFieldsIsMalformed) {
  Bytes bytes = PackageBytes(TestPackage());
  ASSERT_TRUE(WalkGuarded(bytes).sound);
  bytes.resize(203);
  EXPECT_FALSE(WalkGuarded(bytes).sound);
  EXPECT_FALSE(IsPackageHeaderSound(NULL, 0));
}

TEST(PackageReader, HeaderSizeBeyondTheResourceIsMalformed) {
  Bytes bytes = PackageBytes(TestPackage());
  for (uint32_t header_size : {(uint32_t)bytes.size(), (uint32_t)bytes.size() + 1, 0x7FFFFFFFu,
                               0xFFFFFFFFu}) {
    SCOPED_TRACE(header_size);
    EXPECT_FALSE(WalkGuarded(WithUint32At(bytes, 0, header_size)).sound);
  }
}

TEST(PackageReader, HeaderSizeIsTakenAsStoredEvenWhenLarger) {
  // Bytes between the header's fields and header_size are ignored.
  Bytes bytes = PackageBytes(TestPackage());
  bytes.insert(bytes.begin() + 204, {0x55, 0x66, 0x77});
  Walk walk = WalkGuarded(WithUint32At(bytes, 0, 207));
  EXPECT_TRUE(walk.sound);
  EXPECT_TRUE(walk.folders.empty());
  EXPECT_TRUE(walk.entries.empty());
}

TEST(PackageReader, UnterminatedHeaderStringsAreMalformed) {
  for (uint32_t field : {kProductNameOffset, kProductVersionOffset, kWindowClassOffset}) {
    SCOPED_TRACE(field);
    Bytes bytes = WithUnterminatedString(PackageBytes(TestPackage()), field);
    EXPECT_FALSE(WalkGuarded(bytes).sound);
    // A terminator in the last unit is inside the field.
    bytes[field + 62] = 0;
    EXPECT_TRUE(WalkGuarded(bytes).sound);
  }
}

TEST(PackageReader, FolderLengthRunningPastTheEndIsMalformed) {
  TestPackageContents contents = TestPackage();
  contents.folders = {"abc"};
  Bytes bytes = PackageBytes(contents);
  ASSERT_TRUE(WalkGuarded(bytes).sound);
  for (uint8_t length : {(uint8_t)(bytes.size() - 204), (uint8_t)255}) {
    SCOPED_TRACE(length);
    bytes[204] = length;
    EXPECT_FALSE(WalkGuarded(bytes).sound);
  }
}

TEST(PackageReader, EntrySizesRunningPastTheEndAreMalformed) {
  TestPackageContents contents = TestPackage();
  AddEntry(contents, 0, "a.txt", "hello");
  Bytes bytes = PackageBytes(contents);
  size_t size_offset = FirstRecordOffset(contents) + 2 + 6;
  ASSERT_EQ(Uint32At(bytes, size_offset), 5u);
  // Room left after the size field: the data and the end marker.
  uint32_t room = (uint32_t)(bytes.size() - size_offset - 4);
  for (uint32_t size : {room - 2 + 1, room, room + 1, 0x7FFFFFFFu, 0xFFFFFFFEu, 0xFFFFFFFFu}) {
    SCOPED_TRACE(size);
    EXPECT_FALSE(WalkGuarded(WithUint32At(bytes, size_offset, size)).sound);
  }
  // The whole rest but the end marker is a sound (bigger) record.
  EXPECT_TRUE(WalkGuarded(WithUint32At(bytes, size_offset, room - 2)).sound);
}

TEST(PackageReader, NamesUpTo259BytesFitTheNameBuffer) {
  TestPackageContents contents = TestPackage();
  AddEntry(contents, 0, std::string(259, 'n'), "x");
  Walk walk = WalkGuarded(PackageBytes(contents));
  ASSERT_TRUE(walk.sound);
  EXPECT_EQ(walk.entries[0].name, std::wstring(259, L'n'));

  contents.entries[0].name = std::string(260, 'n');
  EXPECT_FALSE(WalkGuarded(PackageBytes(contents)).sound);
  contents.entries[0].name = std::string(5000, 'n');
  EXPECT_FALSE(WalkGuarded(PackageBytes(contents)).sound);
}

TEST(PackageReader, NameWithoutTerminatorIsMalformed) {
  Bytes bytes = PackageBytes(TestPackage());
  bytes.resize(bytes.size() - 2);
  bytes.insert(bytes.end(), {0x00, 0x00, 'a', 'b', 'c'});
  EXPECT_FALSE(WalkGuarded(bytes).sound);
}

// Mutations of sound packages: the bounded reader never reads outside the package (the
// guard page would fault), always ends, and agrees with the independent reader on
// whether the package is sound and on every folder and record.
TEST(PackageReader, MutationFuzzAgreesWithAnIndependentReader) {
  std::vector<Bytes> seeds;
  seeds.push_back(PackageBytes(TestPackage()));
  seeds.push_back(PackageBytes(SamplePackage()));
  TestPackageContents many = TestPackage();
  for (int k = 0; k < 12; ++k) {
    many.folders.push_back(std::string(1 + k, (char)('a' + k)));
    AddEntry(many, (uint16_t)k, std::string(1 + 3 * k, (char)('A' + k)), std::string(k * 7, 'd'));
  }
  seeds.push_back(PackageBytes(many));

  const uint8_t kBoundaryBytes[] = {0x00, 0x01, 0x7F, 0x80, 0xFE, 0xFF};
  Random random = {0x2545F491u};
  const int kCases = 12000;
  int sound_cases = 0;
  for (int test_case = 0; test_case < kCases; ++test_case) {
    Bytes bytes = seeds[test_case % seeds.size()];
    int mutations = 1 + random.Below(4);
    for (int m = 0; m < mutations && !bytes.empty(); ++m) {
      size_t at = random.Below((uint32_t)bytes.size());
      switch (random.Below(8)) {
        case 0:  // flip one bit
          bytes[at] ^= (uint8_t)(1u << random.Below(8));
          break;
        case 1:  // a boundary byte value
          bytes[at] = kBoundaryBytes[random.Below(6)];
          break;
        case 2:  // any byte value
          bytes[at] = (uint8_t)random.Next();
          break;
        case 3:  // a large 32-bit value where a length might be
          if (bytes.size() - at >= 4) {
            const uint32_t values[] = {0xFFFFFFFFu, 0x80000000u, 0x7FFFFFFFu,
                                       (uint32_t)bytes.size(), (uint32_t)(bytes.size() - at)};
            bytes = WithUint32At(bytes, at, values[random.Below(5)]);
          }
          break;
        case 4:  // truncate
          bytes.resize(at);
          break;
        case 5:  // delete a range
          bytes.erase(bytes.begin() + at,
                      bytes.begin() + at + random.Below((uint32_t)(bytes.size() - at) + 1));
          break;
        case 6:  // insert random bytes
          for (uint32_t k = random.Below(8) + 1; k > 0; --k) {
            bytes.insert(bytes.begin() + at, (uint8_t)random.Next());
          }
          break;
        case 7:  // an end marker or a list terminator in the middle
          if (bytes.size() - at >= 2) {
            bytes[at] = 0xFF;
            bytes[at + 1] = random.Below(2) ? 0xFF : 0x00;
          }
          break;
      }
    }
    Walk seen = WalkGuarded(bytes);
    Walk expected = WalkReference(bytes);
    if (seen.sound != expected.sound || seen.folders != expected.folders ||
        !(seen.entries == expected.entries)) {
      ADD_FAILURE() << "case " << test_case << ": reader says " << seen.sound << " with "
                    << seen.entries.size() << " records, reference says " << expected.sound
                    << " with " << expected.entries.size();
      break;
    }
    if (seen.sound) ++sound_cases;
  }
  // Both kinds of outcome occur, so the run exercises the readers' both roads.
  EXPECT_GT(sound_cases, 100);
  EXPECT_LT(sound_cases, kCases - 100);
}

// ---------------------------------------------------------------------------------------
// The installer's reader inside a real executable

const wchar_t kProbe[] = L"package_probe.exe";

TEST(PackageInExecutable, EveryPassSeesTheWrittenRecords) {
  ScratchFolder scratch;
  TestPackageContents contents = SamplePackage();
  ASSERT_TRUE(BuildInstaller(kProbe, scratch / L"probe.exe", contents));
  ProbeOutcome outcome = RunProbe(scratch / L"probe.exe", scratch.path());
  ASSERT_TRUE(outcome.finished) << Utf8(outcome.fatal_text);
  EXPECT_EQ(outcome.exit_code, 0u);
  size_t size = PackageBytes(contents).size();
  // Data offsets follow from the layout: first record at 204 + folder list.
  size_t first = 204 + (1 + 4) + (1 + 7) + 1;
  size_t uninstaller = first + 2 + 14 + 4;
  size_t readme = uninstaller + 14 + 2 + 11 + 4;
  size_t empty = readme + 16 + 2 + 18 + 4;
  size_t license = empty + 0 + 2 + 13 + 4;
  size_t sample = license + 20 + 2 + 11 + 4;
  size_t tool = sample + 15 + 2 + 14 + 4;
  EXPECT_EQ(tool + 7 + 2, size);
  auto at = [](size_t offset) { return std::to_string(offset); };
  std::vector<std::string> expected = {
      "header_size 204",
      "payload_length " + std::to_string(size - 204),
      "product_name Sample Product \xc3\xa9",
      "product_version 2.5.1",
      "window_class SampleMainWindow",
      "options 1 1 1 0 1 0",
      "licence 000c " + at(license) + " 20 license.html",
      "folder help",
      "folder help\\de",
      "entry fffe " + at(uninstaller) + " 14 uninstall.exe",
      "entry 0000 " + at(readme) + " 16 readme.txt",
      "entry 0000 " + at(empty) + " 0 help\\de\\empty.txt",
      "entry 000c " + at(license) + " 20 license.html",
      "entry 0017 " + at(sample) + " 15 sample.exe",
      "entry 0010 " + at(tool) + " 7 help\\tool.exe",
      "executable fffe " + at(uninstaller) + " 14 uninstall.exe",
      "executable 0017 " + at(sample) + " 15 sample.exe",
      "executable 0010 " + at(tool) + " 7 help\\tool.exe",
      "launch 0017 " + at(sample) + " 15 sample.exe",
      "launch 0010 " + at(tool) + " 7 help\\tool.exe",
  };
  EXPECT_EQ(outcome.report, expected);
  // The resource holds exactly the written bytes.
  EmbeddedPackage embedded = ReadEmbeddedPackage(scratch / L"probe.exe");
  ASSERT_TRUE(embedded.found);
  EXPECT_EQ(embedded.bytes, PackageBytes(contents));
}

TEST(PackageInExecutable, EmptyPackageYieldsNoEntriesToAnyPass) {
  ScratchFolder scratch;
  ASSERT_TRUE(BuildInstaller(kProbe, scratch / L"probe.exe", TestPackage()));
  ProbeOutcome outcome = RunProbe(scratch / L"probe.exe", scratch.path());
  ASSERT_TRUE(outcome.finished);
  std::vector<std::string> expected = {
      "header_size 204",          "payload_length 3",
      "product_name Test Product", "product_version 1.0",
      "window_class TestProductWindow", "options 0 0 0 0 0 0",
      "licence none",
  };
  EXPECT_EQ(outcome.report, expected);
}

void ExpectFatal(const ProbeOutcome& outcome) {
  EXPECT_FALSE(outcome.finished);
  EXPECT_EQ(outcome.fatal_caption, L"Fatal error");
  EXPECT_EQ(outcome.fatal_text, L"Could not extract installation data!");
  EXPECT_EQ(outcome.exit_code, 0u);
}

TEST(PackageInExecutable, MissingPackageIsFatal) {
  ScratchFolder scratch;
  ASSERT_TRUE(CopyFileW((BinDir() + kProbe).c_str(), (scratch / L"probe.exe").c_str(), FALSE));
  ProbeOutcome outcome = RunProbe(scratch / L"probe.exe", scratch.path());
  ExpectFatal(outcome);
  EXPECT_TRUE(outcome.report.empty());
}

// Malformed packages of every kind the reader checks, each in a real process: each ends
// in the fatal message box, never in a crash or a finished walk.
TEST(PackageInExecutable, MalformedPackagesEndInTheFatalMessage) {
  TestPackageContents contents = SamplePackage();
  Bytes full = PackageBytes(contents);
  size_t first = FirstRecordOffset(contents);
  struct Case {
    const char* what;
    Bytes bytes;
  };
  std::vector<Case> cases;
  auto cut = [&full](size_t length) { return Bytes(full.begin(), full.begin() + length); };
  cases.push_back({"one byte", cut(1)});
  cases.push_back({"inside the header", cut(150)});
  cases.push_back({"header only", cut(204)});
  cases.push_back({"inside a folder name", cut(207)});
  cases.push_back({"inside the first flags", cut(first + 1)});
  cases.push_back({"inside the first name", cut(first + 6)});
  cases.push_back({"inside the first size", cut(first + 2 + 14 + 2)});
  cases.push_back({"inside the first data", cut(first + 2 + 14 + 4 + 3)});
  cases.push_back({"without the end marker", cut(full.size() - 2)});
  cases.push_back({"half an end marker", cut(full.size() - 1)});
  cases.push_back({"header_size beyond the package", WithUint32At(full, 0, 0xFFFFFFF0u)});
  cases.push_back({"unterminated window class", WithUnterminatedString(full, kWindowClassOffset)});
  Bytes small_folder = cut(204 + 5);
  small_folder.push_back(200);
  small_folder.insert(small_folder.end(), 50, 'f');
  cases.push_back({"folder length past the end", small_folder});
  cases.push_back({"entry size 4 GiB", WithUint32At(full, first + 2 + 14, 0xFFFFFFFFu)});
  TestPackageContents long_name = TestPackage();
  AddEntry(long_name, 0, std::string(300, 'L'), "x");
  cases.push_back({"name of 300 bytes", PackageBytes(long_name)});

  ScratchFolder scratch;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(EmbedPackageBytes(kProbe, scratch / L"probe.exe", c.bytes));
    ExpectFatal(RunProbe(scratch / L"probe.exe", scratch.path()));
  }
}

TEST(PackageInExecutable, LaterRecordsAreOnlyReadWhenReached) {
  // A package whose licence record comes before a malformed record: the licence pass stops
  // at the licence, the first full pass meets the damage and ends in the fatal message.
  TestPackageContents contents = TestPackage();
  AddEntry(contents, ENTRY_LICENSE_DOCUMENT, "license.html", "<p>ok</p>");
  AddEntry(contents, 0, "broken.bin", "data");
  Bytes bytes = PackageBytes(contents);
  bytes.resize(bytes.size() - 4);
  ScratchFolder scratch;
  ASSERT_TRUE(EmbedPackageBytes(kProbe, scratch / L"probe.exe", bytes));
  ProbeOutcome outcome = RunProbe(scratch / L"probe.exe", scratch.path());
  ExpectFatal(outcome);
  EXPECT_EQ(outcome.Named("licence"), std::vector<std::string>{"0008 224 9 license.html"});
  EXPECT_EQ(outcome.Named("entry"), std::vector<std::string>{"0008 224 9 license.html"});
  for (const char* pass : {"folder", "executable", "launch"}) {
    EXPECT_TRUE(outcome.Named(pass).empty()) << pass;
  }
  EXPECT_EQ(outcome.report.size(), 8u) << "the header's six lines, the two records, no more";
}

}  // namespace
