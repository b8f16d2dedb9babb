// The table operations: registry, records, fields, conversions, clearing,
// repairs made when opening, refusals of damaged files, the per-thread error.
#include <gtest/gtest.h>

#include <thread>

#include "table/engine.h"
#include "rules/rule_schema.h"
#include "table_test_util.h"

using namespace quillane;
using namespace quillane::table;
using namespace quillane::table::testing;

namespace {

class Engine : public ::testing::Test {
 protected:
  void TearDown() override { CloseAllTables(); }
  TempDir dir;

  // The stored empty rule table, written and opened as alias.
  bool OpenRules(const Text& name, const Text& alias) {
    return WriteNewTableFile(dir.Path(name), MakeEmptyRuleTable()) &&
           OpenTable(dir.Path(name), alias, kRulePassword);
  }
  void AddRule(const Text& alias, const Text& keyword, std::int32_t code) {
    ASSERT_TRUE(AppendRecord());
    ASSERT_TRUE(WriteField(1, alias, keyword));
    ASSERT_TRUE(WriteField(4, alias, code));
  }
  Text TextAt(const FieldRef& f, const Text& alias = {}) {
    const FieldValue v = ReadField(f, alias);
    const Text* t = std::get_if<Text>(&v.value);
    return t ? *t : Text("<not text>");
  }
};

TEST_F(Engine, StoredRuleTableOpensWithFourFieldsAndNoRecords) {
  ASSERT_TRUE(OpenRules("Database.edb", Gbk(u8"数据库")));
  EXPECT_EQ(RecordCount(), 0);
  const auto fields = TableFields();
  ASSERT_EQ(fields.size(), 4u);
  EXPECT_EQ(fields[0].name, Gbk(u8"关键词"));
  EXPECT_EQ(fields[3].name, Gbk(u8"匹配码"));
  EXPECT_EQ(fields[3].type, 3);
}

TEST_F(Engine, PasswordsAreCheckedBeforeAnyField) {
  ASSERT_TRUE(WriteNewTableFile(dir.Path("p.edb"), MakeEmptyRuleTable()));
  EXPECT_FALSE(OpenTable(dir.Path("p.edb"), "a", ""));
  EXPECT_EQ(LastError(), -78);
  EXPECT_FALSE(OpenTable(dir.Path("p.edb"), "a", "620418538"));
  EXPECT_EQ(LastError(), -78);
  EXPECT_EQ(std::string(LastErrorText()), std::string("未提供数据库访问密码或提供了错误的密码"));
  ASSERT_TRUE(MakeTable(dir.Path("u.EDB"), {Field("n", FieldType::kInt)}, "", "u"));
  CloseTable("u");
  EXPECT_FALSE(OpenTable(dir.Path("u"), "u", "secret"));
  EXPECT_EQ(LastError(), -78);
  EXPECT_TRUE(OpenTable(dir.Path("u"), "u", ""));  // default extension
}

TEST_F(Engine, EmptyTableGoToSucceedsReadGivesEmptyWriteFails) {
  ASSERT_TRUE(OpenRules("r.edb", "r"));
  EXPECT_TRUE(GoToRecord(1));
  const FieldValue v = ReadField(1);
  EXPECT_FALSE(v.IsRuntimeError());
  EXPECT_EQ(std::get<Text>(v.value), "");
  EXPECT_EQ(LastError(), -10);
  EXPECT_EQ(std::get<std::int32_t>(ReadField(4).value), 0);
  EXPECT_FALSE(WriteField(1, "r", Text("x")));
  EXPECT_EQ(LastError(), -60);
}

TEST_F(Engine, RecordsTextsAndGoToClamping) {
  ASSERT_TRUE(OpenRules("r.edb", "r"));
  AddRule("r", "a", 1);
  AddRule("r", "b", 2);
  AddRule("r", "c", 3);
  EXPECT_EQ(RecordCount(), 3);
  ASSERT_TRUE(GoToRecord(2));
  EXPECT_EQ(TextAt(1), "b");
  ASSERT_TRUE(GoToRecord(0));
  EXPECT_EQ(TextAt(1), "a");
  ASSERT_TRUE(GoToRecord(-5));
  EXPECT_EQ(TextAt(Gbk(u8"关键词")), "a");
  ASSERT_TRUE(GoToRecord(13));
  EXPECT_EQ(TextAt(1), "c");
  std::int32_t serial = 0;
  ASSERT_TRUE(ReadRecordSerial(&serial));
  EXPECT_EQ(serial, 3);
}

TEST_F(Engine, TextFieldsAreCutAtTheirWidthAndKeepTheirTerminatorBelowIt) {
  ASSERT_TRUE(MakeTable(dir.Path("t.edb"),
                        {Field("t", FieldType::kText, 10), Field("n", FieldType::kInt)}, "", "t"));
  ASSERT_TRUE(AppendRecord());
  ASSERT_TRUE(WriteField(2, "t", std::int32_t{-7}));
  ASSERT_TRUE(WriteField("T", "t", Text("123456789012")));
  EXPECT_EQ(TextAt("t"), "1234567890");
  ASSERT_TRUE(WriteField(1, "t", Text("123456789")));
  EXPECT_EQ(TextAt(1), "123456789");
  ASSERT_TRUE(WriteField(1, "t", Text("ab")));  // the rest of the width is zeroed
  EXPECT_EQ(TextAt(1), "ab");
  EXPECT_EQ(std::get<std::int32_t>(ReadField(2).value), -7);  // the neighbour is untouched
  // On disk: serial, "ab", zeros to the width, then the integer.
  const Bytes file = ReadAll(dir.Path("t.edb"));
  const std::size_t rec = 116 + 72 * 2;
  ASSERT_EQ(file.size(), rec + 4 + 10 + 4);
  EXPECT_EQ(file[rec + 4], 'a');
  EXPECT_EQ(file[rec + 6], 0);
  EXPECT_EQ(GetInt32(file.data() + rec + 14), -7);
}

// A cut never leaves half a double-byte character: the lead byte goes with
// its trail byte, wherever the width falls.
TEST_F(Engine, TextCutsNeverSplitADoubleByteCharacter) {
  ASSERT_TRUE(MakeTable(dir.Path("c.edb"), {Field("t", FieldType::kText, 5)}, "", "c"));
  ASSERT_TRUE(AppendRecord());
  const Text zhong = Gbk(u8"中"), wen = Gbk(u8"文");
  const struct {
    Text written, stored;
  } cases[] = {
      {zhong + wen + zhong, zhong + wen},  // 6 bytes: the third character would be cut in half
      {"a" + zhong + wen + "b",
       "a" + zhong + wen},                     // 6 bytes: the cut falls after a whole character
      {"ab" + zhong + wen, "ab" + zhong},      // 7 bytes: width 5 ends inside 文
      {zhong + wen + "a", zhong + wen + "a"},  // exactly the width
      {"abcdef", "abcde"},                     // single bytes are cut bytewise
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(WriteField(1, "c", c.written));
    EXPECT_EQ(TextAt(1), c.stored) << c.written.size();
  }
}

TEST_F(Engine, WriteConversionsBetweenNumericTypesAndMismatches) {
  ASSERT_TRUE(MakeTable(
      dir.Path("c.edb"),
      {Field("b", FieldType::kByte), Field("s", FieldType::kShort), Field("i", FieldType::kInt),
       Field("l", FieldType::kLong), Field("f", FieldType::kFloat), Field("d", FieldType::kDouble),
       Field("o", FieldType::kBool), Field("t", FieldType::kDateTime),
       Field("x", FieldType::kText, 4)},
      "", "c"));
  ASSERT_TRUE(AppendRecord());
  ASSERT_TRUE(WriteField("b", "c", std::int32_t{0x1234}));
  EXPECT_EQ(std::get<std::uint8_t>(ReadField("b").value), 0x34);
  ASSERT_TRUE(WriteField("s", "c", std::int64_t{0x12345678}));
  EXPECT_EQ(std::get<std::int16_t>(ReadField("s").value), 0x5678);
  ASSERT_TRUE(WriteField("i", "c", -3.9));
  EXPECT_EQ(std::get<std::int32_t>(ReadField("i").value), -3);
  ASSERT_TRUE(WriteField("i", "c", 1e30));  // saturates instead of undefined behaviour
  ASSERT_TRUE(WriteField("l", "c", std::int16_t{-2}));
  EXPECT_EQ(std::get<std::int64_t>(ReadField("l").value), -2);
  ASSERT_TRUE(WriteField("f", "c", std::int32_t{3}));
  EXPECT_EQ(std::get<float>(ReadField("f").value), 3.0f);
  ASSERT_TRUE(WriteField("d", "c", 2.5f));
  EXPECT_EQ(std::get<double>(ReadField("d").value), 2.5);
  ASSERT_TRUE(WriteField("o", "c", true));
  EXPECT_TRUE(std::get<bool>(ReadField("o").value));
  ASSERT_TRUE(WriteField("t", "c", DateTime{1e9}));
  EXPECT_EQ(std::get<DateTime>(ReadField("t").value).days, 2958465.0);  // limited on reading

  EXPECT_FALSE(WriteField("i", "c", Text("12")));
  EXPECT_EQ(LastError(), -72);
  EXPECT_FALSE(WriteField("x", "c", std::int32_t{1}));
  EXPECT_EQ(LastError(), -72);
  EXPECT_FALSE(WriteField("o", "c", std::int32_t{1}));
  EXPECT_EQ(LastError(), -72);
  EXPECT_FALSE(WriteField("nope", "c", std::int32_t{1}));
  EXPECT_EQ(LastError(), -61);
  EXPECT_FALSE(WriteField(10, "c", std::int32_t{1}));
  EXPECT_EQ(LastError(), -61);
  EXPECT_FALSE(WriteField(1, "other", std::int32_t{1}));
  EXPECT_EQ(LastError(), -66);
  // An omitted value writes the empty value.
  ASSERT_TRUE(WriteField("l", "c"));
  EXPECT_EQ(std::get<std::int64_t>(ReadField("l").value), 0);
}

TEST_F(Engine, ReadFieldMisuseIsARunTimeErrorNotAValue) {
  FieldValue v = ReadField(1);
  EXPECT_TRUE(v.IsRuntimeError());
  EXPECT_EQ(v.runtimeError, std::string(kNoTableRuntimeError));
  ASSERT_TRUE(OpenRules("r.edb", "r"));
  v = ReadField(1, "missing");
  EXPECT_EQ(v.runtimeError, std::string(kNoTableRuntimeError));
  v = ReadField(5, "r");
  EXPECT_EQ(v.runtimeError, std::string(kNoFieldRuntimeError));
  v = ReadField("nope");
  EXPECT_EQ(v.runtimeError, std::string(kNoFieldRuntimeError));
  v = ReadField(FieldRef::FromValue(Value{true}));
  EXPECT_TRUE(v.IsRuntimeError());
  // A numeric value of any type selects by position.
  v = ReadField(FieldRef::FromValue(Value{4.0}));
  EXPECT_FALSE(v.IsRuntimeError());
}

TEST_F(Engine, LookupByAliasThenTitleThenPathAndCurrentTable) {
  ASSERT_TRUE(OpenRules("Database.edb", Gbk(u8"数据库")));
  AddRule(Gbk(u8"数据库"), "one", 1);
  ASSERT_TRUE(OpenRules("Other.edb", "x"));
  EXPECT_EQ(RecordCount(), 0);           // the newest is current
  EXPECT_TRUE(SelectTable("DATABASE"));  // by file title, any case
  EXPECT_EQ(RecordCount(), 1);
  EXPECT_TRUE(SelectTable("X"));
  EXPECT_TRUE(SelectTable(dir.Path("Database.edb")));  // by full path
  EXPECT_EQ(RecordCount(), 1);
  EXPECT_FALSE(SelectTable("nothing"));
  EXPECT_EQ(LastError(), -66);
  EXPECT_EQ(RecordCount(), 1);  // unchanged
  EXPECT_FALSE(SelectTable(""));
  CloseTable("nothing");  // nothing happens
  EXPECT_EQ(LastError(), 0);
  // Opening the same file twice fails; another file may reuse an alias.
  EXPECT_FALSE(OpenTable(dir.Path("Database.edb"), "y", kRulePassword));
  EXPECT_EQ(LastError(), -38);
  ASSERT_TRUE(OpenRules("Third.edb", Gbk(u8"数据库")));
  EXPECT_TRUE(SelectTable(Gbk(u8"数据库")));
  EXPECT_EQ(RecordCount(), 0);  // the newer table
  CloseTable(Gbk(u8"数据库"));
  EXPECT_TRUE(SelectTable(Gbk(u8"数据库")));
  EXPECT_EQ(RecordCount(), 1);  // the older one shows again
  CloseTable();
  EXPECT_EQ(RecordCount(), 0);
  EXPECT_EQ(LastError(), -67);
  EXPECT_FALSE(AppendRecord());
  EXPECT_EQ(LastError(), -67);
}

TEST_F(Engine, ClosingATableBeforeTheCurrentKeepsTheCurrent) {
  ASSERT_TRUE(OpenRules("a.edb", "a"));
  ASSERT_TRUE(OpenRules("b.edb", "b"));
  AddRule("b", "k", 1);
  CloseTable("a");
  EXPECT_EQ(RecordCount(), 1);
}

TEST_F(Engine, AliasRule) {
  ASSERT_TRUE(WriteNewTableFile(dir.Path("r.edb"), MakeEmptyRuleTable()));
  for (const Text& bad :
       {Text("1abc"), Text(".x"), Text("a-b"), Text("a b"), Gbk(u8"１a"), Text("a\xA1\xA1")}) {
    EXPECT_FALSE(OpenTable(dir.Path("r.edb"), bad, kRulePassword)) << bad;
    EXPECT_EQ(LastError(), -24);
  }
  for (const Text& good :
       {Text("_a1"), Gbk(u8"匹配库"), Gbk(u8"Ａｂ１"), Text("\xA4\xA2x"), Text("\xA9\x60")}) {
    EXPECT_TRUE(OpenTable(dir.Path("r.edb"), good, kRulePassword)) << good;
    CloseTable();
  }
}

TEST_F(Engine, ClearTableKeepsTheNextSerial) {
  ASSERT_TRUE(OpenRules("r.edb", "r"));
  for (int k = 0; k < 7; ++k) ASSERT_TRUE(AppendRecord());
  ASSERT_TRUE(ClearTable());
  EXPECT_EQ(RecordCount(), 0);
  EXPECT_EQ(ReadAll(dir.Path("r.edb")).size(), 404u);
  ASSERT_TRUE(AppendRecord());
  std::int32_t serial = 0;
  ASSERT_TRUE(ReadRecordSerial(&serial));
  EXPECT_EQ(serial, 8);
}

TEST_F(Engine, NewTableInANewFileIsCompleteAfterFlushAndClose) {
  // The safe-save path: a complete table beside the real one.
  const Text path = dir.Path("Database.new");
  ASSERT_TRUE(WriteNewTableFile(path, MakeEmptyRuleTable()));
  ASSERT_TRUE(OpenTable(path, "tmp", kRulePassword));
  for (int k = 0; k < 3; ++k) AddRule("tmp", "k" + std::to_string(k), k);
  ASSERT_TRUE(FlushTable("tmp"));
  CloseTable("tmp");
  EXPECT_EQ(ReadAll(path).size(), 404u + 3u * 1300u);
  ASSERT_TRUE(OpenTable(path, "again", kRulePassword));
  EXPECT_EQ(RecordCount(), 3);
  ASSERT_TRUE(GoToRecord(3));
  EXPECT_EQ(TextAt(1), "k2");
  EXPECT_EQ(std::get<std::int32_t>(ReadField(4).value), 2);
}

TEST_F(Engine, OpenRepairsRecordCountsAndTornTails) {
  const Text path = dir.Path("r.edb");
  ASSERT_TRUE(OpenRules("r.edb", "r"));
  AddRule("r", "a", 1);
  AddRule("r", "b", 2);
  CloseTable();
  Bytes file = ReadAll(path);
  // A torn append: half a record more.
  Bytes torn = file;
  torn.resize(file.size() + 600, 0x55);
  WriteAll(path, torn);
  ASSERT_TRUE(OpenTable(path, "r", kRulePassword));
  EXPECT_EQ(RecordCount(), 2);
  CloseTable();
  EXPECT_EQ(ReadAll(path).size(), file.size());
}

TEST_F(Engine, ReadOnlyOpenRefusesAShortFileAndAWritableOneRepairsIt) {
  const Text path = dir.Path("r.edb");
  ASSERT_TRUE(OpenRules("r.edb", "r"));
  AddRule("r", "a", 1);
  AddRule("r", "b", 2);
  CloseTable();
  Bytes file = ReadAll(path);
  file.resize(file.size() - 650);
  WriteAll(path, file);
  EXPECT_FALSE(OpenTable(path, "r", kRulePassword, OpenOptions{true, 1}));
  EXPECT_EQ(LastError(), -48);
  EXPECT_EQ(ReadAll(path).size(), file.size());  // untouched
  ASSERT_TRUE(OpenTable(path, "r", kRulePassword));
  EXPECT_EQ(RecordCount(), 1);
  CloseTable();
  const Bytes repaired = Plain(ReadAll(path), kRulePassword);
  EXPECT_EQ(repaired.size(), 404u + 1300u);
  EXPECT_EQ(GetInt32(repaired.data() + 16), 1);
}

// A reader that must not change the file: the whole records of a short
// file, counted in memory, for reading and sorting; the file keeps its bytes.
TEST_F(Engine, ReadOnlyOpenOfAShortFileCanTakeItsWholeRecordsWithoutWriting) {
  const Text path = dir.Path("r.edb");
  ASSERT_TRUE(OpenRules("r.edb", "r"));
  for (int k = 0; k < 5; ++k) AddRule("r", Text(1, static_cast<char>('a' + k)), k);
  CloseTable();
  Bytes file = ReadAll(path);
  file.resize(file.size() - 2 * 1300 - 10);  // two whole records and a piece of the third gone
  WriteAll(path, file);
  OpenOptions options{true, 1};
  options.acceptShort = true;
  ASSERT_TRUE(OpenTable(path, "r", kRulePassword, options));
  EXPECT_EQ(RecordCount(), 2);
  ASSERT_TRUE(GoToRecord(9));  // clamped to the last whole record
  EXPECT_EQ(TextAt(1, "r"), "b");
  ASSERT_TRUE(SortTable(dir.Path("s.edb"), Gbk(u8"匹配码"), false));
  ASSERT_TRUE(OpenTable(dir.Path("s.edb"), "s", kRulePassword));
  EXPECT_EQ(RecordCount(), 2);
  EXPECT_EQ(TextAt(1, "s"), "b");
  CloseAllTables();
  EXPECT_EQ(ReadAll(path), file);
}

TEST_F(Engine, DamagedHeadersAndDescriptorsAreRefusedWithCodes) {
  const Text path = dir.Path("d.edb");
  const Bytes good =
      BuildTableFile({Field("t", FieldType::kText, 8), Field("n", FieldType::kInt)}, "", 1.0);
  auto tryOpen = [&](Bytes bytes) {
    WriteAll(path, bytes);
    const bool ok = OpenTable(path, "d", "");
    const int code = LastError();
    CloseTable();
    return ok ? 0 : code;
  };
  EXPECT_EQ(tryOpen(good), 0);
  EXPECT_EQ(tryOpen(Bytes(good.begin(), good.begin() + 111)), -22);
  Bytes b = good;
  b[1] = 'X';
  EXPECT_EQ(tryOpen(b), -22);  // magic
  b = good;
  PutInt32(b.data() + 4, 65537);
  EXPECT_EQ(tryOpen(b), -23);
  b = good;
  PutInt32(b.data() + 16, -1);
  EXPECT_EQ(tryOpen(b), -22);
  b = good;
  PutInt32(b.data() + 20, 0);
  EXPECT_EQ(tryOpen(b), -22);
  b = good;
  PutInt32(b.data() + 112, 0);
  EXPECT_EQ(tryOpen(b), -22);
  b = good;
  PutInt32(b.data() + 112, 0x7FFFFFFF);  // would overflow 72 x n
  EXPECT_EQ(tryOpen(b), -22);
  b = good;
  PutInt32(b.data() + 112, 3);  // a descriptor missing
  EXPECT_EQ(tryOpen(b), -22);
  b = good;
  std::fill(b.begin() + 116, b.begin() + 116 + 17, 'a');  // name without terminator
  EXPECT_EQ(tryOpen(b), -22);
  b = good;
  PutInt32(b.data() + 116 + 20, 13);  // type
  EXPECT_EQ(tryOpen(b), -22);
  b = good;
  PutInt32(b.data() + 116 + 28, 0);  // text width
  EXPECT_EQ(tryOpen(b), -22);
  b = good;
  PutInt32(b.data() + 116 + 72 + 24, 14);  // integer at 14..17 of an 16-byte record
  EXPECT_EQ(tryOpen(b), -22);
  b = good;
  PutInt32(b.data() + 116 + 28, 0x7FFFFFF0);  // huge text width
  EXPECT_EQ(tryOpen(b), -22);
}

TEST_F(Engine, ReadRecordsGivesWhatReadFieldGivesInPiecesRangesAndStops) {
  // Records of 1 MB: a few fill a piece of the bulk read, so ten cross pieces.
  for (const Text& password : {Text("pw"), Text()}) {
    const Text path = dir.Path(password.empty() ? "plain.edb" : "protected.edb");
    ASSERT_TRUE(MakeTable(path,
                          {Field("t", FieldType::kText, 1 << 20), Field("m", FieldType::kMemo),
                           Field("n", FieldType::kInt)},
                          password, "b"));
    for (std::int32_t k = 1; k <= 10; ++k) {
      ASSERT_TRUE(AppendRecord());
      ASSERT_TRUE(WriteField(1, "b", Text(static_cast<std::size_t>(k), 'a')));
      ASSERT_TRUE(WriteField(2, "b", Text(static_cast<std::size_t>(600 * k), 'm')));
      ASSERT_TRUE(WriteField(3, "b", k * 11));
    }
    ASSERT_TRUE(GoToRecord(4));
    struct Case {
      std::int64_t first, count, stopAfter, expectFirst, expectCount;
    };
    for (const Case& c : {Case{1, -1, 0, 1, 10}, Case{0, 3, 0, 1, 3}, Case{9, 5, 0, 9, 2},
                          Case{11, -1, 0, 0, 0}, Case{2, -1, 4, 2, 4}}) {
      std::vector<std::int64_t> numbers;
      const bool read = ReadRecords("b", c.first, c.count, [&](const RecordView& r) {
        numbers.push_back(r.Number());
        const std::int64_t n = r.Number();
        EXPECT_EQ(r.Serial(), n);
        EXPECT_EQ(r.TextOf(1), Text(static_cast<std::size_t>(n), 'a'));
        EXPECT_EQ(r.Get(1), Value(Text(static_cast<std::size_t>(n), 'a')));
        EXPECT_EQ(r.Get(2), Value(Text(static_cast<std::size_t>(600 * n), 'm')));
        EXPECT_EQ(r.Get(3), Value(static_cast<std::int32_t>(n * 11)));
        EXPECT_EQ(r.TextOf(3), "");
        EXPECT_TRUE(std::holds_alternative<std::monostate>(r.Get(4)));
        return c.stopAfter == 0 || static_cast<std::int64_t>(numbers.size()) < c.stopAfter;
      });
      ASSERT_TRUE(read) << LastError();
      ASSERT_EQ(static_cast<std::int64_t>(numbers.size()), c.expectCount) << c.first;
      for (std::size_t k = 0; k < numbers.size(); ++k)
        EXPECT_EQ(numbers[k], c.expectFirst + static_cast<std::int64_t>(k));
    }
    // The current record stays where it was.
    EXPECT_EQ(std::get<std::int32_t>(ReadField(3, "b").value), 44);
    CloseTable("b");
  }
  EXPECT_FALSE(ReadRecords("b", 1, -1, [](const RecordView&) { return true; }));
  EXPECT_EQ(LastError(), kTableNotOpen);
}

TEST_F(Engine, LastErrorIsPerThread) {
  ASSERT_TRUE(OpenRules("r.edb", "r"));
  EXPECT_FALSE(SelectTable("none"));
  EXPECT_EQ(LastError(), -66);
  int other = 1;
  std::thread([&] {
    other = LastError();
    EXPECT_TRUE(SelectTable("r"));  // the registry is shared
  }).join();
  EXPECT_EQ(other, 0);
  EXPECT_EQ(LastError(), -66);
}

TEST(ErrorTexts, FixedTextsOfTheCodes) {
  EXPECT_EQ(std::string(ErrorText(0)), "");
  EXPECT_EQ(std::string(ErrorText(-3)), "指定文件未找到");
  EXPECT_EQ(std::string(ErrorText(-12)), "访问文件时产生共享冲突");
  EXPECT_EQ(std::string(ErrorText(-16)), "字段数目必须大于 0 ");
  EXPECT_EQ(std::string(ErrorText(-76)), "表达式类型错误");
  EXPECT_EQ(std::string(ErrorText(-78)), "未提供数据库访问密码或提供了错误的密码");
  EXPECT_EQ(std::string(ErrorText(-80)), "无效的密码文本");
  EXPECT_EQ(std::string(ErrorText(-81)), "");
  EXPECT_EQ(std::string(ErrorText(5)), "");
}

}  // namespace
