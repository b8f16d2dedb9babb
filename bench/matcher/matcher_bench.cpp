// Reply lookup: the walk over every rule (the straightforward way) against the
// reply index, on rule sets of growing size. Prints microseconds per request
// and the ratio; checks on the way that both give the same answers.
#include <cstdio>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include <filesystem>
#include <unistd.h>

#include "rules/reply_index.h"
#include "app/reply_service.h"
#include "app/stored_settings.h"
#include "engine_walk.h"
#include "services/files.h"
#include "table/format.h"
#include "rules/rule_schema.h"
#include "../clock.h"

using namespace quillane;

using bench::NowMicros;

namespace {

// Rules that look like a shop's: two to four keywords of two to six Chinese
// characters, mostly "包含", a few exact.
std::vector<MatchRule> ShopRules(int count, std::mt19937& rng) {
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  auto word = [&]() {
    Text w;
    for (int i = pick(2, 6); i > 0; --i) {
      w += static_cast<char>(pick(0xB0, 0xD7));  // GB2312 level-1 characters
      w += static_cast<char>(pick(0xA1, 0xFE));
    }
    return w;
  };
  std::vector<MatchRule> rules;
  for (int i = 0; i < count; ++i) {
    MatchRule r;
    for (int k = pick(2, 4); k > 0; --k) r.keywords += (r.keywords.empty() ? "" : "|") + word();
    r.matchRule = pick(0, 9) < 8 ? "包含" : "完全匹配";
    r.reply = "reply";
    rules.push_back(std::move(r));
  }
  return rules;
}

template <typename F>
double MicrosPerCall(const std::vector<Text>& queries, F f, long& checksum) {
  const double t0 = NowMicros();
  for (const Text& q : queries) checksum += f(q);
  return (NowMicros() - t0) / queries.size();
}

}  // namespace

int main() {
  std::printf("%8s %12s %14s %14s %10s\n", "rules", "build ms", "walk us/req", "index us/req",
              "speed-up");
  for (int count : {100, 1000, 10000, 50000}) {
    std::mt19937 rng(42);
    const auto rules = ShopRules(count, rng);
    // Half the requests hit a keyword (or part of one), half hit nothing.
    std::vector<Text> queries;
    for (int i = 0; i < 400; ++i) {
      const Text& k = rules[rng() % rules.size()].keywords;
      queries.push_back(i % 2 ? k.substr(0, k.find('|')) : Text("\xC4\xE3\xBA\xC3\xA3\xBF"));
    }
    const double b0 = NowMicros();
    const ReplyIndex index(rules);
    const double buildMs = (NowMicros() - b0) / 1000;

    long walkSum = 0, indexSum = 0;
    const double walk = MicrosPerCall(
        queries, [&](const Text& q) { return FirstMatchByWalking(rules, q); }, walkSum);
    const double fast = MicrosPerCall(
        queries, [&](const Text& q) { return index.FirstMatch(q); }, indexSum);
    if (walkSum != indexSum) {
      std::printf("MISMATCH at %d rules\n", count);
      return 1;
    }
    std::printf("%8d %12.1f %14.2f %14.3f %9.0fx\n", count, buildMs, walk, fast, walk / fast);
  }

  // The same through the table files, as the program answers: the walk over
  // the sorted copy with the engine, against the reply service.
  std::printf("\nthrough the table engine (sorted copy on disk)\n");
  std::printf("%8s %16s %16s %10s\n", "rules", "engine walk us", "service us", "speed-up");
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("matcher_bench_" + std::to_string(::getpid()));
  for (int count : {100, 1000, 5000}) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    const Text directory = dir.string();
    std::mt19937 rng(7);
    const auto rules = ShopRules(count, rng);
    WriteBytesToFile(directory + kRuleTableFile, MakeEmptyRuleTable());
    table::OpenTable(directory + kRuleTableFile, kRuleTableAlias, kRulePassword);
    std::vector<RuleRow> rows;
    for (const MatchRule& r : rules) rows.push_back({r.keywords, r.reply, r.matchRule, "1"});
    ReplaceRules(directory, rows);
    RebuildSortedCopy(directory, false);
    Settings().defaultReply = "default";
    std::vector<Text> queries;
    for (int i = 0; i < 40; ++i) {
      const Text& k = rules[rng() % rules.size()].keywords;
      queries.push_back(i % 2 ? k.substr(0, k.find('|')) : Text("\xC4\xE3\xBA\xC3\xA3\xBF"));
    }
    MatchCustomerText(queries[0]);  // the first request reads the rules once
    long a = 0, b = 0;
    const double walk = MicrosPerCall(
        queries,
        [&](const Text& q) {
          const Text r = ReplyByEngineWalk(q);
          return static_cast<long>((r.empty() ? Text("default") : r).size());
        },
        a);
    const double service = MicrosPerCall(
        queries, [&](const Text& q) { return static_cast<long>(MatchCustomerText(q).size()); }, b);
    if (a != b) {
      std::printf("MISMATCH through the engine at %d rules\n", count);
      return 1;
    }
    std::printf("%8d %16.1f %16.2f %9.0fx\n", count, walk, service, walk / service);
    table::CloseAllTables();
  }
  fs::remove_all(dir);
  return 0;
}
