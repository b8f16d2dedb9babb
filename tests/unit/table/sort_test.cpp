// SortTable and its quicksort: orders, the order of equal keys, serials,
// kept fields, refusals.
#include <gtest/gtest.h>

#include "table/engine.h"
#include "table/sort.h"
#include "rules/rule_schema.h"
#include "table_test_util.h"

using namespace quillane;
using namespace quillane::table;
using namespace quillane::table::testing;

namespace {

// Sorts letters by the given keys and returns the letters in output order.
std::string Order(const std::vector<int>& keys, bool ascending) {
  std::vector<std::uint32_t> e(keys.size());
  for (std::size_t k = 0; k < e.size(); ++k) e[k] = static_cast<std::uint32_t>(k);
  QuickSort(e, [&](std::uint32_t a, std::uint32_t b) {
    const int c = keys[a] < keys[b] ? -1 : (keys[a] > keys[b] ? 1 : 0);
    return ascending ? c : -c;
  });
  std::string out;
  for (auto i : e) out.push_back(static_cast<char>('A' + i));
  return out;
}

TEST(QuickSort, EqualKeysComeOutInTheQuicksortsOwnOrder) {
  EXPECT_EQ(Order({5, 9, 5}, false), "BCA");
  EXPECT_EQ(Order({1, 1, 1}, false), "BCA");
  EXPECT_EQ(Order({1, 1, 1, 1}, true), "BCDA");
  EXPECT_EQ(Order(std::vector<int>(10, 7), false), "FBCDEAGHIJ");
  EXPECT_EQ(Order({}, true), "");
  EXPECT_EQ(Order({3}, true), "A");
}

TEST(QuickSort, SortsLargeInputsOfEveryShape) {
  for (int shape = 0; shape < 4; ++shape) {
    std::vector<int> keys(5000);
    for (int k = 0; k < 5000; ++k)
      keys[k] = shape == 0 ? k : shape == 1 ? 5000 - k : shape == 2 ? (k * 7919) % 101 : 4;
    std::vector<std::uint32_t> e(keys.size());
    for (std::size_t k = 0; k < e.size(); ++k) e[k] = static_cast<std::uint32_t>(k);
    QuickSort(e, [&](std::uint32_t a, std::uint32_t b) { return keys[a] - keys[b]; });
    std::vector<bool> seen(e.size());
    for (std::size_t k = 0; k < e.size(); ++k) {
      ASSERT_FALSE(seen[e[k]]);
      seen[e[k]] = true;
      if (k) {
        ASSERT_LE(keys[e[k - 1]], keys[e[k]]) << shape;
      }
    }
  }
}

TEST(QuickSort, RankedScansGiveTheSameOrder) {
  // Shapes: ascending, descending, all equal, two values mixed, ten values
  // (the match codes staff enter), and distinct values in a scattered order.
  for (int shape = 0; shape < 6; ++shape) {
    for (std::uint32_t n : {0u, 1u, 2u, 8u, 9u, 17u, 100u, 4000u}) {
      std::vector<std::uint32_t> rank(n);
      std::uint32_t seed = 7;
      for (std::uint32_t k = 0; k < n; ++k) {
        seed = seed * 1103515245u + 12345u;
        const std::uint32_t values[] = {
            k, n - k, 3, (seed >> 16) % 2, (seed >> 16) % 10, (k * 7919u) % n};
        rank[k] = values[shape];
      }
      std::vector<std::uint32_t> plain(n), ranked(n);
      for (std::uint32_t k = 0; k < n; ++k) plain[k] = ranked[k] = k;
      QuickSort(plain, [&](std::uint32_t a, std::uint32_t b) {
        return rank[a] < rank[b] ? -1 : (rank[b] < rank[a] ? 1 : 0);
      });
      QuickSortRanked(ranked, rank);
      ASSERT_EQ(ranked, plain) << "shape " << shape << " size " << n;
    }
  }
}

class Sort : public ::testing::Test {
 protected:
  void TearDown() override { CloseAllTables(); }
  TempDir dir;
  void Rules(const std::vector<std::pair<std::string, int>>& rows) {
    ASSERT_TRUE(WriteNewTableFile(dir.Path("Database.edb"), MakeEmptyRuleTable()));
    ASSERT_TRUE(OpenTable(dir.Path("Database.edb"), "db", kRulePassword));
    for (const auto& [key, code] : rows) {
      ASSERT_TRUE(AppendRecord());
      ASSERT_TRUE(WriteField(1, "db", Text(key)));
      ASSERT_TRUE(WriteField(4, "db", std::int32_t{code}));
    }
  }
  std::string Keys(const Text& alias) {
    std::string out;
    EXPECT_TRUE(SelectTable(alias));
    const std::int32_t n = RecordCount();
    for (std::int32_t r = 1; r <= n; ++r) {
      GoToRecord(r);
      out += std::get<Text>(ReadField(1, alias).value);
    }
    return out;
  }
};

TEST_F(Sort, DescendingMatchCodesWithTiesAndSerials) {
  Rules({{"A", 5}, {"B", 9}, {"C", 5}, {"D", 30}, {"E", -3}, {"F", 0}});
  ASSERT_TRUE(SortTable(dir.Path("Sorting.edb"), Gbk(u8"匹配码"), false));
  ASSERT_TRUE(OpenTable(dir.Path("Sorting.edb"), "s", kRulePassword));
  EXPECT_EQ(RecordCount(), 6);
  const std::string keys = Keys("s");
  EXPECT_EQ(keys.substr(0, 2), "DB");
  EXPECT_EQ(keys.substr(4), "FE");  // -3 after 0
  for (std::int32_t r = 1; r <= 6; ++r) {
    GoToRecord(r);
    std::int32_t serial = 0;
    ASSERT_TRUE(ReadRecordSerial(&serial));
    EXPECT_EQ(serial, r);
  }
  // The header counts N records with next serial N + 1.
  const Bytes plain = Plain(ReadAll(dir.Path("Sorting.edb")), kRulePassword);
  EXPECT_EQ(GetInt32(plain.data() + 16), 6);
  EXPECT_EQ(GetInt32(plain.data() + 20), 7);
  EXPECT_EQ(plain.size(), 404u + 6u * 1300u);
}

TEST_F(Sort, ThreeRulesWithEqualCodesComeOutBCA) {
  Rules({{"A", 1}, {"B", 1}, {"C", 1}});
  ASSERT_TRUE(SortTable(dir.Path("Sorting.edb"), Gbk(u8"匹配码"), false));
  ASSERT_TRUE(OpenTable(dir.Path("Sorting.edb"), "s", kRulePassword));
  EXPECT_EQ(Keys("s"), "BCA");
}

TEST_F(Sort, IntegerKeyDescendingAndTextKeyAscending) {
  Rules({{"b", 10}, {"c", 30}, {"a", 20}});
  ASSERT_TRUE(SortTable(dir.Path("d.edb"), Gbk(u8"匹配码"), false));
  ASSERT_TRUE(SortTable(dir.Path("t.edb"), Gbk(u8"关键词")));
  ASSERT_TRUE(OpenTable(dir.Path("d.edb"), "d", kRulePassword));
  ASSERT_TRUE(OpenTable(dir.Path("t.edb"), "t", kRulePassword));
  EXPECT_EQ(Keys("d"), "cab");
  EXPECT_EQ(Keys("t"), "abc");
  // The source is unchanged and keeps its current record.
  EXPECT_EQ(Keys("db"), "bca");
}

TEST_F(Sort, IntoAFileThisProcessHasOpenFailsWithSharingViolation) {
  Rules({{"A", 1}, {"B", 2}});
  ASSERT_TRUE(SortTable(dir.Path("Sorting.edb"), Gbk(u8"匹配码"), false));
  ASSERT_TRUE(OpenTable(dir.Path("Sorting.edb"), "s", kRulePassword));
  const Bytes before = ReadAll(dir.Path("Sorting.edb"));
  ASSERT_TRUE(SelectTable("db"));
  EXPECT_FALSE(SortTable(dir.Path("Sorting.edb"), Gbk(u8"匹配码"), true));
  EXPECT_EQ(LastError(), -12);
  EXPECT_EQ(ReadAll(dir.Path("Sorting.edb")), before);
  EXPECT_FALSE(SortTable(dir.Path("Database.edb"), Gbk(u8"匹配码"), true));  // itself
  EXPECT_EQ(LastError(), -12);
  EXPECT_EQ(Keys("db"), "AB");
  CloseTable("s");
  EXPECT_TRUE(SelectTable("db"));
  EXPECT_TRUE(SortTable(dir.Path("Sorting.edb"), Gbk(u8"匹配码"), false));
}

TEST_F(Sort, KeysThatCannotSortAndAnEmptyTarget) {
  ASSERT_TRUE(MakeTable(dir.Path("m.edb"),
                        {Field("m", FieldType::kMemo), Field("n", FieldType::kInt)}, "", "m"));
  EXPECT_FALSE(SortTable(dir.Path("o.edb"), "m"));
  EXPECT_EQ(LastError(), -71);
  EXPECT_FALSE(SortTable(dir.Path("o.edb"), "missing"));
  EXPECT_EQ(LastError(), -71);
  EXPECT_FALSE(SortTable("", "n"));
  EXPECT_EQ(LastError(), -3);
  CloseAllTables();
  EXPECT_FALSE(SortTable(dir.Path("o.edb"), "n"));
  EXPECT_EQ(LastError(), -67);
}

TEST_F(Sort, DeletedRecordsKeptFieldsMemosAndSeveralKeys) {
  ASSERT_TRUE(MakeTable(dir.Path("m.edb"),
                        {Field("g", FieldType::kShort), Field("m", FieldType::kMemo),
                         Field("n", FieldType::kInt), Field("x", FieldType::kText, 3)},
                        "secret", "m"));
  const int groups[] = {2, 1, 2, 1};
  const int values[] = {1, 5, 3, 4};
  for (int r = 0; r < 4; ++r) {
    ASSERT_TRUE(AppendRecord());
    ASSERT_TRUE(WriteField("g", "m", static_cast<std::int16_t>(groups[r])));
    ASSERT_TRUE(WriteField("n", "m", std::int32_t{values[r]}));
    ASSERT_TRUE(
        WriteField("m", "m", Text(static_cast<std::size_t>(600 + r), static_cast<char>('a' + r))));
  }
  CloseTable();
  // Mark the third record deleted: a negative serial.
  Bytes plain = Plain(ReadAll(dir.Path("m.edb")), "secret");
  const std::size_t recordSize = 4 + 2 + 4 + 4 + 3;
  PutInt32(plain.data() + 116 + 72 * 4 + 2 * recordSize, -3);
  WriteAll(dir.Path("m.edb"), Plain(plain, "secret"));
  ASSERT_TRUE(OpenTable(dir.Path("m.edb"), "m", "secret"));
  SortOptions o;
  o.keys = {"g", "n"};
  o.ascending = {true, false};
  o.keep = {"n", "nothing", "m"};
  ASSERT_TRUE(SortTable(dir.Path("out"), o));
  ASSERT_TRUE(OpenTable(dir.Path("out"), "o", "secret"));
  const auto fields = TableFields();
  ASSERT_EQ(fields.size(), 2u);
  EXPECT_EQ(fields[0].name, "n");
  EXPECT_EQ(fields[0].offset, 4);
  EXPECT_EQ(fields[1].offset, 8);
  const int expected[] = {5, 4, 3, 1};  // group 1 first, then each group by n descending
  for (int r = 1; r <= 4; ++r) {
    ASSERT_TRUE(GoToRecord(r));
    EXPECT_EQ(std::get<std::int32_t>(ReadField("n").value), expected[r - 1]);
    const int source = expected[r - 1] == 5   ? 1
                       : expected[r - 1] == 4 ? 3
                       : expected[r - 1] == 3 ? 2
                                              : 0;
    EXPECT_EQ(std::get<Text>(ReadField("m").value),
              Text(static_cast<std::size_t>(600 + source), static_cast<char>('a' + source)));
    std::int32_t serial = 0;
    ASSERT_TRUE(ReadRecordSerial(&serial));
    EXPECT_EQ(serial, source == 2 ? -r : r);
  }
}

}  // namespace
