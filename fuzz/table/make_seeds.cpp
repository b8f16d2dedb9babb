// Writes the seed corpus of table_fuzz: a few well-formed tables in the
// fuzz input layout (flags, table length, table bytes, companion bytes).
// Usage: table_fuzz_seeds OUTPUT_FOLDER
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "table/engine.h"
#include "rules/rule_schema.h"

using namespace quillane;
using namespace quillane::table;

namespace {

std::vector<char> Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

void Pack(const std::string& out, std::uint8_t flags, const std::string& table,
          const std::string& companion) {
  const auto t = Slurp(table);
  const auto c = companion.empty() ? std::vector<char>() : Slurp(companion);
  std::ofstream o(out, std::ios::binary);
  const auto n = static_cast<std::uint32_t>(t.size());
  const char head[5] = {static_cast<char>(flags), static_cast<char>(n), static_cast<char>(n >> 8),
                        static_cast<char>(n >> 16), static_cast<char>(n >> 24)};
  o.write(head, 5);
  o.write(t.data(), static_cast<std::streamsize>(t.size()));
  o.write(c.data(), static_cast<std::streamsize>(c.size()));
}

FieldDescriptor Field(const char* name, FieldType type, std::int32_t width = 0) {
  FieldDescriptor f;
  f.name = name;
  f.type = static_cast<std::int32_t>(type);
  f.width = width;
  return f;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  const std::string work = "/tmp/quillane-seeds-" + std::to_string(::getpid());
  std::system(("mkdir -p " + work).c_str());

  // The empty rule table, and one with three rules.
  WriteNewTableFile(work + "/rules.edb", MakeEmptyRuleTable());
  Pack(dir + "/rules-empty", 1 | 4, work + "/rules.edb", "");
  if (!OpenTable(work + "/rules.edb", "r", kRulePassword)) return 1;
  const char* rules[3][3] = {
      {"在吗|您好", "在的", "包含"}, {"发货", "今天发", "完全匹配"}, {"退款", "请稍等", "包含"}};
  for (int r = 0; r < 3; ++r) {
    AppendRecord();
    WriteField(1, "r", Text(rules[r][0]));
    WriteField(2, "r", Text(rules[r][1]));
    WriteField(3, "r", Text(rules[r][2]));
    WriteField(4, "r", std::int32_t{5 - r});
  }
  CloseTable("r");
  Pack(dir + "/rules-three", 1 | 4, work + "/rules.edb", "");

  // Every field type, unprotected, with memos and byte arrays over several
  // blocks and a free block list.
  const std::vector<FieldDescriptor> fields = {
      Field("b", FieldType::kByte),       Field("s", FieldType::kShort),
      Field("i", FieldType::kInt),        Field("l", FieldType::kLong),
      Field("f", FieldType::kFloat),      Field("d", FieldType::kDouble),
      Field("o", FieldType::kBool),       Field("t", FieldType::kDateTime),
      Field("p", FieldType::kSubroutine), Field("x", FieldType::kText, 10),
      Field("a", FieldType::kByteArray),  Field("m", FieldType::kMemo)};
  for (int protect = 0; protect < 2; ++protect) {
    const Text password = protect ? kRulePassword : "";
    WriteNewTableFile(work + "/all.edb", BuildTableFile(fields, password, 45000.5));
    WriteNewTableFile(work + "/all.EDT", BuildCompanionFile(password, 45000.5));
    if (!OpenTable(work + "/all.edb", "a", password)) return 1;
    for (int r = 0; r < 3; ++r) {
      AppendRecord();
      WriteField("i", "a", std::int32_t{r * 7});
      WriteField("x", "a", Text("abc") + std::to_string(r));
      WriteField("a", "a",
                 Bytes(static_cast<std::size_t>(300 * (r + 1)), static_cast<std::uint8_t>(r)));
      WriteField("m", "a", Text(static_cast<std::size_t>(501 * r), 'm'));
    }
    GoToRecord(2);
    WriteField("a", "a", Bytes(10, 1));  // frees a block
    CloseTable("a");
    Pack(dir + "/all-types-" + std::to_string(protect), static_cast<std::uint8_t>(protect | 4),
         work + "/all.edb", work + "/all.EDT");
  }
  std::system(("rm -rf " + work).c_str());
  return 0;
}
