#include "services/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "test_dir.h"

using namespace quillane;
using quillane::testing::ReadFile;
using quillane::testing::TempDir;
using quillane::testing::WriteFile;
namespace fs = std::filesystem;

TEST(Files, RunDirectoryIsTheProgramsFolder) {
  const Text dir = RunDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_NE(dir.back(), '/');
  EXPECT_EQ(fs::canonical("/proc/self/exe").parent_path().string(), dir);
}

TEST(Files, WriteBytesToFileCreatesTruncatesAndJoinsArrays) {
  TempDir dir;
  const std::string f = dir / "out.bin";
  ASSERT_TRUE(WriteBytesToFile(f, Bytes{'a', 0, 'b'}, Bytes{'c'}));
  EXPECT_EQ(ReadFile(f), std::string("a\0bc", 4));
  ASSERT_TRUE(WriteBytesToFile(f, Bytes{'x'}));
  EXPECT_EQ(ReadFile(f), "x");
  ASSERT_TRUE(WriteBytesToFile(f, {}));
  EXPECT_EQ(ReadFile(f), "");
  EXPECT_TRUE(fs::exists(f));
  EXPECT_FALSE(WriteBytesToFile("", Bytes{'x'}));
  EXPECT_FALSE(WriteBytesToFile(dir / "missing/out.bin", Bytes{'x'}));
}

TEST(Files, WholeFilesRoundTripAndNameWhyTheyFail) {
  TempDir dir;
  const std::string f = dir / "rules.csv";
  EXPECT_EQ(WriteWholeFile(f, Bytes{'a', 0, 'b'}), FileFailure::None);
  EXPECT_EQ(WriteWholeFile(f, Bytes{'x', 'y'}), FileFailure::None);  // replaces, not appends
  Bytes bytes{'?'};
  EXPECT_EQ(ReadWholeFile(f, &bytes), FileFailure::None);
  EXPECT_EQ(bytes, (Bytes{'x', 'y'}));
  EXPECT_EQ(ReadWholeFile(dir / "none.csv", &bytes), FileFailure::NotFound);
  EXPECT_TRUE(bytes.empty());
  EXPECT_EQ(WriteWholeFile(dir / "none/x.csv", Bytes{'x'}), FileFailure::NotFound);
  EXPECT_EQ(ReadWholeFile(dir.path(), &bytes), FileFailure::Denied);  // a folder
  EXPECT_EQ(WriteWholeFile(dir.path(), Bytes{'x'}), FileFailure::Denied);
  // The new bytes go beside the file first: when they cannot be written there
  // (a folder in the way stands for a full disk) the old file keeps its bytes.
  fs::create_directory(f + ".saving");
  EXPECT_EQ(WriteWholeFile(f, Bytes{'z'}), FileFailure::Denied);
  EXPECT_EQ(ReadFile(f), "xy");
  fs::remove(f + ".saving");
  EXPECT_EQ(WriteWholeFile(f, Bytes{'z'}), FileFailure::None);
  EXPECT_EQ(ReadFile(f), "z");
  EXPECT_FALSE(fs::exists(f + ".saving"));
}

TEST(Files, DeleteDirectoryTreeRemovesEverythingButDotEntries) {
  TempDir dir;
  const std::string root = dir / "shop";
  fs::create_directories(root + "/a/b");
  WriteFile(root + "/f.txt", "1");
  WriteFile(root + "/a/b/g.txt", "2");
  EXPECT_TRUE(DeleteDirectoryTree("  " + root + "\\"));  // leading spaces, trailing separator
  EXPECT_FALSE(fs::exists(root));

  // An entry whose name begins with a dot is left, so the directory stays.
  fs::create_directories(root);
  WriteFile(root + "/.keep", "");
  WriteFile(root + "/x", "");
  EXPECT_FALSE(DeleteDirectoryTree(root));
  EXPECT_TRUE(fs::exists(root + "/.keep"));
  EXPECT_FALSE(fs::exists(root + "/x"));
}

TEST(Files, DeleteDirectoryTreeRefusesRootsAndEmptyPaths) {
  EXPECT_FALSE(DeleteDirectoryTree(""));
  EXPECT_FALSE(DeleteDirectoryTree("   "));
  EXPECT_FALSE(DeleteDirectoryTree("C:"));
  EXPECT_FALSE(DeleteDirectoryTree("c:\\"));
  EXPECT_FALSE(DeleteDirectoryTree(" D:/"));
  EXPECT_FALSE(DeleteDirectoryTree("/"));
  EXPECT_FALSE(DeleteDirectoryTree("\\"));
  TempDir dir;
  EXPECT_FALSE(DeleteDirectoryTree(dir / "missing"));
}

TEST(Files, DeleteDirectoryTreeDoesNotFollowLinks) {
  TempDir dir;
  const std::string outside = dir / "outside";
  fs::create_directories(outside);
  WriteFile(outside + "/precious", "keep");
  const std::string root = dir / "shop";
  fs::create_directories(root);
  fs::create_directory_symlink(outside, root + "/link");
  EXPECT_TRUE(DeleteDirectoryTree(root));
  EXPECT_EQ(ReadFile(outside + "/precious"), "keep");
  // A link given as the directory itself goes as a link.
  fs::create_directory_symlink(outside, dir / "link2");
  EXPECT_TRUE(DeleteDirectoryTree(dir / "link2"));
  EXPECT_FALSE(fs::is_symlink(dir / "link2"));
  EXPECT_TRUE(fs::exists(outside + "/precious"));
}

TEST(Files, MakeSureDirectoryPathExistsCreatesUpToTheLastSeparator) {
  TempDir dir;
  EXPECT_TRUE(MakeSureDirectoryPathExists(dir.path() + "\\a\\b\\"));
  EXPECT_TRUE(PathIsDirectory(dir / "a/b"));
  EXPECT_TRUE(MakeSureDirectoryPathExists(dir / "c/d"));
  EXPECT_TRUE(PathIsDirectory(dir / "c"));
  EXPECT_FALSE(PathFileExists(dir / "c/d"));
  EXPECT_TRUE(MakeSureDirectoryPathExists(dir / "a/b/"));  // already there
  WriteFile(dir / "file", "");
  EXPECT_FALSE(PathIsDirectory(dir / "file"));
  EXPECT_TRUE(PathFileExists(dir / "file"));
  EXPECT_FALSE(MakeSureDirectoryPathExists(dir / "file/x/"));
}
