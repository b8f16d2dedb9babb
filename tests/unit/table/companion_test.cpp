// Memo and byte-array values in companion block chains: allocation, reuse,
// the free block list, trimming, and damaged companions.
#include <gtest/gtest.h>

#include <algorithm>

#include "table/engine.h"
#include "table_test_util.h"

using namespace quillane;
using namespace quillane::table;
using namespace quillane::table::testing;

namespace {

class Companion : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(MakeTable(path, {Field("m", FieldType::kMemo), Field("a", FieldType::kByteArray)},
                          "", "c"));
    ASSERT_TRUE(AppendRecord());
  }
  void TearDown() override { CloseAllTables(); }
  CompanionHeader Header() {
    const Bytes c = ReadAll(CompanionPath(path));
    CompanionHeader h;
    if (c.size() >= 32) ParseCompanionHeader(c.data(), h);
    return h;
  }
  BlockHead Head(std::int32_t block) {
    const Bytes c = ReadAll(CompanionPath(path));
    BlockHead h;
    ParseBlockHead(c.data() + 512 * block, h);
    return h;
  }
  std::int32_t FirstBlock(int field) {
    const Bytes t = ReadAll(path);
    return GetInt32(t.data() + 116 + 72 * 2 + 4 + 4 * field);
  }
  TempDir dir;
  Text path = dir.Path("c.edb");
};

TEST_F(Companion, ValuesSpanBlocksOf500Bytes) {
  EXPECT_EQ(ReadAll(CompanionPath(path)).size(), 512u);
  ASSERT_TRUE(WriteField("m", "c", Text(501, 'x')));
  EXPECT_EQ(FirstBlock(0), 1);
  EXPECT_EQ(Header().blockCount, 3);
  EXPECT_EQ(Head(1).used, 500);
  EXPECT_EQ(Head(1).next, 2);
  EXPECT_EQ(Head(2).used, 1);
  EXPECT_EQ(Head(2).previous, 1);
  EXPECT_EQ(std::get<Text>(ReadField("m").value), Text(501, 'x'));
  // A byte array keeps zero bytes; a memo stops at the first one.
  Bytes bytes = {1, 0, 2, 0};
  ASSERT_TRUE(WriteField("a", "c", bytes));
  EXPECT_EQ(std::get<Bytes>(ReadField("a").value), bytes);
  ASSERT_TRUE(WriteField("m", "c", Text("ab\0cd", 5)));
  EXPECT_EQ(std::get<Text>(ReadField("m").value), "ab");
}

TEST_F(Companion, EmptyValueFreesTheChainAndTrimsTheFile) {
  ASSERT_TRUE(WriteField("m", "c", Text(1200, 'x')));  // blocks 1-3
  ASSERT_TRUE(WriteField("m", "c", Text()));
  EXPECT_EQ(FirstBlock(0), 0);
  EXPECT_EQ(Header().blockCount, 1);
  EXPECT_EQ(Header().freeCount, 0);
  EXPECT_EQ(Header().firstFree, 0);
  EXPECT_EQ(ReadAll(CompanionPath(path)).size(), 512u);
  EXPECT_EQ(std::get<Text>(ReadField("m").value), "");
}

TEST_F(Companion, ShorterValueKeepsItsFirstBlocksAndFreesTheRest) {
  ASSERT_TRUE(WriteField("m", "c", Text(1500, 'x')));  // blocks 1, 2, 3
  ASSERT_TRUE(WriteField("a", "c", Bytes(10, 7)));     // block 4 keeps the end in use
  ASSERT_TRUE(WriteField("m", "c", Text(600, 'y')));   // keeps 1, 2; frees 3
  EXPECT_EQ(FirstBlock(0), 1);
  EXPECT_EQ(Head(2).next, 0);
  CompanionHeader h = Header();
  EXPECT_EQ(h.blockCount, 5);
  EXPECT_EQ(h.freeCount, 1);
  EXPECT_EQ(h.firstFree, 3);
  EXPECT_EQ(Head(3).used, 0);
  // The free block is taken before the file grows.
  ASSERT_TRUE(WriteField("a", "c", Bytes(700, 9)));  // block 4, then free block 3
  h = Header();
  EXPECT_EQ(h.blockCount, 5);
  EXPECT_EQ(h.freeCount, 0);
  EXPECT_EQ(Head(4).next, 3);
  EXPECT_EQ(std::get<Bytes>(ReadField("a").value), Bytes(700, 9));
  EXPECT_EQ(std::get<Text>(ReadField("m").value), Text(600, 'y'));
  // Freeing the array's chain, which ends the file, shrinks it to the last block in use.
  ASSERT_TRUE(WriteField("a", "c", Bytes()));
  h = Header();
  EXPECT_EQ(h.blockCount, 3);
  EXPECT_EQ(h.freeCount, 0);
  EXPECT_EQ(h.firstFree, 0);
  EXPECT_EQ(ReadAll(CompanionPath(path)).size(), 3u * 512u);
  EXPECT_EQ(std::get<Text>(ReadField("m").value), Text(600, 'y'));
}

TEST_F(Companion, ProtectedCompanionIsScrambledPastItsMagic) {
  CloseAllTables();
  const Text p = dir.Path("s.edb");
  ASSERT_TRUE(MakeTable(p, {Field("m", FieldType::kMemo)}, "pw", "s"));
  ASSERT_TRUE(AppendRecord());
  ASSERT_TRUE(WriteField(1, "s", Text(700, 'q')));
  const Bytes raw = ReadAll(CompanionPath(p));
  EXPECT_EQ(std::string(raw.begin(), raw.begin() + 4), "WEDT");
  const std::string run(16, 'q');
  EXPECT_EQ(std::search(raw.begin(), raw.end(), run.begin(), run.end()), raw.end());
  const Bytes plain = Plain(raw, "pw");
  EXPECT_EQ(GetInt32(plain.data() + 16), 3);
  EXPECT_EQ(std::count(plain.begin(), plain.end(), 'q'), 700);
}

TEST_F(Companion, DamagedChainsFailInsteadOfLoopingOrReadingPastTheFile) {
  ASSERT_TRUE(WriteField("m", "c", Text(1200, 'x')));  // blocks 1, 2, 3
  CloseAllTables();
  Bytes c = ReadAll(CompanionPath(path));
  PutInt32(c.data() + 3 * 512 + 4, 1);  // block 3 leads back to block 1
  WriteAll(CompanionPath(path), c);
  ASSERT_TRUE(OpenTable(path, "c", ""));
  FieldValue v = ReadField("m");
  EXPECT_FALSE(v.IsRuntimeError());
  EXPECT_EQ(LastError(), -59);
  EXPECT_EQ(std::get<Text>(v.value), "");
  EXPECT_FALSE(WriteField("m", "c", Text("new")));
  EXPECT_EQ(LastError(), -59);
  CloseAllTables();
  PutInt32(c.data() + 3 * 512 + 4, 999);  // beyond the companion
  WriteAll(CompanionPath(path), c);
  ASSERT_TRUE(OpenTable(path, "c", ""));
  ReadField("m");
  EXPECT_EQ(LastError(), -59);
  CloseAllTables();
  PutInt32(c.data() + 3 * 512 + 4, 0);
  PutInt32(c.data() + 3 * 512 + 8, 9999);  // used bytes beyond a block
  WriteAll(CompanionPath(path), c);
  ASSERT_TRUE(OpenTable(path, "c", ""));
  ReadField("m");
  EXPECT_EQ(LastError(), -59);
}

TEST_F(Companion, DamagedFreeListIsDroppedNotFollowed) {
  ASSERT_TRUE(WriteField("m", "c", Text(1200, 'x')));
  ASSERT_TRUE(WriteField("a", "c", Bytes(10, 1)));
  ASSERT_TRUE(WriteField("m", "c", Text(10, 'y')));  // frees 2 and 3
  EXPECT_EQ(Header().firstFree, 2);
  CloseAllTables();
  Bytes c = ReadAll(CompanionPath(path));
  PutInt32(c.data() + 2 * 512 + 8, 44);  // the free head claims to be in use
  WriteAll(CompanionPath(path), c);
  ASSERT_TRUE(OpenTable(path, "c", ""));
  ASSERT_TRUE(WriteField("m", "c", Text(1100, 'z')));  // needs two more blocks
  EXPECT_EQ(std::get<Text>(ReadField("m").value), Text(1100, 'z'));
  EXPECT_EQ(std::get<Bytes>(ReadField("a").value), Bytes(10, 1));
}

TEST_F(Companion, OpenChecksTheCompanion) {
  CloseAllTables();
  const Text cp = CompanionPath(path);
  const Bytes good = ReadAll(cp);
  auto tryOpen = [&](const Bytes& c, bool readOnly = false) {
    WriteAll(cp, c);
    const bool ok = OpenTable(path, "c", "", OpenOptions{readOnly, 1});
    const int code = LastError();
    CloseAllTables();
    return ok ? 0 : code;
  };
  EXPECT_EQ(tryOpen(good), 0);
  Remove(cp);
  EXPECT_FALSE(OpenTable(path, "c", ""));
  EXPECT_EQ(LastError(), -35);
  EXPECT_EQ(tryOpen(Bytes(good.begin(), good.begin() + 31)), -35);
  Bytes b = good;
  b[3] = 'X';
  EXPECT_EQ(tryOpen(b), -35);
  b = good;
  PutInt32(b.data() + 16, 0);
  EXPECT_EQ(tryOpen(b), -35);
  b = good;
  PutInt32(b.data() + 24, 1);  // first free block outside the one block
  EXPECT_EQ(tryOpen(b), -35);
  b = good;
  PutInt32(b.data() + 4, 65535);
  EXPECT_EQ(tryOpen(b), -36);
  // A block count beyond the file: read-only refuses, writable repairs.
  b = good;
  PutInt32(b.data() + 16, 4);
  EXPECT_EQ(tryOpen(b, true), -37);
  EXPECT_EQ(tryOpen(b), 0);
  EXPECT_EQ(Header().blockCount, 1);
  // A table without memo or byte-array fields never looks for a companion.
  const Text plainTable = dir.Path("p.edb");
  ASSERT_TRUE(MakeTable(plainTable, {Field("n", FieldType::kInt)}, "", "p"));
  EXPECT_FALSE(Exists(CompanionPath(plainTable)));
}

TEST_F(Companion, ClearTableResetsTheCompanion) {
  ASSERT_TRUE(WriteField("m", "c", Text(2000, 'x')));
  ASSERT_TRUE(ClearTable());
  EXPECT_EQ(ReadAll(CompanionPath(path)).size(), 512u);
  EXPECT_EQ(Header().blockCount, 1);
  ASSERT_TRUE(AppendRecord());
  ASSERT_TRUE(WriteField("m", "c", Text(20, 'n')));
  EXPECT_EQ(FirstBlock(0), 1);
}

}  // namespace
