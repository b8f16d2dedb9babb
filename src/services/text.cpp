#include "services/text.h"

#include <algorithm>

namespace quillane {

namespace {

// The program's texts end at the first zero byte.
std::string_view Terminated(std::string_view text) {
  const auto zero = text.find('\0');
  return zero == std::string_view::npos ? text : text.substr(0, zero);
}

bool IsLeadByte(char c) { return static_cast<unsigned char>(c) >= 0x80; }

char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool MatchesAt(std::string_view text, std::size_t at, std::string_view sought, bool ignoreCase) {
  if (text.size() - at < sought.size()) return false;
  for (std::size_t i = 0; i < sought.size(); ++i) {
    const char a = text[at + i];
    const char b = sought[i];
    if (ignoreCase ? FoldAscii(a) != FoldAscii(b) : a != b) return false;
  }
  return true;
}

// The width of the character starting at `at`: 2 for a lead byte followed by
// another byte, else 1 (a lead byte right before the end is one byte).
std::size_t CharWidth(std::string_view text, std::size_t at) {
  return (IsLeadByte(text[at]) && at + 1 < text.size()) ? 2 : 1;
}

}  // namespace

std::int32_t TextLength(std::string_view text) {
  return static_cast<std::int32_t>(Terminated(text).size());
}

Text TextLeft(std::string_view text, std::int32_t n) {
  text = Terminated(text);
  if (n <= 0) return {};
  return Text(text.substr(0, std::min<std::size_t>(static_cast<std::size_t>(n), text.size())));
}

Text TextRight(std::string_view text, std::int32_t n) {
  text = Terminated(text);
  if (n <= 0) return {};
  const std::size_t take = std::min<std::size_t>(static_cast<std::size_t>(n), text.size());
  return Text(text.substr(text.size() - take));
}

std::int32_t CharCode(std::string_view text, std::int32_t position) {
  text = Terminated(text);
  if (position < 1 || static_cast<std::size_t>(position) > text.size()) return 0;
  return static_cast<std::int32_t>(
      static_cast<signed char>(text[static_cast<std::size_t>(position) - 1]));
}

std::int32_t FindText(std::string_view text, std::string_view sought, std::int32_t start,
                      bool ignoreCase) {
  text = Terminated(text);
  sought = Terminated(sought);
  if (start < 1) start = 1;
  const std::size_t from = static_cast<std::size_t>(start) - 1;
  const bool searchedEmpty = from >= text.size();
  if (sought.empty()) return searchedEmpty ? -1 : 1;
  if (searchedEmpty) return -1;
  for (std::size_t at = from; at < text.size() && text.size() - at >= sought.size();
       at += CharWidth(text, at)) {
    if (MatchesAt(text, at, sought, ignoreCase)) return static_cast<std::int32_t>(at + 1);
  }
  return -1;
}

Text ReplaceText(std::string_view text, std::string_view sought, std::string_view replacement,
                 std::int32_t start, std::int32_t count, bool caseSensitive) {
  text = Terminated(text);
  sought = Terminated(sought);
  replacement = Terminated(replacement);
  if (start < 1) start = 1;
  const std::size_t from = static_cast<std::size_t>(start) - 1;
  if (text.empty() || sought.empty() || from >= text.size() || count == 0) return Text(text);
  Text out(text.substr(0, from));
  std::size_t at = from;
  std::int64_t left = count < 0 ? -1 : count;
  while (at < text.size()) {
    if (left != 0 && MatchesAt(text, at, sought, !caseSensitive)) {
      out.append(replacement);
      at += sought.size();
      if (left > 0) --left;
      continue;
    }
    if (left == 0) break;
    const std::size_t w = CharWidth(text, at);
    out.append(text.substr(at, w));
    at += w;
  }
  out.append(text.substr(std::min(at, text.size())));
  return out;
}

std::vector<Text> SplitText(std::string_view text, std::string_view separator,
                            std::int32_t maximum) {
  text = Terminated(text);
  separator = Terminated(separator);
  std::vector<Text> pieces;
  if (maximum < 0) maximum = 0;
  if (text.empty() || maximum == 0) return pieces;
  if (separator.empty()) {
    pieces.emplace_back(text);
    return pieces;
  }
  const std::size_t limit = static_cast<std::size_t>(maximum);
  std::size_t pieceStart = 0;
  std::size_t at = 0;
  while (at < text.size()) {
    if (MatchesAt(text, at, separator, false)) {
      pieces.emplace_back(text.substr(pieceStart, at - pieceStart));
      at += separator.size();
      pieceStart = at;
      if (pieces.size() >= limit) return pieces;
      continue;
    }
    at += CharWidth(text, at);
  }
  if (pieceStart < text.size() && pieces.size() < limit)
    pieces.emplace_back(text.substr(pieceStart));
  return pieces;
}

Text TrimSpaces(std::string_view text) {
  text = Terminated(text);
  std::size_t begin = 0;
  std::size_t end = text.size();
  for (;;) {
    if (begin < end && text[begin] == ' ') {
      ++begin;
    } else if (end - begin >= 2 && text[begin] == '\xA1' && text[begin + 1] == '\xA1') {
      begin += 2;
    } else {
      break;
    }
  }
  // At the end a full-width space must be a whole character: find where the
  // characters start by scanning from `begin`, double-byte aware.
  for (;;) {
    if (end > begin && text[end - 1] == ' ') {
      // A space may also be the second byte of a character only in invalid
      // GBK; a trailing 0x20 is taken as a space.
      --end;
      continue;
    }
    if (end - begin >= 2 && text[end - 2] == '\xA1' && text[end - 1] == '\xA1') {
      // Make sure the A1 A1 pair starts on a character boundary.
      std::size_t at = begin;
      while (at < end - 2) at += CharWidth(text.substr(0, end), at);
      if (at == end - 2) {
        end -= 2;
        continue;
      }
    }
    break;
  }
  return Text(text.substr(begin, end - begin));
}

Text ToUpper(std::string_view text) {
  text = Terminated(text);
  Text out(text);
  for (std::size_t at = 0; at < out.size();) {
    if (IsLeadByte(out[at])) {
      at += (at + 1 < out.size()) ? 2 : 1;
      continue;
    }
    out[at] = FoldAscii(out[at]);
    ++at;
  }
  return out;
}

}  // namespace quillane
