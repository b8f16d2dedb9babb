// Saving the rules: the safe save (a whole new table written beside
// Database.edb, flushed, renamed into place, reopened) against the
// straightforward way (the open table cleared and refilled in place), on rule
// sets of growing size. The in-place figure is given with and without a
// final flush, since only the flushed one makes the same promise of being on
// the disk. Prints milliseconds per save and the ratios; checks that every
// save reads back whole.
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "rules/rule_store.h"
#include "services/files.h"
#include "services/values.h"
#include "table/engine.h"
#include "table/format.h"
#include "rules/rule_schema.h"
#include "../clock.h"

using namespace quillane;

namespace {

using bench::NowMillis;

std::vector<RuleRow> Rules(int count, int variant) {
  std::vector<RuleRow> rows;
  for (int i = 0; i < count; ++i) {
    const Text n = std::to_string(i * 7 + variant);
    rows.push_back({"在吗" + n + "|在不" + n, "您好，在的" + n, i % 5 ? "包含" : "完全匹配",
                    std::to_string(i % 11)});
  }
  return rows;
}

// The straightforward save: clear the open rule table and append every row.
bool SaveInPlace(const std::vector<RuleRow>& rows, bool flush) {
  const Text alias = kRuleTableAlias;
  if (!table::SelectTable(alias) || !table::ClearTable()) return false;
  for (const RuleRow& row : rows) {
    if (!table::AppendRecord() || !table::WriteField(1, alias, row.keywords) ||
        !table::WriteField(2, alias, row.reply) || !table::WriteField(3, alias, row.matchRule) ||
        !table::WriteField(4, alias, ToInteger(row.matchCode))) {
      return false;
    }
  }
  return !flush || table::FlushTable(alias);
}

template <typename F>
double MillisPerSave(int rounds, F save) {
  const double t0 = NowMillis();
  for (int r = 0; r < rounds; ++r) save(r);
  return (NowMillis() - t0) / rounds;
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("save_bench_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const Text directory = dir.string();
  if (!WriteBytesToFile(directory + kRuleTableFile, MakeEmptyRuleTable()) ||
      !table::OpenTable(directory + kRuleTableFile, kRuleTableAlias, kRulePassword)) {
    std::fprintf(stderr, "save_bench: cannot make the rule table in %s\n", directory.c_str());
    return 1;
  }
  std::printf("%8s %14s %16s %18s %10s %10s\n", "rules", "safe ms/save", "in place ms",
              "in place+flush ms", "safe/plain", "safe/flush");
  int bad = 0;
  for (int count : {100, 1000, 10000}) {
    const int rounds = count >= 10000 ? 3 : 10;
    const std::vector<RuleRow> a = Rules(count, 0), b = Rules(count, 1);
    auto check = [&](const std::vector<RuleRow>& expected) {
      if (ReadRules() != expected) ++bad;
    };
    const double safe = MillisPerSave(rounds, [&](int r) {
      if (ReplaceRules(directory, r % 2 ? a : b) != RuleStoreResult::Ok) ++bad;
    });
    check(rounds % 2 ? b : a);
    const double plain =
        MillisPerSave(rounds, [&](int r) { bad += !SaveInPlace(r % 2 ? a : b, false); });
    const double flushed =
        MillisPerSave(rounds, [&](int r) { bad += !SaveInPlace(r % 2 ? a : b, true); });
    check(rounds % 2 ? b : a);
    std::printf("%8d %14.2f %16.2f %18.2f %9.2fx %9.2fx\n", count, safe, plain, flushed,
                safe / plain, safe / flushed);
  }
  table::CloseAllTables();
  fs::remove_all(dir);
  if (bad) std::printf("save_bench: %d saves did not read back as written\n", bad);
  return bad ? 1 : 0;
}
