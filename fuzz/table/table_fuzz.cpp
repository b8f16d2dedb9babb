// Opens arbitrary table and companion files and reads and writes them.
// Input: one flags byte, a 4-byte little-endian length of the table file
// part, the table file bytes, then the companion file bytes.
// Flags: bit 0 protected with the rule password, bit 1 read-only,
// bit 2 also write, append and sort.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "table/engine.h"
#include "rules/rule_schema.h"

using namespace quillane;
using namespace quillane::table;

namespace {

const std::string& WorkDir() {
  static std::string dir = [] {
    char name[] = "/tmp/quillane-table-fuzz-XXXXXX";
    const char* made = mkdtemp(name);
    if (!made) std::abort();
    return std::string(made);
  }();
  return dir;
}

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t n) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) std::abort();
  if (n) std::fwrite(data, 1, n, f);
  std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 5) return 0;
  const std::uint8_t flags = data[0];
  std::uint32_t tableLength =
      static_cast<std::uint32_t>(data[1]) | (static_cast<std::uint32_t>(data[2]) << 8) |
      (static_cast<std::uint32_t>(data[3]) << 16) | (static_cast<std::uint32_t>(data[4]) << 24);
  data += 5;
  size -= 5;
  if (tableLength > size) tableLength = static_cast<std::uint32_t>(size);
  const std::string base = WorkDir() + "/t";
  WriteFile(base + ".edb", data, tableLength);
  WriteFile(base + ".EDT", data + tableLength, size - tableLength);

  OpenOptions options;
  options.readOnly = (flags & 2) != 0;
  const Text password = (flags & 1) ? kRulePassword : "";
  if (OpenTable(base + ".edb", "fuzz", password, options)) {
    const std::int32_t count = RecordCount();
    const auto fields = TableFields();
    const std::int32_t walk = count < 40 ? count : 40;
    for (std::int32_t r = 1; r <= walk; ++r) {
      GoToRecord(r);
      for (std::size_t k = 1; k <= fields.size(); ++k) (void)ReadField(static_cast<int>(k));
    }
    // Appending and sorting write whole records; keep the files of one run small.
    if ((flags & 4) && !options.readOnly && TableRecordSize() <= (1 << 20)) {
      for (std::size_t k = 1; k <= fields.size(); ++k) {
        const auto type = static_cast<FieldType>(fields[k - 1].type);
        Value v = std::int32_t{7};
        if (type == FieldType::kText || type == FieldType::kMemo) v = Text(600, 'x');
        if (type == FieldType::kByteArray) v = Bytes(1200, 0xAB);
        (void)WriteField(static_cast<int>(k), "", v);
        (void)ReadField(static_cast<int>(k));
        (void)WriteField(static_cast<int>(k), "", Value{});
      }
      (void)AppendRecord();
      if (!fields.empty())
        (void)SortTable(WorkDir() + "/sorted.edb", fields[0].name, (flags & 8) != 0);
      (void)ClearTable();
    }
    CloseTable();
  }
  return 0;
}
