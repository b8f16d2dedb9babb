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

bool PieceMatches(MatchKind kind, std::string_view piece, std::string_view customer) {
  switch (kind) {
    case MatchKind::Contains:
      return CountOccurrences(piece, customer, true) >= 1;
    case MatchKind::InMessage:
      return CountOccurrences(customer, piece, true) >= 1;
    case MatchKind::Exact:
      break;
  }
  return piece == customer;
}

}  // namespace quillane
