// Fuzzes the rule CSV reader with any file bytes: it must not fail, a
// refusal must name a line of the file, and whatever it reads must come back
// the same through the writer.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "rules/rule_csv.h"

using namespace quillane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const RuleCsvRead read = ReadRuleCsv(bytes);
  if (!read.ok()) {
    const auto lineEnds = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n') +
                                                   std::count(bytes.begin(), bytes.end(), '\r'));
    if (read.refusal->line < 1 || read.refusal->line > lineEnds + 1) std::abort();
    if (RuleCsvMessage(*read.refusal, MessageLanguage::Chinese).empty()) std::abort();
    return 0;
  }
  const Bytes written = WriteRuleCsv(read.rows);
  const RuleCsvRead again =
      ReadRuleCsv(std::string_view(reinterpret_cast<const char*>(written.data()), written.size()));
  if (!again.ok() || again.rows != read.rows) std::abort();
  return 0;
}
