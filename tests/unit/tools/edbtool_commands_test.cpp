#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "../services/test_dir.h"
#include "rules/rule_schema.h"
#include "rules/rule_store.h"
#include "table/engine.h"
#include "table/file_io.h"
#include "tools/edbtool/rule_commands.h"

namespace quillane::edbtool {
namespace {

using quillane::testing::ReadFile;
using quillane::testing::TempDir;
using quillane::testing::WriteFile;

// The files of a folder, by name.
std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

bool Says(const Outcome& outcome, const Text& words) {
  for (const Text& line : outcome.lines)
    if (line.find(words) != Text::npos) return true;
  return false;
}

TEST(EdbtoolCommandsTest, ImportKeepsTheTableWhileQuillaneHoldsItAndKeepsTheOldOneAfter) {
  TempDir dir;
  const std::string table = dir / "Database.edb", csv = dir / "rules.csv";
  WriteFile(csv, "\xEF\xBB\xBF" + std::string(reinterpret_cast<const char*>(
                                      u8"关键词,回复语,匹配规则,匹配码\r\n在吗,在的,包含,5\r\n")));
  ASSERT_TRUE(ImportRulesFromCsv(csv, table, MessageLanguage::Chinese).ok());
  const std::string before = ReadFile(table);
  WriteFile(csv, "keyword,reply,match,code\r\nhi,hello,contains,1\r\nbye,see you,完全匹配,2\r\n");

  // Another opening holds the rule table for reading, as Quillane does while
  // it runs: reading and writing shared.
  table::File quillane;
  ASSERT_EQ(quillane.Open(table, table::Access::kRead, table::Share::kReadWrite,
                          table::Disposition::kOpenExisting),
            0);
  Outcome held = ImportRulesFromCsv(csv, table, MessageLanguage::Chinese);
  EXPECT_EQ(held.code, ExitCode::TableOpen);
  EXPECT_TRUE(Says(held, "请先关闭 Quillane"));
  held = ImportRulesFromCsv(csv, table, MessageLanguage::English);
  EXPECT_TRUE(Says(held, "close Quillane first"));
  quillane.Close();
  EXPECT_EQ(ReadFile(table), before);
  EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"Database.edb", "rules.csv"}));

  // A file with a problem changes nothing either.
  WriteFile(dir / "bad.csv", "keyword,reply,match,code\r\na,b,contains,1.5\r\n");
  const Outcome refused = ImportRulesFromCsv(dir / "bad.csv", table, MessageLanguage::English);
  EXPECT_EQ(refused.code, ExitCode::CsvRefused);
  EXPECT_TRUE(Says(refused, "line 2: match code \"1.5\""));
  EXPECT_EQ(ReadFile(table), before);

  // Once Quillane is closed the import goes through and keeps the old table.
  const Outcome imported = ImportRulesFromCsv(csv, table, MessageLanguage::Chinese);
  ASSERT_TRUE(imported.ok());
  EXPECT_TRUE(Says(imported, "第 2 行：匹配规则“contains”"));
  EXPECT_TRUE(Says(imported, "已导入 2 条规则"));
  const std::vector<std::string> files = FilesIn(dir.path());
  ASSERT_EQ(files.size(), 4u);  // the backup, the table, bad.csv, rules.csv
  EXPECT_EQ(files[0].rfind("Database-", 0), 0u);
  EXPECT_EQ(files[0].size(), std::string("Database-20250101-120000.edb").size());
  EXPECT_EQ(ReadFile(dir / files[0]), before);
  ASSERT_TRUE(OpenRuleTable(dir.path()));
  EXPECT_EQ(ReadRules(), (std::vector<RuleRow>{{"hi", "hello", "contains", "1"},
                                               {"bye", "see you", "完全匹配", "2"}}));
  table::CloseAllTables();
}

}  // namespace
}  // namespace quillane::edbtool
