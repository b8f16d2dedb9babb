#include "services/paths.h"

#include <gtest/gtest.h>

#include <optional>

using namespace quillane;

TEST(Paths, FullLocalPathResolvesEveryFormOfAFolder) {
  const struct {
    const char* path;
    std::optional<Text> full;
  } cases[] = {
      {"D:\\data\\shop1\\", Text("D:\\data\\shop1")},
      {"d:/data//shop1/./x/../", Text("D:\\data\\shop1")},
      {"C:\\\\", Text("C:\\")},
      {"C:\\.\\", Text("C:\\")},
      {"C:\\shop\\..\\", Text("C:\\")},
      {"C:\\..\\..\\x", Text("C:\\x")},  // ".." stops at the root
      {"C:\\Windows.\\System32 ", Text("C:\\Windows\\System32")},
      // A double-byte character whose second byte is "\" or "|" stays whole.
      {"C:\\\x81\x5c\\\x81\x7c", Text("C:\\\x81\x5c\\\x81\x7c")},
      {"", std::nullopt},
      {".", std::nullopt},
      {"shop\\data", std::nullopt},
      {"C:shop", std::nullopt},
      {"\\shop", std::nullopt},
      {"\\\\server\\share\\shop", std::nullopt},
      {"//server/share/shop", std::nullopt},
      {"\\\\?\\C:\\shop", std::nullopt},
      {"\\\\.\\C:\\shop", std::nullopt},
      {"C:\\shop\\...\\x", std::nullopt},
      {"C:\\shop\\ \\x", std::nullopt},
      {"C:\\shop:stream", std::nullopt},
      {"C:\\shop\\a|b", std::nullopt},
      {"C:\\shop\\*", std::nullopt},
      {"C:\\shop\\\x81", std::nullopt},  // half a character
  };
  for (const auto& c : cases) EXPECT_EQ(FullLocalPath(c.path), c.full) << c.path;
  EXPECT_TRUE(HasDotNames("C:\\shop\\..\\"));
  EXPECT_TRUE(HasDotNames("."));
  EXPECT_FALSE(HasDotNames("C:\\shop\\...x\\.y"));
  EXPECT_TRUE(IsDriveRoot("C:\\"));
  EXPECT_FALSE(IsDriveRoot("C:\\x"));
}

TEST(Paths, AFolderIsAboveOnlyAtANameBoundary) {
  EXPECT_TRUE(IsSameOrAbove("C:\\shop", "C:\\shop"));
  EXPECT_TRUE(IsSameOrAbove("c:\\SHOP", "C:\\shop\\1"));
  EXPECT_TRUE(IsSameOrAbove("C:\\", "C:\\shop\\1"));
  EXPECT_FALSE(IsSameOrAbove("C:\\shop", "C:\\shop1"));
  EXPECT_FALSE(IsSameOrAbove("C:\\shop\\1", "C:\\shop"));
  EXPECT_FALSE(IsSameOrAbove("D:\\shop", "C:\\shop"));
  EXPECT_FALSE(IsSameOrAbove("", "C:\\shop"));
}

TEST(Paths, SystemFoldersAreFullAndResolvable) {
  const std::vector<Text> folders = SystemFolders();
  ASSERT_FALSE(folders.empty());
  for (const Text& folder : folders) {
    EXPECT_EQ(FullLocalPath(folder), folder);
    EXPECT_FALSE(ResolvedPath(folder).empty()) << folder;
  }
  EXPECT_TRUE(ResolvedPath(folders.front() + "\\no such folder 4711").empty());
}
