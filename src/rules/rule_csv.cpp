#include "rules/rule_csv.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "services/encoding.h"
#include "services/values.h"

namespace quillane {

namespace {

// ---- Characters and lines -------------------------------------------------

// The length of the GBK character that starts at `at`: two bytes for a lead
// byte 0x81 to 0xFE followed by a byte, else one.
std::size_t GbkCharWidth(std::string_view s, std::size_t at) {
  const auto b = static_cast<unsigned char>(s[at]);
  return b >= 0x81 && b <= 0xFE && at + 1 < s.size() ? 2 : 1;
}

// Blanks around names, match rules and codes: spaces, tabs and full-width
// spaces (GBK A1 A1).
Text TrimBlanks(std::string_view s) {
  std::size_t begin = s.size(), end = 0;
  for (std::size_t at = 0; at < s.size();) {
    const std::size_t w = GbkCharWidth(s, at);
    const bool blank = (w == 1 && (s[at] == ' ' || s[at] == '\t')) ||
                       (w == 2 && s[at] == '\xA1' && s[at + 1] == '\xA1');
    if (!blank) {
      begin = std::min(begin, at);
      end = at + w;
    }
    at += w;
  }
  return begin < end ? Text(s.substr(begin, end - begin)) : Text();
}

// The 1-based line of position `pos`: line ends are CRLF, LF or a lone CR.
template <typename Char>
std::size_t LineOf(std::basic_string_view<Char> s, std::size_t pos) {
  std::size_t line = 1;
  for (std::size_t i = 0; i < pos && i < s.size(); ++i) {
    if (s[i] == Char('\n') || (s[i] == Char('\r') && (i + 1 >= s.size() || s[i + 1] != Char('\n'))))
      ++line;
  }
  return line;
}

RuleCsvRefusal Refuse(RuleCsvRefusalKind kind, std::size_t line, Text text = {}) {
  RuleCsvRefusal r;
  r.kind = kind;
  r.line = line;
  r.text = std::move(text);
  return r;
}

// ---- Encodings --------------------------------------------------------------

constexpr std::size_t kValid = std::string_view::npos;

// Decodes strict UTF-8 (no overlong forms, no surrogates, no zero bytes) into
// UTF-16. Gives the position of the first bad byte, or kValid.
std::size_t DecodeUtf8(std::string_view s, std::u16string* out) {
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = 0;
    char32_t c = 0, min = 0;
    if (b == 0) return i;
    if (b < 0x80) {
      n = 1, c = b;
    } else if (b >= 0xC2 && b <= 0xDF) {
      n = 2, c = b & 0x1F, min = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      n = 3, c = b & 0x0F, min = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      n = 4, c = b & 0x07, min = 0x10000;
    } else {
      return i;
    }
    if (i + n > s.size()) return i;
    for (std::size_t k = 1; k < n; ++k) {
      const auto t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return i;
      c = (c << 6) | (t & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return i;
    if (c >= 0x10000) {
      out->push_back(static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10)));
      out->push_back(static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
    } else {
      out->push_back(static_cast<char16_t>(c));
    }
    i += n;
  }
  return kValid;
}

// Decodes UTF-16 (after its byte-order mark) with surrogates in pairs and no
// zero characters. Gives the index of the first bad unit, or kValid.
std::size_t DecodeUtf16(std::string_view s, bool bigEndian, std::u16string* out) {
  for (std::size_t i = 0; i + 1 < s.size(); i += 2) {
    const auto a = static_cast<unsigned char>(s[i]), b = static_cast<unsigned char>(s[i + 1]);
    out->push_back(static_cast<char16_t>(bigEndian ? (a << 8) | b : (b << 8) | a));
  }
  const std::u16string& u = *out;
  for (std::size_t i = 0; i < u.size(); ++i) {
    const char16_t c = u[i];
    if (c == 0) return i;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 >= u.size() || u[i + 1] < 0xDC00 || u[i + 1] > 0xDFFF) return i;
      ++i;
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      return i;
    }
  }
  return s.size() % 2 ? u.size() : kValid;
}

// The position of the first byte that cannot start or end a GBK character
// (zero bytes included), or kValid. Code points that are well formed but have
// no character are caught by the round trip in GbkProblem.
std::size_t GbkFormProblem(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b == 0 || b == 0xFF) return i;
    if (b >= 0x81 && b <= 0xFE) {
      if (i + 1 >= s.size()) return i;
      const auto t = static_cast<unsigned char>(s[i + 1]);
      if (t < 0x40 || t == 0x7F || t == 0xFF) return i;
      i += 2;
    } else {
      ++i;
    }
  }
  return kValid;
}

bool GbkRoundTrips(std::string_view gbk) { return Utf16ToGbk(GbkToUtf16(gbk)) == gbk; }
bool Utf16RoundTrips(std::u16string_view u) { return GbkToUtf16(Utf16ToGbk(u)) == u; }

// The physical lines of `s` with their 1-based numbers, for finding the one a
// whole-text check failed on.
template <typename Char>
std::vector<std::basic_string_view<Char>> Lines(std::basic_string_view<Char> s) {
  std::vector<std::basic_string_view<Char>> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == Char('\n') || s[i] == Char('\r')) {
      lines.push_back(s.substr(start, i - start));
      if (s[i] == Char('\r') && i + 1 < s.size() && s[i + 1] == Char('\n')) ++i;
      start = i + 1;
    }
  }
  lines.push_back(s.substr(start));
  return lines;
}

// The first character of UTF-16 text without a GBK form, with its line.
RuleCsvRefusal OutsideGbk(std::u16string_view text) {
  const auto lines = Lines(text);
  for (std::size_t n = 0; n < lines.size(); ++n) {
    if (Utf16RoundTrips(lines[n])) continue;
    const std::u16string_view line = lines[n];
    for (std::size_t i = 0; i < line.size(); ++i) {
      const bool pair = line[i] >= 0xD800 && line[i] <= 0xDBFF && i + 1 < line.size();
      const std::u16string_view one = line.substr(i, pair ? 2 : 1);
      if (Utf16RoundTrips(one)) {
        if (pair) ++i;
        continue;
      }
      RuleCsvRefusal r = Refuse(RuleCsvRefusalKind::OutsideGbk, n + 1);
      r.character = pair ? 0x10000 + ((char32_t(one[0]) - 0xD800) << 10) + (one[1] - 0xDC00)
                         : char32_t(one[0]);
      return r;
    }
    return Refuse(RuleCsvRefusalKind::OutsideGbk, n + 1);
  }
  return Refuse(RuleCsvRefusalKind::OutsideGbk, 1);
}

// The first line of GBK text whose characters do not all exist in GBK.
std::size_t FirstLineNotGbk(std::string_view text) {
  const auto lines = Lines(text);
  for (std::size_t n = 0; n < lines.size(); ++n)
    if (!GbkRoundTrips(lines[n])) return n + 1;
  return 1;
}

// Unicode text to GBK, refused at the first character GBK has no form for.
std::optional<RuleCsvRefusal> FromUnicode(std::u16string_view text, Text* gbk) {
  *gbk = Utf16ToGbk(text);
  if (GbkToUtf16(*gbk) != text) return OutsideGbk(text);
  return std::nullopt;
}

// The file's text in GBK, whatever encoding it came in.
std::optional<RuleCsvRefusal> DecodeFile(std::string_view bytes, Text* gbk) {
  std::u16string u;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    const std::string_view body = bytes.substr(3);
    if (const std::size_t bad = DecodeUtf8(body, &u); bad != kValid)
      return Refuse(RuleCsvRefusalKind::NotText, LineOf(body, bad));
    return FromUnicode(u, gbk);
  }
  if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
    if (const std::size_t bad = DecodeUtf16(bytes.substr(2), bytes[0] == '\xFE', &u); bad != kValid)
      return Refuse(RuleCsvRefusalKind::NotText, LineOf(std::u16string_view(u), bad));
    return FromUnicode(u, gbk);
  }
  const std::size_t badUtf8 = DecodeUtf8(bytes, &u);
  if (badUtf8 == kValid) return FromUnicode(u, gbk);
  if (const std::size_t badGbk = GbkFormProblem(bytes); badGbk != kValid) {
    // Neither: the encoding that reads further is the likelier one, so its
    // first bad line is the one to show.
    return Refuse(RuleCsvRefusalKind::NotText,
                  std::max(LineOf(bytes, badUtf8), LineOf(bytes, badGbk)));
  }
  if (!GbkRoundTrips(bytes)) return Refuse(RuleCsvRefusalKind::NotText, FirstLineNotGbk(bytes));
  *gbk = Text(bytes);
  return std::nullopt;
}

// ---- Records ------------------------------------------------------------------

struct Record {
  std::size_t line = 0;  // where it starts
  std::vector<Text> cells;
};

// The separator: a tab when the first line has more tabs than commas.
char SeparatorOf(std::string_view text) {
  const std::string_view first = text.substr(0, text.find_first_of("\r\n"));
  return std::count(first.begin(), first.end(), '\t') > std::count(first.begin(), first.end(), ',')
             ? '\t'
             : ',';
}

// Splits GBK text into RFC 4180 records. The separator, quotes and line ends
// are ASCII, and no second byte of a GBK character is one of them, so the
// bytes can be scanned one by one. A quote inside an unquoted field, or after
// a closing quote, is kept as a character.
std::optional<RuleCsvRefusal> SplitRecords(std::string_view text, char separator,
                                           std::vector<Record>* records) {
  std::size_t line = 1;
  Record record{1, {}};
  Text cell;
  bool quoted = false;
  std::size_t quoteLine = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool lineEnd = c == '\n' || c == '\r';
    const bool crlf = c == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        cell += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        cell += c;
        if (crlf) cell += text[++i];
        if (lineEnd) ++line;
      }
    } else if (c == '"' && cell.empty()) {
      quoted = true;
      quoteLine = line;
    } else if (c == separator) {
      record.cells.push_back(std::move(cell));
      cell.clear();
    } else if (lineEnd) {
      if (crlf) ++i;
      record.cells.push_back(std::move(cell));
      cell.clear();
      records->push_back(std::move(record));
      record = Record{++line, {}};
    } else {
      cell += c;
    }
  }
  if (quoted) return Refuse(RuleCsvRefusalKind::UnclosedQuote, quoteLine);
  if (!record.cells.empty() || !cell.empty()) {
    record.cells.push_back(std::move(cell));
    records->push_back(std::move(record));
  }
  return std::nullopt;
}

bool IsBlank(const Record& record) {
  return std::all_of(record.cells.begin(), record.cells.end(),
                     [](const Text& c) { return TrimBlanks(c).empty(); });
}

// ---- Header -----------------------------------------------------------------

enum Column { kKeywords, kReply, kMatch, kCode, kColumns };

const char* const kChineseNames[kColumns] = {kKeywordsField, kReplyField, kMatchRuleField,
                                             kMatchCodeField};
const char* const kEnglishNames[kColumns] = {"keyword", "reply", "match", "code"};

bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

int ColumnNamed(std::string_view name) {
  for (int k = 0; k < kColumns; ++k)
    if (name == kChineseNames[k] || EqualsIgnoringAsciiCase(name, kEnglishNames[k])) return k;
  return -1;
}

// Where each of the four columns is, and which other columns have names.
struct Header {
  std::array<std::size_t, kColumns> position{};
  std::vector<bool> named;  // per cell of the header: it has a name
};

std::optional<RuleCsvRefusal> ReadHeader(const Record& record, Header* header,
                                         std::vector<RuleCsvNote>* notes) {
  std::array<bool, kColumns> found{};
  for (std::size_t i = 0; i < record.cells.size(); ++i) {
    const Text name = TrimBlanks(record.cells[i]);
    header->named.push_back(!name.empty());
    const int k = ColumnNamed(name);
    if (k < 0) {
      if (!name.empty()) notes->push_back({RuleCsvNoteKind::IgnoredColumn, record.line, name});
      continue;
    }
    if (found[k]) return Refuse(RuleCsvRefusalKind::DuplicateColumn, record.line, name);
    found[k] = true;
    header->position[k] = i;
  }
  if (std::none_of(found.begin(), found.end(), [](bool f) { return f; }))
    return Refuse(RuleCsvRefusalKind::NoHeader, record.line);
  for (int k = 0; k < kColumns; ++k)
    if (!found[k]) return Refuse(RuleCsvRefusalKind::MissingColumn, record.line, kChineseNames[k]);
  return std::nullopt;
}

// ---- Rows ---------------------------------------------------------------------

// A match code: an optional sign and decimal digits, half- or full-width,
// blanks around, within the 32-bit range; its decimal text.
std::optional<Text> ReadCode(std::string_view cell) {
  Text ascii;
  const Text trimmed = TrimBlanks(cell);
  for (std::size_t at = 0; at < trimmed.size();) {
    const std::size_t w = GbkCharWidth(trimmed, at);
    const auto lo = static_cast<unsigned char>(trimmed[at + w - 1]);
    if (w == 2 && trimmed[at] == '\xA3' && ((lo >= 0xB0 && lo <= 0xB9) || lo == 0xAB || lo == 0xAD))
      ascii += static_cast<char>(lo - 0x80);  // full-width digits and signs
    else
      ascii.append(trimmed, at, w);
    at += w;
  }
  std::size_t i = ascii.empty() || (ascii[0] != '+' && ascii[0] != '-') ? 0 : 1;
  if (i == ascii.size()) return std::nullopt;
  std::int64_t value = 0;
  for (; i < ascii.size(); ++i) {
    if (ascii[i] < '0' || ascii[i] > '9') return std::nullopt;
    value = value * 10 + (ascii[i] - '0');
    if (value > std::int64_t{INT32_MAX} + 1) return std::nullopt;
  }
  if (ascii[0] == '-') value = -value;
  if (value > INT32_MAX || value < INT32_MIN) return std::nullopt;
  return ToText(value);
}

std::optional<RuleCsvRefusal> CheckWidth(std::size_t line, const Text& text, const char* field,
                                         std::int32_t width) {
  if (text.size() <= static_cast<std::size_t>(std::max(width, 0))) return std::nullopt;
  RuleCsvRefusal r = Refuse(RuleCsvRefusalKind::TooLong, line, field);
  r.width = width;
  r.length = text.size();
  return r;
}

std::optional<RuleCsvRefusal> ReadRow(const Record& record, const Header& header,
                                      const std::array<std::int32_t, 3>& widths, RuleRow* row,
                                      std::vector<RuleCsvNote>* notes) {
  for (std::size_t i = 0; i < record.cells.size(); ++i) {
    const bool unnamed = i >= header.named.size() || !header.named[i];
    if (unnamed && !TrimBlanks(record.cells[i]).empty())
      return Refuse(RuleCsvRefusalKind::ExtraCell, record.line, record.cells[i]);
  }
  auto cell = [&](Column k) {
    const std::size_t at = header.position[k];
    return at < record.cells.size() ? record.cells[at] : Text();
  };
  row->keywords = cell(kKeywords);
  row->reply = cell(kReply);
  row->matchRule = TrimBlanks(cell(kMatch));
  const std::size_t line = record.line;
  for (const auto& [text, k] :
       {std::pair{&row->keywords, kKeywords}, std::pair{&row->reply, kReply},
        std::pair{&row->matchRule, kMatch}}) {
    if (auto r = CheckWidth(line, *text, kChineseNames[k], widths[k])) return r;
  }
  const std::optional<Text> code = ReadCode(cell(kCode));
  if (!code) return Refuse(RuleCsvRefusalKind::BadCode, line, TrimBlanks(cell(kCode)));
  row->matchCode = *code;
  if (TrimBlanks(row->keywords).empty())
    notes->push_back({RuleCsvNoteKind::EmptyKeywords, line, {}});
  if (TrimBlanks(row->reply).empty()) notes->push_back({RuleCsvNoteKind::EmptyReply, line, {}});
  if (row->matchRule != kContainsRule && row->matchRule != kExactRule &&
      row->matchRule != kInMessageRule)
    notes->push_back({RuleCsvNoteKind::UnknownMatchRule, line, row->matchRule});
  return std::nullopt;
}

std::optional<RuleCsvRefusal> ReadRecords(const std::vector<Record>& records,
                                          const std::array<std::int32_t, 3>& widths,
                                          RuleCsvRead* read) {
  auto next =
      std::find_if(records.begin(), records.end(), [](const Record& r) { return !IsBlank(r); });
  if (next == records.end())
    return Refuse(RuleCsvRefusalKind::NoHeader, records.empty() ? 1 : records.front().line);
  Header header;
  const std::size_t headerLine = next->line;
  if (auto r = ReadHeader(*next, &header, &read->notes)) return r;
  for (++next; next != records.end(); ++next) {
    if (IsBlank(*next)) continue;
    RuleRow row;
    if (auto r = ReadRow(*next, header, widths, &row, &read->notes)) return r;
    read->rows.push_back(std::move(row));
  }
  if (read->rows.empty()) return Refuse(RuleCsvRefusalKind::NoRows, headerLine);
  return std::nullopt;
}

// ---- Writing ------------------------------------------------------------------

void AppendField(Text* out, std::string_view field) {
  const bool quote = field.find_first_of(",\"\r\n\t") != std::string_view::npos ||
                     (!field.empty() && (field.front() == ' ' || field.back() == ' '));
  if (!quote) {
    out->append(field);
    return;
  }
  *out += '"';
  for (char c : field) {
    if (c == '"') *out += '"';
    *out += c;
  }
  *out += '"';
}

// ---- Messages -----------------------------------------------------------------

// A text cut for a message: at most 40 bytes, whole GBK characters.
Text Quoted(std::string_view text) {
  constexpr std::size_t kMost = 40;
  if (text.size() <= kMost) return Text(text);
  std::size_t end = 0;
  while (end < text.size() && end + GbkCharWidth(text, end) <= kMost)
    end += GbkCharWidth(text, end);
  return Text(text.substr(0, end)) + "...";
}

Text English(const Text& chineseColumn) {
  for (int k = 0; k < kColumns; ++k)
    if (chineseColumn == kChineseNames[k]) return kEnglishNames[k];
  return chineseColumn;
}

Text CodePoint(char32_t c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "U+%04X", static_cast<unsigned>(c));
  return buf;
}

Text ChineseText(const RuleCsvRefusal& r) {
  using K = RuleCsvRefusalKind;
  switch (r.kind) {
    case K::NotText:
      return "文件不是文本（不是 UTF-8、UTF-16 或 GBK 编码），请在表格程序里另存为 CSV";
    case K::UnclosedQuote:
      return "这一行开始的引号没有结束";
    case K::NoHeader:
      return "没有标题行，第一行应为：关键词,回复语,匹配规则,匹配码";
    case K::MissingColumn:
      return "标题行缺少“" + r.text + "”列";
    case K::DuplicateColumn:
      return "标题行的“" + r.text + "”列出现了两次";
    case K::NoRows:
      return "标题行下面没有规则";
    case K::ExtraCell:
      return "“" + Quoted(r.text) + "”在没有标题的列里，可能是少了引号";
    case K::BadCode:
      return r.text.empty() ? Text("匹配码为空，请填写整数，例如 0")
                            : "匹配码“" + Quoted(r.text) + "”不是整数（-2147483648 到 2147483647）";
    case K::OutsideGbk:
      return "有一个字符（" + CodePoint(r.character) + "）无法保存，请删除或换掉它";
    case K::TooLong:
      return r.text + "太长：" + ToText(static_cast<std::uint64_t>(r.length)) + " 字节，最多 " +
             ToText(r.width) + " 字节（一个汉字占 2 字节）";
  }
  return {};
}

Text EnglishText(const RuleCsvRefusal& r) {
  using K = RuleCsvRefusalKind;
  switch (r.kind) {
    case K::NotText:
      return "the file is not text (not UTF-8, UTF-16 or GBK); save it as CSV from the spreadsheet";
    case K::UnclosedQuote:
      return "a quote that opens on this line is not closed";
    case K::NoHeader:
      return "no header row; the first row should be: keyword,reply,match,code";
    case K::MissingColumn:
      return "the header has no column \"" + English(r.text) + "\"";
    case K::DuplicateColumn:
      return "the header names the column \"" + r.text + "\" twice";
    case K::NoRows:
      return "there are no rules below the header row";
    case K::ExtraCell:
      return "\"" + Quoted(r.text) + "\" is in a column without a name; a quote may be missing";
    case K::BadCode:
      return r.text.empty() ? Text("the match code is empty; write a whole number such as 0")
                            : "match code \"" + Quoted(r.text) +
                                  "\" is not a whole number (-2147483648 to 2147483647)";
    case K::OutsideGbk:
      return "a character (" + CodePoint(r.character) + ") cannot be stored; remove or replace it";
    case K::TooLong:
      return English(r.text) + " is too long: " + ToText(static_cast<std::uint64_t>(r.length)) +
             " bytes, at most " + ToText(r.width) + " (a Chinese character takes 2)";
  }
  return {};
}

Text ChineseText(const RuleCsvNote& n) {
  switch (n.kind) {
    case RuleCsvNoteKind::UnknownMatchRule:
      return "匹配规则“" + Quoted(n.text) +
             "”不是“包含”、“完全匹配”或“消息中包含”，将按完全匹配处理";
    case RuleCsvNoteKind::EmptyKeywords:
      return "关键词为空，这条规则不会匹配任何消息";
    case RuleCsvNoteKind::EmptyReply:
      return "回复语为空";
    case RuleCsvNoteKind::IgnoredColumn:
      return "“" + Quoted(n.text) + "”列不是规则的列，已忽略";
  }
  return {};
}

Text EnglishText(const RuleCsvNote& n) {
  switch (n.kind) {
    case RuleCsvNoteKind::UnknownMatchRule:
      return "match rule \"" + Quoted(n.text) +
             "\" is none of \"包含\" (the keyword contains the message), \"完全匹配\" (exact) "
             "and \"消息中包含\" (the message contains the keyword); it will be tested as an exact "
             "match";
    case RuleCsvNoteKind::EmptyKeywords:
      return "the keywords are empty; this rule will never match";
    case RuleCsvNoteKind::EmptyReply:
      return "the reply is empty";
    case RuleCsvNoteKind::IgnoredColumn:
      return "column \"" + Quoted(n.text) + "\" is not a rule column and is ignored";
  }
  return {};
}

Text WithLine(std::size_t line, const Text& text, MessageLanguage language) {
  const Text number = ToText(static_cast<std::uint64_t>(line));
  return language == MessageLanguage::Chinese ? "第 " + number + " 行：" + text
                                              : "line " + number + ": " + text;
}

}  // namespace

RuleCsvRead ReadRuleCsv(std::string_view fileBytes, const std::array<std::int32_t, 3>& widths) {
  RuleCsvRead read;
  Text text;
  std::vector<Record> records;
  std::optional<RuleCsvRefusal> refusal = DecodeFile(fileBytes, &text);
  if (!refusal) refusal = SplitRecords(text, SeparatorOf(text), &records);
  if (!refusal) refusal = ReadRecords(records, widths, &read);
  if (refusal) {
    read.rows.clear();
    read.refusal = std::move(refusal);
  }
  return read;
}

Bytes WriteRuleCsv(const std::vector<RuleRow>& rows) {
  // Built in GBK and converted once: the separators, quotes and line ends are
  // ASCII in both encodings.
  Text gbk;
  for (int k = 0; k < kColumns; ++k) {
    if (k) gbk += ',';
    gbk += kChineseNames[k];
  }
  gbk += "\r\n";
  for (const RuleRow& row : rows) {
    for (const Text* field : {&row.keywords, &row.reply, &row.matchRule, &row.matchCode}) {
      if (field != &row.keywords) gbk += ',';
      AppendField(&gbk, *field);
    }
    gbk += "\r\n";
  }
  const std::string utf8 = "\xEF\xBB\xBF" + GbkToUtf8(gbk);
  return Bytes(utf8.begin(), utf8.end());
}

Text RuleCsvMessage(const RuleCsvRefusal& refusal, MessageLanguage language) {
  return WithLine(
      refusal.line,
      language == MessageLanguage::Chinese ? ChineseText(refusal) : EnglishText(refusal), language);
}

Text RuleCsvMessage(const RuleCsvNote& note, MessageLanguage language) {
  return WithLine(note.line,
                  language == MessageLanguage::Chinese ? ChineseText(note) : EnglishText(note),
                  language);
}

}  // namespace quillane
