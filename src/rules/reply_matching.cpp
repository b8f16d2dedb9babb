#include "rules/reply_matching.h"

#include "services/text.h"

namespace quillane {

std::int32_t CountOccurrences(std::string_view text, std::string_view sought, bool caseSensitive) {
  if (TextLength(text) == 0 || TextLength(sought) == 0) return 0;
  std::int32_t count = 0;
  std::int32_t position = FindText(text, sought, 1, !caseSensitive);
  while (position != -1) {
    ++count;
    position = FindText(text, sought, position + TextLength(sought), !caseSensitive);
  }
  return count;
}

}  // namespace quillane
