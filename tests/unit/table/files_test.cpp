// Files, locks and sharing: the behaviour other processes see. These tests
// also run under Wine against the Win32 file layer.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "table/engine.h"
#include "table/storage.h"
#include "rules/rule_schema.h"
#include "table_test_util.h"

using namespace quillane;
using namespace quillane::table;
using namespace quillane::table::testing;

namespace {

class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(WriteNewTableFile(path, MakeEmptyRuleTable()));
    ASSERT_TRUE(OpenTable(path, "r", kRulePassword));
    for (int k = 0; k < 3; ++k) ASSERT_TRUE(AppendRecord());
  }
  void TearDown() override {
    SetLockWaitTime(0);
    CloseAllTables();
  }
  // Another opening of the table file, as another process would have.
  void OpenOther(File& other) {
    ASSERT_EQ(other.Open(path, Access::kReadWrite, Share::kReadWrite, Disposition::kOpenExisting),
              0);
  }
  std::int64_t RecordAt(int index) { return 116 + 72 * 4 + std::int64_t{index} * 1300; }
  TempDir dir;
  Text path = dir.Path("Database.edb");
};

TEST_F(Files, ARecordLockedElsewhereRefusesReadsAndWritesOfThatRecordOnly) {
  File other;
  OpenOther(other);
  ASSERT_EQ(other.Lock(RecordAt(1), 1), 0);
  ASSERT_TRUE(GoToRecord(2));
  ReadField(1);
  EXPECT_EQ(LastError(), -13);
  EXPECT_FALSE(WriteField(1, "r", Text("x")));
  EXPECT_EQ(LastError(), -13);
  ASSERT_TRUE(GoToRecord(3));
  EXPECT_TRUE(WriteField(1, "r", Text("x")));
  ASSERT_EQ(other.Unlock(RecordAt(1), 1), 0);
  ASSERT_TRUE(GoToRecord(2));
  EXPECT_TRUE(WriteField(1, "r", Text("y")));
  EXPECT_EQ(std::get<Text>(ReadField(1).value), "y");
}

TEST_F(Files, LocksRetryForTheLockWaitTime) {
  File other;
  OpenOther(other);
  ASSERT_EQ(other.Lock(RecordAt(0), 1), 0);
  std::thread release([&] {
    SleepMs(150);
    other.Unlock(RecordAt(0), 1);
  });
  SetLockWaitTime(3000);
  ASSERT_TRUE(GoToRecord(1));
  EXPECT_TRUE(WriteField(1, "r", Text("after the wait")));
  release.join();
  SetLockWaitTime(0);
  ASSERT_EQ(other.Lock(RecordAt(0), 1), 0);
  EXPECT_FALSE(WriteField(1, "r", Text("no wait")));
  EXPECT_EQ(LastError(), -13);
}

TEST_F(Files, RecordCountWaitsForTheHeaderEvenWithoutAWaitTime) {
  File other;
  OpenOther(other);
  ASSERT_EQ(other.Lock(16, 1), 0);
  std::thread release([&] {
    SleepMs(200);
    other.Unlock(16, 1);
  });
  EXPECT_EQ(RecordCount(), 3);
  EXPECT_EQ(LastError(), 0);
  release.join();
  EXPECT_EQ(LockWaitTime(), 0);  // the raised wait was its own
  ASSERT_EQ(other.Lock(16, 1), 0);
  EXPECT_FALSE(AppendRecord());  // appending has no such wait
  EXPECT_EQ(LastError(), -13);
}

TEST_F(Files, ClearAndSortTakeTheWholeFile) {
  File other;
  OpenOther(other);
  ASSERT_EQ(other.Lock(RecordAt(2), 1), 0);
  EXPECT_FALSE(ClearTable());
  EXPECT_EQ(LastError(), -13);
  EXPECT_FALSE(SortTable(dir.Path("s.edb"), Gbk(u8"匹配码")));
  EXPECT_EQ(LastError(), -13);
  ASSERT_EQ(other.Unlock(RecordAt(2), 1), 0);
  EXPECT_EQ(RecordCount(), 3);
  EXPECT_TRUE(SortTable(dir.Path("s.edb"), Gbk(u8"匹配码")));
}

TEST_F(Files, OpenChecksUnderTheWholeFileLockAndLeavesNoTraceWhenRefused) {
  CloseAllTables();
  File other;
  OpenOther(other);
  ASSERT_EQ(other.Lock(RecordAt(1), 1), 0);
  EXPECT_FALSE(OpenTable(path, "r", kRulePassword));
  EXPECT_EQ(LastError(), -13);
  EXPECT_FALSE(SelectTable("r"));
  // With a wait time the open waits for the lock to go.
  std::thread release([&] {
    SleepMs(150);
    other.Unlock(RecordAt(1), 1);
  });
  SetLockWaitTime(3000);
  EXPECT_TRUE(OpenTable(path, "r", kRulePassword));
  release.join();
  EXPECT_EQ(RecordCount(), 3);
}

TEST_F(Files, WholeFileLockNestsAndLeavesOutBytesAlreadyHeld) {
  DataFile mine;
  ASSERT_EQ(mine.file.Open(dir.Path("x.bin"), Access::kReadWrite, Share::kReadWrite,
                           Disposition::kCreateAlways),
            0);
  File other;
  ASSERT_EQ(other.Open(dir.Path("x.bin"), Access::kReadWrite, Share::kReadWrite,
                       Disposition::kOpenExisting),
            0);
  ASSERT_EQ(mine.LockByte(16, 0), 0);
  ASSERT_EQ(mine.LockByte(16, 0), 0);  // nested
  ASSERT_EQ(mine.LockWhole(0), 0);
  ASSERT_EQ(mine.LockWhole(0), 0);
  ASSERT_EQ(mine.LockByte(500, 0), 0);  // inside the whole-file lock: nothing more
  EXPECT_EQ(other.Lock(100, 1), -13);
  EXPECT_EQ(other.Lock(16, 1), -13);
  ASSERT_EQ(mine.UnlockByte(500), 0);
  ASSERT_EQ(mine.UnlockWhole(), 0);
  EXPECT_EQ(other.Lock(100, 1), -13);  // still one level deep
  ASSERT_EQ(mine.UnlockWhole(), 0);
  EXPECT_EQ(other.Lock(100, 1), 0);
  EXPECT_EQ(other.Lock(16, 1), -13);  // the single byte stays held
  ASSERT_EQ(mine.UnlockByte(16), 0);
  EXPECT_EQ(other.Lock(16, 1), -13);
  ASSERT_EQ(mine.UnlockByte(16), 0);
  EXPECT_EQ(other.Lock(16, 1), 0);
  EXPECT_EQ(mine.UnlockByte(16), -29);  // not held
}

TEST_F(Files, ShareModesAreHonouredWithinTheProcess) {
  CloseAllTables();
  // Exclusive: no other opening at all.
  ASSERT_TRUE(OpenTable(path, "x", kRulePassword, OpenOptions{false, 4}));
  File other;
  EXPECT_EQ(other.Open(path, Access::kRead, Share::kReadWrite, Disposition::kOpenExisting), -12);
  CloseAllTables();
  // Others may not write: a writer is refused, a reader is let in, but not
  // one that itself denies writing, since this table writes.
  ASSERT_TRUE(OpenTable(path, "x", kRulePassword, OpenOptions{false, 3}));
  EXPECT_EQ(other.Open(path, Access::kReadWrite, Share::kReadWrite, Disposition::kOpenExisting),
            -12);
  EXPECT_EQ(other.Open(path, Access::kRead, Share::kDenyWrite, Disposition::kOpenExisting), -12);
  EXPECT_EQ(other.Open(path, Access::kRead, Share::kReadWrite, Disposition::kOpenExisting), 0);
  other.Close();
  CloseAllTables();
  // Shared read-write: anyone.
  ASSERT_TRUE(OpenTable(path, "x", kRulePassword));
  EXPECT_EQ(other.Open(path, Access::kReadWrite, Share::kReadWrite, Disposition::kOpenExisting), 0);
  other.Close();
  // An opening elsewhere that denies writing keeps a read-write open out.
  CloseAllTables();
  ASSERT_EQ(other.Open(path, Access::kRead, Share::kDenyWrite, Disposition::kOpenExisting), 0);
  EXPECT_FALSE(OpenTable(path, "x", kRulePassword));
  EXPECT_EQ(LastError(), -12);
  EXPECT_TRUE(OpenTable(path, "x", kRulePassword, OpenOptions{true, 3}));
  EXPECT_EQ(RecordCount(), 3);
  EXPECT_FALSE(AppendRecord());  // read-only
}

TEST_F(Files, WriteNewTableFileIsRefusedWhileTheFileIsOpen) {
  EXPECT_FALSE(WriteNewTableFile(path, MakeEmptyRuleTable()));
  EXPECT_EQ(LastError(), -12);
  EXPECT_EQ(RecordCount(), 3);
  EXPECT_FALSE(OpenTable(dir.Path("missing.edb"), "m", kRulePassword));
  EXPECT_EQ(LastError(), -3);
  EXPECT_FALSE(OpenTable("", "m", kRulePassword));
  EXPECT_EQ(LastError(), -3);
}

// A whole new table takes the place of one that another program reads. A
// reader that shares deleting (as every opening of this engine that lets
// others read does) keeps reading the old file; one that does not holds the
// name until it lets go, which the replacement waits for, up to its bound.
TEST_F(Files, ANewTableTakesThePlaceOfOneThatOthersRead) {
  CloseAllTables();
  const Bytes old = ReadAll(path), fresh = MakeEmptyRuleTable();
  const Text next = dir.Path("next.edb");
  for (Share share : {Share::kReadWrite, Share::kDenyWrite}) {
    WriteAll(path, old);
    WriteAll(next, fresh);
    File reader;
    ASSERT_EQ(reader.Open(path, Access::kRead, share, Disposition::kOpenExisting), 0);
    ASSERT_TRUE(ReplaceTableFile(next, path, 0)) << LastError();
    EXPECT_EQ(ReadAll(path), fresh);
    EXPECT_FALSE(Exists(next));
    std::int64_t size = 0;
    ASSERT_EQ(reader.Size(&size), 0);
    EXPECT_EQ(size, static_cast<std::int64_t>(old.size()));  // still the old file
    reader.Close();
    EXPECT_FALSE(Exists(ReplacedTablePath(path)));
  }

  // Held without delete sharing: refused with a sharing violation when it
  // is not let go in time; nothing changes.
  WriteAll(path, old);
  WriteAll(next, fresh);
  File holder;
  ASSERT_EQ(holder.Open(path, Access::kRead, Share::kDenyRead, Disposition::kOpenExisting), 0);
  EXPECT_FALSE(ReplaceTableFile(next, path, 0));
  EXPECT_EQ(LastError(), -12);
  std::thread release([&] {
    SleepMs(150);
    holder.Close();
  });
  EXPECT_TRUE(ReplaceTableFile(next, path, 5000)) << LastError();
  release.join();
  EXPECT_EQ(ReadAll(path), fresh);

  // A read-only table is neither opened for writing nor replaced.
  WriteAll(path, old);
  WriteAll(next, fresh);
  SetReadOnly(path, true);
  File writer;
  EXPECT_EQ(writer.Open(path, Access::kReadWrite, Share::kReadWrite, Disposition::kOpenExisting),
            -6);
  EXPECT_EQ(writer.Open(path, Access::kRead, Share::kReadWrite, Disposition::kOpenExisting), 0);
  writer.Close();
  EXPECT_FALSE(ReplaceTableFile(next, path, 0));
  EXPECT_EQ(LastError(), -6);
  SetReadOnly(path, false);
  EXPECT_EQ(ReadAll(path), old);
  EXPECT_EQ(ReadAll(next), fresh);
}

TEST_F(Files, ChineseFileNamesAreUsable) {
  const Text name = dir.Path(Gbk(u8"规则表.edb"));
  ASSERT_TRUE(WriteNewTableFile(name, MakeEmptyRuleTable()));
  ASSERT_TRUE(OpenTable(name, "", kRulePassword));
  EXPECT_TRUE(SelectTable(Gbk(u8"规则表")));  // by file title
  EXPECT_EQ(RecordCount(), 0);
}

}  // namespace
