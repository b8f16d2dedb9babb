// Reply lookup on rule sets of 1,000, 10,000 and 100,000 shop-like rules of
// all three match rules (four in ten "包含", four in ten "消息中包含", two
// "完全匹配"), each way timed on the same customer texts (half of them hit a
// rule, half miss), min and median of five repetitions, in microseconds per
// request:
//   request path   MatchCustomerText, as a client's request is answered: the
//                  rules as loaded from the sorted copy, the index, the
//                  default reply when nothing matches
//   bare index     ReplyIndex::FirstMatch on the same rules
//   memory walk    the rules in order, piece after piece, in memory
//   engine walk    the rules in order through the table engine, record by
//                  record, as the matcher was first written
//   sqlite scan    one row per keyword piece, a query that tests every row
//   sqlite fts5    the same rows under an FTS5 trigram index (texts of three
//                  characters or more) and a B-tree index on the piece; the
//                  "消息中包含" pieces, which no SQLite index finds inside a
//                  text, are scanned
// Every way must give the same reply for every text; a difference stops the
// run. Without SQLite (the Windows build, timed under Wine), its two columns
// are left out.
//   matcher_bench [rule counts...]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#ifdef QUILLANE_BENCH_SQLITE
#include <sqlite3.h>
#endif

#include "../clock.h"
#include "../shop_rules.h"
#include "app/reply_service.h"
#include "app/stored_settings.h"
#include "engine_walk.h"
#include "rules/reply_index.h"
#include "rules/reply_rules.h"
#include "rules/rule_schema.h"
#include "rules/rule_store.h"
#include "services/encoding.h"
#include "services/files.h"
#include "table/engine.h"

using namespace quillane;
using bench::NowMicros;

namespace {

constexpr int kRepetitions = 5;
// Under Wine every record the engine walk reads costs calls into the Wine
// server; beyond this many rules one request takes many seconds.
#ifdef _WIN32
constexpr int kEngineWalkLimit = 10000;
#else
constexpr int kEngineWalkLimit = 1000000;
#endif
const Text kDefault = "default";

struct Figure {
  double min = 0, median = 0;
};

// Microseconds per text of `reply` over all texts, min and median of the
// repetitions; the replies of the first repetition go to `replies`.
Figure Time(const std::vector<Text>& texts, const std::function<Text(const Text&)>& reply,
            std::vector<Text>* replies, int repetitions = kRepetitions) {
  std::vector<double> per;
  for (int r = 0; r < repetitions; ++r) {
    std::vector<Text> got;
    got.reserve(texts.size());
    const double t0 = NowMicros();
    for (const Text& t : texts) got.push_back(reply(t));
    per.push_back((NowMicros() - t0) / static_cast<double>(texts.size()));
    if (r == 0 && replies) *replies = std::move(got);
  }
  std::sort(per.begin(), per.end());
  return {per.front(), per[per.size() / 2]};
}

bool Same(const std::vector<Text>& a, const std::vector<Text>& b, const char* what, int count) {
  if (a == b) return true;
  std::size_t k = 0;
  while (k < a.size() && k < b.size() && a[k] == b[k]) ++k;
  std::printf("MISMATCH: %s differs from the request path at %d rules (text %zu: %s, not %s)\n",
              what, count, k, k < a.size() ? GbkToUtf8(a[k]).c_str() : "-",
              k < b.size() ? GbkToUtf8(b[k]).c_str() : "-");
  return false;
}

#ifdef QUILLANE_BENCH_SQLITE
// The rules in SQLite, one row per keyword piece in UTF-8, with the rule's
// position in the sorted copy, and the same lookup as a query.
class SqliteRules {
 public:
  SqliteRules(const std::vector<MatchRule>& rules, bool fts) : fts_(fts) {
    sqlite3_open(":memory:", &db_);
    // kind: 0 "包含", 1 exact, 2 "消息中包含".
    Exec("CREATE TABLE piece(ord INTEGER, kind INTEGER, text TEXT, reply TEXT)");
    if (fts_) {
      Exec("CREATE INDEX piece_text ON piece(text)");
      Exec(
          "CREATE VIRTUAL TABLE piece_fts USING fts5(text, content='piece', "
          "content_rowid='rowid', tokenize='trigram')");
    }
    Exec("BEGIN");
    sqlite3_stmt* insert = Prepare("INSERT INTO piece VALUES(?1, ?2, ?3, ?4)");
    for (std::size_t i = 0; i < rules.size(); ++i) {
      const Text reply = GbkToUtf8(rules[i].reply);
      for (const Text& piece : SplitText(rules[i].keywords, "|")) {
        const Text text = GbkToUtf8(piece);
        sqlite3_bind_int(insert, 1, static_cast<int>(i));
        const MatchKind kind = MatchKindOf(rules[i].matchRule);
        sqlite3_bind_int(insert, 2,
                         kind == MatchKind::Contains ? 0
                         : kind == MatchKind::Exact  ? 1
                                                     : 2);
        sqlite3_bind_text(insert, 3, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(insert, 4, reply.data(), static_cast<int>(reply.size()),
                          SQLITE_TRANSIENT);
        sqlite3_step(insert);
        sqlite3_reset(insert);
      }
    }
    sqlite3_finalize(insert);
    if (fts_) Exec("INSERT INTO piece_fts(piece_fts) VALUES('rebuild')");
    Exec("COMMIT");
    // An empty piece never matches (the index leaves it out too).
    scan_ = Prepare(
        "SELECT reply FROM piece WHERE text <> '' AND ((kind = 0 AND instr(text, ?1) > 0) OR "
        "(kind = 1 AND text = ?1) OR (kind = 2 AND instr(?1, text) > 0)) ORDER BY ord LIMIT 1");
    if (fts_) {
      indexed_ = Prepare(
          "SELECT reply FROM (SELECT ord, reply FROM piece WHERE kind = 1 AND text = ?1 "
          "UNION ALL SELECT p.ord, p.reply FROM piece_fts f JOIN piece p ON p.rowid = f.rowid "
          "WHERE piece_fts MATCH ?2 AND p.kind = 0 "
          "UNION ALL SELECT ord, reply FROM piece WHERE kind = 2 AND text <> '' AND "
          "instr(?1, text) > 0) ORDER BY ord LIMIT 1");
    }
  }
  ~SqliteRules() {
    sqlite3_finalize(scan_);
    sqlite3_finalize(indexed_);
    sqlite3_close(db_);
  }

  Text Reply(const Text& customer) {
    const Text text = GbkToUtf8(customer);
    // The trigram index answers texts of three characters or more; shorter
    // ones are scanned.
    const bool indexed = fts_ && CharacterCount(text) >= 3;
    sqlite3_stmt* q = indexed ? indexed_ : scan_;
    sqlite3_bind_text(q, 1, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
    const Text phrase = "\"" + text + "\"";
    if (indexed)
      sqlite3_bind_text(q, 2, phrase.data(), static_cast<int>(phrase.size()), SQLITE_STATIC);
    Text reply = kDefault;
    if (sqlite3_step(q) == SQLITE_ROW) {
      const char* r = reinterpret_cast<const char*>(sqlite3_column_text(q, 0));
      reply = Utf8ToGbk(r ? r : "");
    }
    sqlite3_reset(q);
    return reply;
  }

 private:
  static int CharacterCount(const Text& utf8) {
    return static_cast<int>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
      return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
  }
  void Exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(db_, sql, nullptr, nullptr, &error) != SQLITE_OK) {
      std::printf("sqlite: %s\n", error ? error : "?");
      std::exit(1);
    }
  }
  sqlite3_stmt* Prepare(const char* sql) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db_, sql, -1, &s, nullptr) != SQLITE_OK) {
      std::printf("sqlite: %s\n", sqlite3_errmsg(db_));
      std::exit(1);
    }
    return s;
  }

  bool fts_;
  sqlite3* db_ = nullptr;
  sqlite3_stmt* scan_ = nullptr;
  sqlite3_stmt* indexed_ = nullptr;
};
#endif

// Writes the rules as the settings window saves them and loads them as
// Quillane does at start-up; the directory holds the table files.
void StoreAndLoad(const Text& directory, const std::vector<RuleRow>& rows) {
  table::CloseAllTables();
  WriteBytesToFile(directory + kRuleTableFile, MakeEmptyRuleTable());
  OpenRuleTable(directory);
  ReplaceRules(directory, rows);
  LoadReplyRulesAtStart(directory);
}

void Row(const char* name, const Figure& f, const Figure& path) {
  std::printf("  %-14s %10.3f %10.3f %10.1fx\n", name, f.min, f.median, f.median / path.median);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> counts;
  for (int i = 1; i < argc; ++i) counts.push_back(std::max(1, std::atoi(argv[i])));
  if (counts.empty()) counts = {1000, 10000, 100000};

  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("matcher_bench_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const Text directory = dir.string();
  Settings().defaultReply = kDefault;

  std::printf(
      "microseconds per request, min and median of %d repetitions; ratio = median / "
      "request path's median\n",
      kRepetitions);
  for (const int count : counts) {
    bench::ShopRuleMaker maker(42, bench::RuleMix{4, 4});
    const std::vector<RuleRow> rows = maker.Rules(count);
    const std::vector<Text> texts = maker.CustomerTexts(rows, 2000);
    const double s0 = NowMicros();
    StoreAndLoad(directory, rows);
    const double loadMs = (NowMicros() - s0) / 1000;

    // The rules in the sorted copy's order, as the index holds them.
    std::vector<MatchRule> rules;
    for (RuleRow& r : InSortedCopyOrder(rows)) rules.push_back({r.keywords, r.matchRule, r.reply});
    const double b0 = NowMicros();
    const ReplyIndex index(rules);
    const double buildMs = (NowMicros() - b0) / 1000;
    auto replyOf = [&](int first) {
      return first >= 0 ? rules[static_cast<std::size_t>(first)].reply : kDefault;
    };

    std::vector<Text> expected, got;
    const Figure path = Time(texts, MatchCustomerText, &expected);
    std::printf("\n%d rules (stored and loaded in %.0f ms; index built in %.1f ms)\n", count,
                loadMs, buildMs);
    std::printf("  %-14s %10s %10s %11s\n", "way", "min us", "median us", "ratio");
    Row("request path", path, path);
    const Figure bare = Time(
        texts, [&](const Text& t) { return replyOf(index.FirstMatch(t)); }, &got);
    if (!Same(got, expected, "the bare index", count)) return 1;
    Row("bare index", bare, path);
    std::printf("  request path / bare index: %.2fx (min), %.2fx (median)\n", path.min / bare.min,
                path.median / bare.median);
    // The ways that look at every rule per request take fewer texts (hits
    // and misses alternate all the same).
    const auto first = [&](int n) {
      const auto end = static_cast<std::ptrdiff_t>(std::min<std::size_t>(n, texts.size()));
      return std::make_pair(std::vector<Text>(texts.begin(), texts.begin() + end),
                            std::vector<Text>(expected.begin(), expected.begin() + end));
    };
    const auto [some, someExpected] = first(std::max(10, 100000 / count));
    const auto [few, fewExpected] = first(std::max(2, 20000 / count));
    const Figure walk = Time(
        some, [&](const Text& t) { return replyOf(FirstMatchByWalking(rules, t)); }, &got);
    if (!Same(got, someExpected, "the memory walk", count)) return 1;
    Row("memory walk", walk, path);
    if (count <= kEngineWalkLimit) {
      const Figure engine = Time(
          few,
          [&](const Text& t) {
            const Text r = ReplyByEngineWalk(t);
            return r.empty() ? kDefault : r;
          },
          &got, 3);
      if (!Same(got, fewExpected, "the engine walk", count)) return 1;
      Row("engine walk", engine, path);
    } else {
      std::printf("  %-14s (left out above %d rules: seconds per request)\n", "engine walk",
                  kEngineWalkLimit);
    }
#ifdef QUILLANE_BENCH_SQLITE
    for (const bool fts : {false, true}) {
      SqliteRules sqlite(rules, fts);
      const Figure f = Time(
          some, [&](const Text& t) { return sqlite.Reply(t); }, &got, 3);
      if (!Same(got, someExpected, fts ? "sqlite fts5" : "sqlite scan", count)) return 1;
      Row(fts ? "sqlite fts5" : "sqlite scan", f, path);
    }
#endif
  }
  table::CloseAllTables();
  fs::remove_all(dir);
  return 0;
}
