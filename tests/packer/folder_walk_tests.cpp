// pack.exe's walk of a folder line's tree, in process over its Windows host side: every
// folder is reached again from the line's source one level at a time, every file read in
// the folder it was listed in, and whatever was put in place of a listed file or folder in
// between is refused as changed. The changes here are made by Windows calls; the Unix side
// of Wine (a folder turned into a symbolic link) is raced by pack_swap_test.sh.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "harness/scratch.h"
#include "packer/tool/file_access.h"

namespace {

// A product's tree, src\a\one.txt and src\b\two.txt, and outside it a folder of secrets
// holding a two.txt of the same size.
struct Tree {
  ScratchFolder scratch;
  FolderWalk top;
  Tree() {
    for (const wchar_t* folder : {L"src", L"src\\a", L"src\\b", L"secret"}) {
      EXPECT_TRUE(CreateDirectoryW((scratch / folder).c_str(), NULL));
    }
    WriteText(scratch / L"src\\a\\one.txt", "page one");
    WriteText(scratch / L"src\\b\\two.txt", "page two");
    WriteText(scratch / L"secret\\two.txt", "SECRET 2");
    top.root = Utf8(scratch / L"src") + "/";
  }
  void Move(const wchar_t* from, const wchar_t* to) {
    ASSERT_TRUE(MoveFileExW((scratch / from).c_str(), (scratch / to).c_str(),
                            MOVEFILE_REPLACE_EXISTING))
        << Utf8(from);
  }
};

// Lists the folder `walk` leads to, by name; a root's first listing records its identity.
// Returns false with the message in `error`.
bool List(FolderWalk* walk, std::vector<FolderItem>* items, std::string* error) {
  FileIdentity root;
  HeldFolder held;
  bool listed = ListFolder(*walk, &held, items, &root, error);
  ReleaseHeldFolder(&held);
  if (!listed) return false;
  if (walk->steps.empty()) walk->root_identity = root;
  std::sort(items->begin(), items->end(),
            [](const FolderItem& a, const FolderItem& b) { return a.name < b.name; });
  return true;
}

// The walk one step below `walk`, into `folder` as its listing found it.
FolderWalk Below(const FolderWalk& walk, const FolderItem& folder) {
  FolderWalk below = walk;
  below.steps.push_back(folder);
  return below;
}

// Copies the listed `file` of the folder `walk` leads to into a new file of `scratch`, as
// the packer copies a source into a setup. Returns "" and the bytes in `*copied`, or the
// message.
std::string Copy(const ScratchFolder& scratch, const FolderWalk& walk, const FolderItem& file,
                 std::string* copied) {
  std::wstring out = scratch / L"out.bin";
  DeleteFileW(out.c_str());
  bool exists = false;
  FileHandle output = CreateNewFile(Utf8(out), &exists);
  if (output == kNoFile) return "cannot create the output";
  HeldFolder held;
  std::vector<uint8_t> buffer;
  std::string error;
  bool ok = CopyFoundFileTo(walk, file, WalkedPath(walk) + file.name, (uint32_t)file.size, &held,
                            output, &buffer, &error);
  ReleaseHeldFolder(&held);
  CloseFile(output);
  *copied = FileText(out);
  return ok ? "" : error;
}

const char kFolderChanged[] =
    "\" changed while it was packed: it is no longer the folder that was listed (it was "
    "replaced, moved or turned into a link)";
const char kFileChanged[] =
    "\" changed while it was packed: it is no longer the file that was listed (it was "
    "replaced, moved or turned into a link)";

TEST(FolderWalk, ListsEachFolderAndReadsEachFileWhereTheyWereListed) {
  Tree tree;
  std::vector<FolderItem> top, in_b;
  std::string error, copied;
  ASSERT_TRUE(List(&tree.top, &top, &error)) << error;
  ASSERT_EQ(top.size(), 2u);
  EXPECT_EQ(top[1].name, "b");
  EXPECT_EQ(top[1].kind, ITEM_FOLDER);
  FolderWalk b = Below(tree.top, top[1]);
  ASSERT_TRUE(List(&b, &in_b, &error)) << error;
  ASSERT_EQ(in_b.size(), 1u);
  EXPECT_EQ(in_b[0].kind, ITEM_FILE);
  EXPECT_EQ(in_b[0].size, 8u);
  EXPECT_NE(in_b[0].identity, top[1].identity);
  EXPECT_NE(top[0].identity, top[1].identity);
  EXPECT_EQ(Copy(tree.scratch, b, in_b[0], &copied), "");
  EXPECT_EQ(copied, "page two");
}

TEST(FolderWalk, RefusesAFolderPutInPlaceOfAListedOne) {
  Tree tree;
  std::vector<FolderItem> top, in_b, in_secret;
  std::string error, copied;
  ASSERT_TRUE(List(&tree.top, &top, &error)) << error;
  FolderWalk b = Below(tree.top, top[1]);
  ASSERT_TRUE(List(&b, &in_b, &error)) << error;
  // The secrets' folder moved in under the listed name, between two listings and between
  // the listing and the reading.
  tree.Move(L"src\\b", L"b.old");
  tree.Move(L"secret", L"src\\b");
  EXPECT_FALSE(List(&b, &in_secret, &error));
  EXPECT_EQ(error, "\"" + tree.top.root + "b/" + kFolderChanged);
  EXPECT_EQ(Copy(tree.scratch, b, in_b[0], &copied), "\"" + tree.top.root + "b/" + kFolderChanged);
  EXPECT_EQ(copied, "");
}

TEST(FolderWalk, RefusesAFilePutInPlaceOfAListedOne) {
  Tree tree;
  std::vector<FolderItem> top, in_b;
  std::string error, copied;
  ASSERT_TRUE(List(&tree.top, &top, &error)) << error;
  FolderWalk b = Below(tree.top, top[1]);
  ASSERT_TRUE(List(&b, &in_b, &error)) << error;
  tree.Move(L"secret\\two.txt", L"src\\b\\two.txt");  // same name, same size
  EXPECT_EQ(Copy(tree.scratch, b, in_b[0], &copied),
            "\"" + tree.top.root + "b/two.txt" + kFileChanged);
  EXPECT_EQ(copied, "");
}

TEST(FolderWalk, RefusesASourceFolderReplacedByACopy) {
  Tree tree;
  std::vector<FolderItem> top, in_a;
  std::string error, copied;
  ASSERT_TRUE(List(&tree.top, &top, &error)) << error;
  FolderWalk a = Below(tree.top, top[0]);
  ASSERT_TRUE(List(&a, &in_a, &error)) << error;
  tree.Move(L"src", L"src.old");
  for (const wchar_t* folder : {L"src", L"src\\a"}) {
    ASSERT_TRUE(CreateDirectoryW((tree.scratch / folder).c_str(), NULL));
  }
  WriteText(tree.scratch / L"src\\a\\one.txt", "page one");
  EXPECT_EQ(Copy(tree.scratch, a, in_a[0], &copied), "\"" + tree.top.root + kFolderChanged);
  EXPECT_EQ(copied, "");
}

}  // namespace
