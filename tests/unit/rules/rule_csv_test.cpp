#include "rules/rule_csv.h"

#include <gtest/gtest.h>

#include <string>

#include "services/encoding.h"
#include "services/values.h"

// Narrow literals here are GBK (the program's encoding); u8 literals give the
// UTF-8 bytes a spreadsheet program writes.
namespace quillane {
namespace {

std::string Utf8(std::u8string_view s) { return std::string(s.begin(), s.end()); }

// UTF-8 text as the bytes of a file in the named encoding.
std::string Encode(const std::string& utf8, const std::string& encoding) {
  if (encoding == "gbk") return Utf8ToGbk(utf8);
  if (encoding == "utf-8") return utf8;
  if (encoding == "utf-8-bom") return "\xEF\xBB\xBF" + utf8;
  const std::u16string u = GbkToUtf16(Utf8ToGbk(utf8));
  const bool big = encoding == "utf-16be";
  std::string out = big ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t c : u) {
    const char lo = static_cast<char>(c & 0xFF), hi = static_cast<char>(c >> 8);
    out += big ? hi : lo;
    out += big ? lo : hi;
  }
  return out;
}

// The same sheet of rules: a comma, doubled quotes, a line break inside a
// cell, Chinese, blanks kept in a keyword, a full-width code.
const std::vector<RuleRow> kSheetRows = {
    {"在吗|您好", "在的，亲", "包含", "5"},
    {"a,b", "say \"hi\"", "完全匹配", "-9"},
    {"two\nlines", "x", "包含", "12"},
    {" 空格 ", "发货了吗？", "包含", "0"},
};

// The sheet the way each program saves it: (name, encoding, bytes before
// encoding). Excel's CSV on Chinese Windows is GBK with CRLF and LF inside
// cells; its "CSV UTF-8" adds a BOM; its "Unicode 文本" is UTF-16 LE with tabs;
// WPS writes GBK like Excel; LibreOffice writes UTF-8 without a BOM, LF line
// ends, and quotes every text cell.
struct Saved {
  const char* name;
  const char* encoding;
  std::u8string text;
};
const Saved kSavedSheets[] = {
    {"Excel CSV (comma separated)", "gbk",
     u8"关键词,回复语,匹配规则,匹配码\r\n在吗|您好,在的，亲,包含,5\r\n\"a,b\",\"say \"\"hi\"\"\","
     u8"完全匹配,-9\r\n\"two\nlines\",x,包含,12\r\n 空格 ,发货了吗？,包含,０\r\n"},
    {"Excel CSV UTF-8", "utf-8-bom",
     u8"关键词,回复语,匹配规则,匹配码\r\n在吗|您好,在的，亲,包含,5\r\n\"a,b\",\"say \"\"hi\"\"\","
     u8"完全匹配,-9\r\n\"two\nlines\",x,包含,12\r\n 空格 ,发货了吗？,包含,0\r\n"},
    {"Excel Unicode text", "utf-16le",
     u8"关键词\t回复语\t匹配规则\t匹配码\r\n在吗|您好\t在的，亲\t包含\t5\r\na,b\t\"say "
     u8"\"\"hi\"\"\"\t"
     u8"完全匹配\t-9\r\n\"two\nlines\"\tx\t包含\t12\r\n 空格 \t发货了吗？\t包含\t0\r\n"},
    {"UTF-16 BE, English header in another order", "utf-16be",
     u8" Code ,KEYWORD,reply, match\r\n5,在吗|您好,在的，亲,包含\r\n-9,\"a,b\",\"say \"\"hi\"\"\","
     u8"完全匹配\r\n12,\"two\nlines\",x,包含\r\n0, 空格 ,发货了吗？,包含\r\n"},
    {"WPS CSV", "gbk",
     u8"关键词,回复语,匹配规则,匹配码\r\n在吗|您好,在的，亲,包含 ,+5\r\n\"a,b\",\"say \"\"hi\"\"\","
     u8"完全匹配,－９\r\n\"two\nlines\",x,包含,12\r\n 空格 ,发货了吗？,包含,0\r\n,,,\r\n"},
    {"LibreOffice CSV", "utf-8",
     u8"\"关键词\",\"回复语\",\"匹配规则\",\"匹配码\"\n\"在吗|您好\",\"在的，亲\",\"包含\",5\n"
     u8"\"a,b\",\"say \"\"hi\"\"\",\"完全匹配\",-9\n\"two\nlines\",\"x\",\"包含\",12\n"
     u8"\" 空格 \",\"发货了吗？\",\"包含\",0\n"},
};

TEST(RuleCsvTest, ReadsTheSheetAsEachProgramSavesIt) {
  for (const Saved& saved : kSavedSheets) {
    const RuleCsvRead read = ReadRuleCsv(Encode(Utf8(saved.text), saved.encoding));
    ASSERT_TRUE(read.ok()) << saved.name << ": "
                           << GbkToUtf8(RuleCsvMessage(*read.refusal, MessageLanguage::English));
    EXPECT_EQ(read.rows, kSheetRows) << saved.name;
    EXPECT_TRUE(read.notes.empty()) << saved.name;
  }
}

TEST(RuleCsvTest, WritesUtf8WithByteOrderMarkAndCrlfThatReadsBack) {
  std::vector<RuleRow> rows = kSheetRows;
  rows.push_back({"a\r\nb", "", "包含", "-2147483648"});  // a line break the window keeps
  const Bytes bytes = WriteRuleCsv(rows);
  const std::string file(bytes.begin(), bytes.end());
  const std::string header = "\xEF\xBB\xBF" + Utf8(u8"关键词,回复语,匹配规则,匹配码\r\n");
  EXPECT_EQ(file.substr(0, header.size()), header);
  EXPECT_NE(file.find(Utf8(u8"\r\n\"a,b\",\"say \"\"hi\"\"\",完全匹配,-9\r\n\"two\nlines\",x,"
                           u8"包含,12\r\n\" 空格 \",")),
            std::string::npos)
      << file;
  const RuleCsvRead read = ReadRuleCsv(file);
  ASSERT_TRUE(read.ok());
  EXPECT_EQ(read.rows, rows);
  ASSERT_EQ(read.notes.size(), 1u);  // the empty reply
  EXPECT_EQ(read.notes[0].kind, RuleCsvNoteKind::EmptyReply);
  EXPECT_EQ(read.notes[0].line, 7u);  // after the two-line record on lines 4 and 5
}

TEST(RuleCsvTest, NotesNameTheirLines) {
  const std::string file = Encode(Utf8(u8"关键词,回复语,匹配规则,匹配码,备注\r\n"
                                       u8"在吗,在的,contains,1,老规则\r\n"
                                       u8",,,,\r\n"
                                       u8"\"多\n行\",好的,完全匹配 ,2\r\n"
                                       u8" ,好的,,3\r\n"
                                       u8"发货,今天发,消息中包含,4\r\n"),
                                  "utf-8-bom");
  const RuleCsvRead read = ReadRuleCsv(file);
  ASSERT_TRUE(read.ok());
  ASSERT_EQ(read.rows.size(), 4u);  // the row of commas is no rule
  EXPECT_EQ(read.rows[1].matchRule, "完全匹配");
  EXPECT_EQ(read.rows[3].matchRule, "消息中包含");  // a known rule: no note
  const std::vector<std::pair<RuleCsvNoteKind, std::size_t>> expected = {
      {RuleCsvNoteKind::IgnoredColumn, 1},
      {RuleCsvNoteKind::UnknownMatchRule, 2},
      {RuleCsvNoteKind::EmptyKeywords, 6},
      {RuleCsvNoteKind::UnknownMatchRule, 6},
  };
  std::vector<std::pair<RuleCsvNoteKind, std::size_t>> notes;
  for (const RuleCsvNote& n : read.notes) notes.emplace_back(n.kind, n.line);
  EXPECT_EQ(notes, expected);
  EXPECT_EQ(RuleCsvMessage(read.notes[1], MessageLanguage::Chinese),
            "第 2 行：匹配规则“contains”不是“包含”、“完全匹配”或“消息中包含”，将按完全匹配处理");
}

struct Refused {
  const char* name;
  std::string file;
  RuleCsvRefusalKind kind;
  std::size_t line;
  Text text;  // GBK
};

const std::string kHeader = Utf8(u8"关键词,回复语,匹配规则,匹配码\r\n");
const std::string kRow = Utf8(u8"在吗,在的,包含,1\r\n");

std::vector<Refused> RefusedFiles() {
  using K = RuleCsvRefusalKind;
  const std::string tooLong(257, 'k');
  return {
      {"empty file", "", K::NoHeader, 1, ""},
      {"a byte-order mark alone", "\xEF\xBB\xBF", K::NoHeader, 1, ""},
      {"no header", kRow + kRow, K::NoHeader, 1, ""},
      {"a header and no rows", kHeader + ",,,\r\n\r\n", K::NoRows, 1, ""},
      {"a column missing", Utf8(u8"关键词,回复语,匹配规则\r\n在吗,在的,包含\r\n"), K::MissingColumn,
       1, "匹配码"},
      {"a column twice", Utf8(u8"关键词,回复语,匹配规则,匹配码,Reply\r\n"), K::DuplicateColumn, 1,
       "Reply"},
      {"letters for a code", kHeader + kRow + Utf8(u8"a,b,包含,abc\r\n"), K::BadCode, 3, "abc"},
      {"a fraction", kHeader + Utf8(u8"a,b,包含,1.5\r\n"), K::BadCode, 2, "1.5"},
      {"a number past the range", kHeader + Utf8(u8"a,b,包含,2147483648\r\n"), K::BadCode, 2,
       "2147483648"},
      {"a number far past the range", kHeader + Utf8(u8"a,b,包含,-99999999999\r\n"), K::BadCode, 2,
       "-99999999999"},
      {"an empty code", kHeader + Utf8(u8"a,b,包含, \r\n"), K::BadCode, 2, ""},
      {"a code with letters after digits", kHeader + Utf8(u8"a,b,包含,12abc\r\n"), K::BadCode, 2,
       "12abc"},
      {"an unclosed quote", kHeader + Utf8(u8"\"a\nb\",c,包含,1\r\nd,\"e,包含,1\r\nf,g,包含,1\r\n"),
       K::UnclosedQuote, 4, ""},
      {"a cell without a column", kHeader + kRow + Utf8(u8"你好,欢迎,光临,包含,1\r\n"),
       K::ExtraCell, 3, "1"},
      {"a character outside GBK", kHeader + kRow + Utf8(u8"a,\"笑\n😀\",包含,1\r\n"), K::OutsideGbk,
       4, ""},
      {"a keyword too long", kHeader + tooLong + Utf8(u8",b,包含,1\r\n"), K::TooLong, 2, "关键词"},
      {"a byte that is neither UTF-8 nor GBK", kHeader + kRow + "a\xFF,b,c,1\r\n", K::NotText, 3,
       ""},
      {"a zero byte", kHeader + std::string("a\0b,c,d,1\r\n", 11), K::NotText, 2, ""},
      {"a broken UTF-8 file with a byte-order mark", "\xEF\xBB\xBF" + kHeader + "\xE5\x85,b,c,1",
       K::NotText, 2, ""},
      {"a lone surrogate in UTF-16",
       Encode(Utf8(u8"关键词\t回复语\t匹配规则\t匹配码\r\n"), "utf-16le") +
           std::string("\x00\xD8\x0D\x00", 4),
       K::NotText, 2, ""},
  };
}

TEST(RuleCsvTest, RefusesWithTheLine) {
  for (const Refused& c : RefusedFiles()) {
    const RuleCsvRead read = ReadRuleCsv(c.file);
    ASSERT_FALSE(read.ok()) << c.name;
    EXPECT_TRUE(read.rows.empty()) << c.name;
    EXPECT_EQ(read.refusal->kind, c.kind) << c.name;
    EXPECT_EQ(read.refusal->line, c.line) << c.name;
    EXPECT_EQ(read.refusal->text, c.text) << c.name;
    const Text line = ToText(static_cast<std::uint64_t>(c.line));
    EXPECT_EQ(
        RuleCsvMessage(*read.refusal, MessageLanguage::Chinese).rfind("第 " + line + " 行：", 0),
        0u)
        << c.name;
    EXPECT_EQ(
        RuleCsvMessage(*read.refusal, MessageLanguage::English).rfind("line " + line + ": ", 0), 0u)
        << c.name;
  }
}

TEST(RuleCsvTest, RefusalsCarryWhatStaffNeedToFixTheFile) {
  RuleCsvRead read = ReadRuleCsv(kHeader + kRow + Utf8(u8"a,\"笑\n😀\",包含,1\r\n"));
  ASSERT_FALSE(read.ok());
  EXPECT_EQ(read.refusal->character, U'\U0001F600');
  EXPECT_EQ(RuleCsvMessage(*read.refusal, MessageLanguage::English),
            "line 4: a character (U+1F600) cannot be stored; remove or replace it");

  // Widths come from the table the rows go into.
  read = ReadRuleCsv(kHeader + Utf8(u8"在吗,在的在的,包含,1\r\n"), {256, 7, 12});
  ASSERT_FALSE(read.ok());
  EXPECT_EQ(read.refusal->text, "回复语");
  EXPECT_EQ(read.refusal->width, 7);
  EXPECT_EQ(read.refusal->length, 8u);
  EXPECT_EQ(RuleCsvMessage(*read.refusal, MessageLanguage::Chinese),
            "第 2 行：回复语太长：8 字节，最多 7 字节（一个汉字占 2 字节）");

  read = ReadRuleCsv(kHeader + Utf8(u8"a,b,包含,abc\r\n"));
  EXPECT_EQ(RuleCsvMessage(*read.refusal, MessageLanguage::English),
            "line 2: match code \"abc\" is not a whole number (-2147483648 to 2147483647)");
}

}  // namespace
}  // namespace quillane
