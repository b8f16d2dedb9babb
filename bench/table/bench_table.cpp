// Times the table engine on protected rule tables of 1,000, 10,000 and
// 100,000 records against SQLite holding the same rows, and prints each
// time with the ratio engine / SQLite.
//   open:  OpenTable           | sqlite3_open_v2 and reading the schema
//   walk:  RecordCount, then GoToRecord and ReadField of all four fields per record
//                              | SELECT of all rows and columns
//   sort:  SortTable on the match code, descending, into a new file
//                              | INSERT INTO .. SELECT .. ORDER BY code DESC into a new table
// Usage: bench_table [record counts...]
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "table/engine.h"
#include "rules/rule_schema.h"
#include "../clock.h"

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
    r.code = std::rand() % 100;  // many ties, as match codes have
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

struct Times {
  double open = 1e300, walk = 1e300, sort = 1e300;
};

Times Engine(const std::string& dir, const std::vector<Row>& rows, int repeats) {
  const Text path = dir + "/Database.edb";
  Check(WriteNewTableFile(path, MakeEmptyRuleTable()), "create");
  Check(OpenTable(path, "db", kRulePassword), "open");
  for (const Row& r : rows) {
    Check(AppendRecord(), "append");
    Check(WriteField(1, "db", r.keyword) && WriteField(2, "db", r.reply) &&
              WriteField(3, "db", r.rule) && WriteField(4, "db", r.code),
          "write");
  }
  CloseTable("db");
  Times t;
  std::size_t checksum = 0;
  for (int k = 0; k < repeats; ++k) {
    double s = Now();
    Check(OpenTable(path, "db", kRulePassword), "open");
    t.open = std::min(t.open, Now() - s);
    s = Now();
    const std::int32_t n = RecordCount();
    for (std::int32_t i = 1; i <= n; ++i) {
      GoToRecord(i);
      for (int f = 1; f <= 3; ++f) checksum += std::get<Text>(ReadField(f, "db").value).size();
      checksum += static_cast<std::size_t>(std::get<std::int32_t>(ReadField(4, "db").value));
    }
    t.walk = std::min(t.walk, Now() - s);
    s = Now();
    Check(SortTable(dir + "/Sorting.edb", "\xC6\xA5\xC5\xE4\xC2\xEB", false), "sort");
    t.sort = std::min(t.sort, Now() - s);
    CloseTable("db");
  }
  if (checksum == 1) std::printf(" ");
  return t;
}

Times Sqlite(const std::string& dir, const std::vector<Row>& rows, int repeats) {
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

  Times t;
  std::size_t checksum = 0;
  for (int k = 0; k < repeats; ++k) {
    double s = Now();
    CheckSql(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr), db, "open");
    sqlite3_stmt* q = nullptr;
    CheckSql(
        sqlite3_prepare_v2(db, "SELECT keyword, reply, rule, code FROM rules", -1, &q, nullptr), db,
        "select");
    t.open = std::min(t.open, Now() - s);
    s = Now();
    while (sqlite3_step(q) == SQLITE_ROW) {
      for (int f = 0; f < 3; ++f)
        checksum += static_cast<std::size_t>(sqlite3_column_bytes(q, f)) +
                    (sqlite3_column_text(q, f) != nullptr);
      checksum += static_cast<std::size_t>(sqlite3_column_int(q, 3));
    }
    sqlite3_finalize(q);
    t.walk = std::min(t.walk, Now() - s);
    CheckSql(sqlite3_exec(db, "DROP TABLE IF EXISTS sorted", nullptr, nullptr, nullptr), db,
             "drop");
    s = Now();
    CheckSql(
        sqlite3_exec(
            db,
            "CREATE TABLE sorted(keyword TEXT, reply TEXT, rule TEXT, code INTEGER);"
            "INSERT INTO sorted SELECT keyword, reply, rule, code FROM rules ORDER BY code DESC",
            nullptr, nullptr, nullptr),
        db, "sort");
    t.sort = std::min(t.sort, Now() - s);
    sqlite3_close(db);
  }
  if (checksum == 1) std::printf(" ");
  return t;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> sizes = {1000, 10000, 100000};
  if (argc > 1) {
    sizes.clear();
    for (int k = 1; k < argc; ++k) sizes.push_back(std::atoi(argv[k]));
  }
  std::printf("%-8s %-6s %12s %12s %8s\n", "records", "job", "engine ms", "sqlite ms", "ratio");
  for (int n : sizes) {
    char dir[] = "/tmp/quillane-bench-XXXXXX";
    if (!mkdtemp(dir)) return 1;
    const auto rows = MakeRows(n);
    const int repeats = n >= 100000 ? 2 : 5;
    const Times e = Engine(dir, rows, repeats);
    const Times s = Sqlite(dir, rows, repeats);
    const auto line = [&](const char* job, double a, double b) {
      std::printf("%-8d %-6s %12.3f %12.3f %8.2f\n", n, job, a, b, a / b);
    };
    line("open", e.open, s.open);
    line("walk", e.walk, s.walk);
    line("sort", e.sort, s.sort);
    std::fflush(stdout);
    std::system((std::string("rm -rf ") + dir).c_str());
  }
  std::printf(
      "(best of 5 runs, 2 for 100000 records; engine tables protected with the rule password;\n"
      " sqlite with its default journal and synchronous settings)\n");
  return 0;
}
