#include "services/ini.h"

#include <gtest/gtest.h>

#include "test_dir.h"

using namespace quillane;
using quillane::testing::ReadFile;
using quillane::testing::TempDir;
using quillane::testing::WriteFile;

TEST(Ini, EmptyArgumentGivesEmptyTextEvenWithADefault) {
  TempDir dir;
  const std::string f = dir / "Data.ini";
  WriteFile(f, "[Reply]\r\nDefault=hello\r\n");
  EXPECT_EQ(ReadIniItem(f, "Reply", "", "dflt"), "");
  EXPECT_EQ(ReadIniItem(f, "", "Default", "dflt"), "");
  EXPECT_EQ(ReadIniItem("", "Reply", "Default", "dflt"), "");
  EXPECT_EQ(ReadIniItem(f, " \t", "Default", "dflt"), "");
  // Leading blanks and control bytes of the three arguments are skipped.
  EXPECT_EQ(ReadIniItem("  " + f, "\tReply", " Default", "dflt"), "hello");
}

TEST(Ini, MissingFileSectionOrKeyGivesTheDefault) {
  TempDir dir;
  const std::string f = dir / "Data.ini";
  EXPECT_EQ(ReadIniItem(f, "Wait", "second", "10"), "10");
  WriteFile(f, "[Wait]\r\nsecond=3\r\n");
  EXPECT_EQ(ReadIniItem(f, "Other", "second", "10"), "10");
  EXPECT_EQ(ReadIniItem(f, "Wait", "minute", "x  "), "x");  // trailing blanks of the default go
  EXPECT_EQ(ReadIniItem(f, "Wait", "minute"), "");
}

TEST(Ini, ReadingFollowsTheProfileRules) {
  TempDir dir;
  const std::string f = dir / "Data.ini";
  WriteFile(f,
            "; comment\n"
            "[reply]\n"
            "  DEFAULT =  您好，请稍等  \n"
            "quoted=\"  a b \"\n"
            "single='x'\n"
            "half=\"x\n"
            "empty=\n"
            "[Wait]\n"
            "second=5\n"
            "[Reply]\n"
            "Default=second section\n");
  EXPECT_EQ(ReadIniItem(f, "Reply", "Default", "d"), "您好，请稍等");
  EXPECT_EQ(ReadIniItem(f, "REPLY", "quoted"), "  a b ");
  EXPECT_EQ(ReadIniItem(f, "Reply", "single"), "x");
  EXPECT_EQ(ReadIniItem(f, "Reply", "half"), "\"x");
  EXPECT_EQ(ReadIniItem(f, "Reply", "empty", "d"), "");  // present but empty: not the default
  EXPECT_EQ(ReadIniItem(f, "wait", "SECOND"), "5");
}

TEST(Ini, ValueIsCutToTheBuffer) {
  TempDir dir;
  const std::string f = dir / "Data.ini";
  WriteFile(f, "[S]\r\nk=" + std::string(20000, 'a') + "\r\n");
  EXPECT_EQ(ReadIniItem(f, "S", "k").size(), static_cast<std::size_t>(kIniBufferSize - 1));
}

TEST(Ini, WriteCreatesReplacesAndRemoves) {
  TempDir dir;
  const std::string f = dir / "Data.ini";
  ASSERT_TRUE(WriteIniItem(f, "Reply", "Default", "默认回复"));
  ASSERT_TRUE(WriteIniItem(f, "Wait", "second", "10"));
  EXPECT_EQ(ReadFile(f), "[Reply]\r\nDefault=默认回复\r\n[Wait]\r\nsecond=10\r\n");
  ASSERT_TRUE(WriteIniItem(f, "reply", "DEFAULT", "新"));
  ASSERT_TRUE(WriteIniItem(f, "Reply", "Other", "o"));
  EXPECT_EQ(ReadIniItem(f, "Reply", "Default"), "新");
  EXPECT_EQ(ReadIniItem(f, "Reply", "Other"), "o");
  EXPECT_EQ(ReadIniItem(f, "Wait", "second"), "10");
  // Other keys keep their order: the new key goes after the section's last.
  EXPECT_EQ(ReadFile(f), "[Reply]\r\nDefault=新\r\nOther=o\r\n[Wait]\r\nsecond=10\r\n");

  ASSERT_TRUE(WriteIniItem(f, "Reply", "Other"));  // no value: the key goes
  EXPECT_EQ(ReadIniItem(f, "Reply", "Other", "gone"), "gone");
  EXPECT_EQ(ReadIniItem(f, "Reply", "Default"), "新");
  ASSERT_TRUE(WriteIniItem(f, "Reply"));  // no key: the section goes
  EXPECT_EQ(ReadIniItem(f, "Reply", "Default", "gone"), "gone");
  EXPECT_EQ(ReadIniItem(f, "Wait", "second"), "10");
  // Removing what is not there succeeds and changes nothing.
  const std::string before = ReadFile(f);
  EXPECT_TRUE(WriteIniItem(f, "Nothing"));
  EXPECT_TRUE(WriteIniItem(f, "Wait", "nothing"));
  EXPECT_EQ(ReadFile(f), before);
}

TEST(Ini, WindowsStylePathsWork) {
  TempDir dir;
  const std::string f = dir.path() + "\\Data.ini";
  ASSERT_TRUE(WriteIniItem(f, "Wait", "second", "7"));
  EXPECT_EQ(ReadIniItem(dir / "Data.ini", "Wait", "second"), "7");
}

TEST(Ini, WriteIntoAMissingDirectoryFails) {
  TempDir dir;
  EXPECT_FALSE(WriteIniItem(dir / "no/such/Data.ini", "S", "k", "v"));
}
