// Times the table engine on protected rule tables of 1,000, 10,000 and
// 100,000 records against SQLite holding the same rows, in the same run, and
// prints min and median of several repetitions with the ratios engine / SQLite.
// Match codes are 0 to 9, as staff enter them: many ties.
//   open:        OpenTable                | sqlite3_open_v2 and preparing the scan
//   walk:        RecordCount, then GoToRecord and ReadField of all four fields
//                per record (the record-by-record API)
//   scan:        ReadRecords over all records, the text fields as views and the
//                match code as a value
//   scan values: ReadRecords, every field as the value ReadField gives
//                                         | SELECT of all rows and columns (for all three)
//   sort:        SortTable on the match code, descending, into a new file
//                | INSERT INTO .. SELECT .. ORDER BY code DESC into a new table,
//                  with synchronous=OFF and with synchronous=FULL
//   sort+flush:  SortTable, then the new file opened and flushed to disk
// Protected tables are scrambled with page streams that the engine keeps per
// password once generated. "cold" runs start without them (ForgetKeystreams),
// "warm" runs find them kept from the run before.
// The breakdown shows what a cold scan is made of: generating the streams of
// every page of the file, reading the file's bytes, descrambling them with
// kept streams.
// Usage: bench_table [record counts...]
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../clock.h"
#include "rules/rule_schema.h"
#include "table/engine.h"
#include "table/keystream.h"

using namespace quillane;
using namespace quillane::table;

namespace {

double Now() { return bench::NowMillis(); }

struct Row {
  Text keyword, reply, rule;
  std::int32_t code;
};

std::vector<Row> MakeRows(int n) {
  std::vector<Row> rows;
  std::srand(42);
  // GBK text: "关键词" and "回复语" repeated, with a number.
  const Text word = "\xB9\xD8\xBC\xFC\xB4\xCA";
  const Text reply = "\xBB\xD8\xB8\xB4\xD3\xEF";
  for (int i = 0; i < n; ++i) {
    Row r;
    r.keyword = word + std::to_string(i) + "|" + word + std::to_string(i * 7);
    r.reply.clear();
    for (int k = 0; k < 12; ++k) r.reply += reply;
    r.reply += std::to_string(i);
    r.rule = (i % 3) ? "\xB0\xFC\xBA\xAC" : "\xCD\xEA\xC8\xAB\xC6\xA5\xC5\xE4";
    r.code = std::rand() % 10;  // match codes 0 to 9: many ties
    rows.push_back(r);
  }
  return rows;
}

void Check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "bench_table: %s failed: %d\n", what, LastError());
    std::exit(1);
  }
}

void CheckSql(int rc, sqlite3* db, const char* what) {
  if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
    std::fprintf(stderr, "bench_table: sqlite %s: %s\n", what, sqlite3_errmsg(db));
    std::exit(1);
  }
}

// The times of one job over the repetitions.
struct Samples {
  std::vector<double> ms;
  void Add(double t) { ms.push_back(t); }
  double Min() const { return *std::min_element(ms.begin(), ms.end()); }
  double Median() const {
    std::vector<double> s = ms;
    std::sort(s.begin(), s.end());
    const std::size_t n = s.size();
    return n % 2 ? s[n / 2] : (s[n / 2 - 1] + s[n / 2]) / 2;
  }
};

template <typename Job>
double Timed(Job job) {
  const double s = Now();
  job();
  return Now() - s;
}

std::size_t checksum = 0;  // keeps the reads from being optimised away

const char kCodeField[] = "\xC6\xA5\xC5\xE4\xC2\xEB";  // 匹配码

struct EngineTimes {
  Samples open, walk, scanCold, scanWarm, valuesWarm, sortCold, sortWarm, sortFlush;
  // Breakdown of a cold scan.
  Samples streams, rawRead, descramble;
  std::int64_t fileBytes = 0;
};

void BuildEngineTable(const Text& path, const std::vector<Row>& rows) {
  Check(WriteNewTableFile(path, MakeEmptyRuleTable()), "create");
  Check(OpenTable(path, "db", kRulePassword), "open");
  for (const Row& r : rows) {
    Check(AppendRecord(), "append");
    Check(WriteField(1, "db", r.keyword) && WriteField(2, "db", r.reply) &&
              WriteField(3, "db", r.rule) && WriteField(4, "db", r.code),
          "write");
  }
  CloseTable("db");
}

void Scan(bool values) {
  Check(ReadRecords("db", 1, -1,
                    [&](const RecordView& r) {
                      if (values) {
                        for (int f = 1; f <= 3; ++f) checksum += std::get<Text>(r.Get(f)).size();
                      } else {
                        for (int f = 1; f <= 3; ++f) checksum += r.TextOf(f).size();
                      }
                      checksum += static_cast<std::size_t>(std::get<std::int32_t>(r.Get(4)));
                      return true;
                    }),
        "scan");
}

// The parts of a cold scan, timed apart: the page streams of the whole file,
// the file's bytes read raw, and descrambling them with the streams kept.
void Breakdown(const std::string& path, EngineTimes& t) {
  const int fd = ::open(path.c_str(), O_RDONLY);
  if (fd < 0) std::exit(1);
  t.fileBytes = ::lseek(fd, 0, SEEK_END);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(t.fileBytes));
  const std::int64_t pages = (t.fileBytes + kStreamPageSize - 1) / kStreamPageSize;
  PageStreams streams(kRulePassword);
  t.streams.Add(Timed([&] { streams.Prepare(0, pages - 1); }));
  t.rawRead.Add(Timed([&] {
    std::size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t r =
          ::pread(fd, bytes.data() + got, bytes.size() - got, static_cast<off_t>(got));
      if (r <= 0) std::exit(1);
      got += static_cast<std::size_t>(r);
    }
  }));
  ::close(fd);
  PageCipher cipher(std::make_shared<PageStreams>(kRulePassword));
  cipher.Apply(0, bytes.data(), bytes.size());  // generates the streams
  t.descramble.Add(Timed([&] { cipher.Apply(0, bytes.data(), bytes.size()); }));
  checksum += bytes[bytes.size() / 2];
}

EngineTimes Engine(const std::string& dir, const std::vector<Row>& rows, int repeats) {
  const Text path = dir + "/Database.edb";
  const Text sorted = dir + "/Sorting.edb";
  BuildEngineTable(path, rows);
  EngineTimes t;
  for (int k = 0; k < repeats; ++k) {
    ForgetKeystreams();
    t.open.Add(Timed([&] { Check(OpenTable(path, "db", kRulePassword), "open"); }));
    t.scanCold.Add(Timed([&] { Scan(false); }));
    t.scanWarm.Add(Timed([&] { Scan(false); }));
    t.valuesWarm.Add(Timed([&] { Scan(true); }));
    t.walk.Add(Timed([&] {
      const std::int32_t n = RecordCount();
      for (std::int32_t i = 1; i <= n; ++i) {
        GoToRecord(i);
        for (int f = 1; f <= 3; ++f) checksum += std::get<Text>(ReadField(f, "db").value).size();
        checksum += static_cast<std::size_t>(std::get<std::int32_t>(ReadField(4, "db").value));
      }
    }));
    ForgetKeystreams();
    t.sortCold.Add(Timed([&] { Check(SortTable(sorted, kCodeField, false), "sort"); }));
    t.sortWarm.Add(Timed([&] { Check(SortTable(sorted, kCodeField, false), "sort"); }));
    t.sortFlush.Add(Timed([&] {
      Check(SortTable(sorted, kCodeField, false), "sort");
      Check(OpenTable(sorted, "sorted", kRulePassword), "open sorted");
      Check(FlushTable("sorted"), "flush");
      CloseTable("sorted");
    }));
    CloseTable("db");
    Breakdown(path, t);
  }
  return t;
}

struct SqliteTimes {
  Samples open, walk, sortOff, sortFull;
};

void SqliteSort(sqlite3* db, const char* sync, Samples& into) {
  CheckSql(sqlite3_exec(db, sync, nullptr, nullptr, nullptr), db, "pragma");
  CheckSql(sqlite3_exec(db, "DROP TABLE IF EXISTS sorted", nullptr, nullptr, nullptr), db, "drop");
  into.Add(Timed([&] {
    CheckSql(
        sqlite3_exec(
            db,
            "CREATE TABLE sorted(keyword TEXT, reply TEXT, rule TEXT, code INTEGER);"
            "INSERT INTO sorted SELECT keyword, reply, rule, code FROM rules ORDER BY code DESC",
            nullptr, nullptr, nullptr),
        db, "sort");
  }));
}

SqliteTimes Sqlite(const std::string& dir, const std::vector<Row>& rows, int repeats) {
  const std::string path = dir + "/rules.db";
  sqlite3* db = nullptr;
  CheckSql(sqlite3_open(path.c_str(), &db), db, "open");
  CheckSql(sqlite3_exec(db, "CREATE TABLE rules(keyword TEXT, reply TEXT, rule TEXT, code INTEGER)",
                        nullptr, nullptr, nullptr),
           db, "create");
  CheckSql(sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr), db, "begin");
  sqlite3_stmt* ins = nullptr;
  CheckSql(sqlite3_prepare_v2(db, "INSERT INTO rules VALUES(?,?,?,?)", -1, &ins, nullptr), db,
           "prepare");
  for (const Row& r : rows) {
    sqlite3_bind_text(ins, 1, r.keyword.data(), static_cast<int>(r.keyword.size()), SQLITE_STATIC);
    sqlite3_bind_text(ins, 2, r.reply.data(), static_cast<int>(r.reply.size()), SQLITE_STATIC);
    sqlite3_bind_text(ins, 3, r.rule.data(), static_cast<int>(r.rule.size()), SQLITE_STATIC);
    sqlite3_bind_int(ins, 4, r.code);
    CheckSql(sqlite3_step(ins), db, "insert");
    sqlite3_reset(ins);
  }
  sqlite3_finalize(ins);
  CheckSql(sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr), db, "commit");
  sqlite3_close(db);

  SqliteTimes t;
  for (int k = 0; k < repeats; ++k) {
    sqlite3_stmt* q = nullptr;
    t.open.Add(Timed([&] {
      CheckSql(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), db, "open");
      CheckSql(
          sqlite3_prepare_v2(db, "SELECT keyword, reply, rule, code FROM rules", -1, &q, nullptr),
          db, "select");
    }));
    t.walk.Add(Timed([&] {
      while (sqlite3_step(q) == SQLITE_ROW) {
        for (int f = 0; f < 3; ++f)
          checksum += static_cast<std::size_t>(sqlite3_column_bytes(q, f)) +
                      (sqlite3_column_text(q, f) != nullptr);
        checksum += static_cast<std::size_t>(sqlite3_column_int(q, 3));
      }
    }));
    sqlite3_finalize(q);
    SqliteSort(db, "PRAGMA synchronous=OFF", t.sortOff);
    SqliteSort(db, "PRAGMA synchronous=FULL", t.sortFull);
    sqlite3_close(db);
  }
  return t;
}

void Line(int n, const char* job, const Samples& e, const Samples& s) {
  std::printf("%-8d %-22s %10.3f %10.3f %10.3f %10.3f %7.2f %7.2f\n", n, job, e.Min(), e.Median(),
              s.Min(), s.Median(), e.Min() / s.Min(), e.Median() / s.Median());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes = {1000, 10000, 100000};
  if (argc > 1) {
    sizes.clear();
    for (int k = 1; k < argc; ++k) sizes.push_back(std::atoi(argv[k]));
  }
  std::printf("%-8s %-22s %10s %10s %10s %10s %7s %7s\n", "records", "engine job | sqlite job",
              "eng min", "eng med", "sql min", "sql med", "min x", "med x");
  for (int n : sizes) {
    char dir[] = "/tmp/quillane-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const auto rows = MakeRows(n);
    const int repeats = n >= 100000 ? 3 : 5;
    const EngineTimes e = Engine(dir, rows, repeats);
    const SqliteTimes s = Sqlite(dir, rows, repeats);
    Line(n, "open", e.open, s.open);
    Line(n, "walk record-by-record", e.walk, s.walk);
    Line(n, "scan cold", e.scanCold, s.walk);
    Line(n, "scan warm", e.scanWarm, s.walk);
    Line(n, "scan values warm", e.valuesWarm, s.walk);
    Line(n, "sort cold | sync off", e.sortCold, s.sortOff);
    Line(n, "sort warm | sync off", e.sortWarm, s.sortOff);
    Line(n, "sort cold | sync full", e.sortCold, s.sortFull);
    Line(n, "sort warm | sync full", e.sortWarm, s.sortFull);
    Line(n, "sort+flush | sync full", e.sortFlush, s.sortFull);
    std::printf(
        "%-8d breakdown of a cold scan of %.1f MB: page streams %.1f ms, raw read %.1f ms, "
        "descrambling %.1f ms (min)\n",
        n, static_cast<double>(e.fileBytes) / 1e6, e.streams.Min(), e.rawRead.Min(),
        e.descramble.Min());
    std::fflush(stdout);
    std::system((std::string("rm -rf ") + dir).c_str());
  }
  std::printf(
      "(%d repetitions, 3 for 100000 records; engine tables protected with the rule password,\n"
      " sorts not flushed unless said; sqlite with its default journal, synchronous as said)\n",
      5);
  if (checksum == 1) std::printf(" ");
  return 0;
}
