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

// `answer` names the row in the order the rules are tried: a rule table is
// put in its sorted copy's order, the sorted copy Sorting.edb is taken as it
// lies (Quillane answers from it as it is).
TEST(EdbtoolCommandsTest, AnswerNamesTheRowKeywordAndReplyInTheOrderTried) {
  TempDir dir;
  const std::vector<RuleRow> rows = {{"在吗|在不", "在的亲", "消息中包含", "1"},
                                     {"发货", "48小时内发货", "完全匹配", "9"},
                                     {"你好", "\xA1\xA1 ", "包含", "5"}};
  for (const char* name : {"Database.edb", "Sorting.edb"})
    ASSERT_EQ(WriteRuleTableFile(dir / name, rows), RuleStoreResult::Ok);
  const std::vector<Text> texts = {"亲，在吗？", "发货", "好", "谢谢"};
  struct Case {
    const char* table;
    MessageLanguage language;
    std::vector<Text> lines;
  } const cases[] = {
      {"Database.edb",
       MessageLanguage::Chinese,
       {"“亲，在吗？”：第 3 行，关键词“在吗”（消息中包含），回复：在的亲",
        "“发货”：第 1 行，关键词“发货”（完全匹配），回复：48小时内发货",
        "“好”：第 2 行，关键词“你好”（包含），回复语为空，将发送默认回复",
        "“谢谢”：没有规则匹配，将发送默认回复"}},
      {"Sorting.edb",
       MessageLanguage::English,
       {"\"亲，在吗？\": row 1, keyword \"在吗\" (消息中包含), reply: 在的亲",
        "\"发货\": row 2, keyword \"发货\" (完全匹配), reply: 48小时内发货",
        "\"好\": row 3, keyword \"你好\" (包含), the reply is blank, so the default reply is sent",
        "\"谢谢\": no rule matches; the default reply is sent"}},
  };
  for (const Case& c : cases) {
    const Outcome answered = AnswerTexts(dir / c.table, texts, c.language);
    EXPECT_EQ(answered.code, ExitCode::Ok) << c.table;
    EXPECT_EQ(answered.lines, c.lines) << c.table;
  }
  EXPECT_EQ(AnswerTexts(dir / "none.edb", texts, MessageLanguage::English).code,
            ExitCode::NotFound);
}

}  // namespace
}  // namespace quillane::edbtool
