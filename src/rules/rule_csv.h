// Rules in and out as CSV files, the way shops keep them in a spreadsheet.
// One code for the settings window and for edbtool.
//
// Reading: the encoding is found by the file's bytes: UTF-8 with or without
// a byte-order mark, UTF-16 LE or BE with a byte-order mark (Excel's
// "Unicode 文本", tab-separated), otherwise GBK. Records follow RFC 4180
// (quoted fields may hold the separator, doubled quotes and line breaks;
// lines end in CRLF or LF). The separator is a comma, or a tab when the
// header line is tab-separated. The first record is the header: the four
// columns named 关键词, 回复语, 匹配规则, 匹配码, or keyword, reply, match,
// code (any ASCII case), blanks around the names ignored, in any order;
// columns with other names are ignored (a note says so), unnamed ones must be
// empty. Rows whose cells are all blank are skipped.
//
// Each row becomes a RuleRow in GBK, as the program keeps its texts:
// - keywords and reply as written (blanks kept), each at most its field's
//   width in GBK bytes;
// - the match rule with blanks trimmed; a text other than "包含",
//   "完全匹配" or "消息中包含" is kept and noted (it is tested as an exact
//   match);
// - the match code as decimal text: a whole number with an optional sign,
//   half- or full-width digits, blanks around ignored, within the 32-bit
//   range. An empty code is refused like any other non-number: the settings
//   window asks for a code too, and a blank cell is more likely a slip than a
//   wish for 0.
//
// The reader is pure: it changes nothing, and callers act on the rows only
// when the whole file was read (no refusal).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "rules/rule_schema.h"
#include "rules/rule_store.h"
#include "services/types.h"

namespace quillane {

// Why a file was not read. Every refusal names the line where the problem is
// (1-based physical lines of the file; for a record, the line it starts on).
enum class RuleCsvRefusalKind {
  NotText,          // neither UTF-8, UTF-16 nor GBK: the first line that is not
  UnclosedQuote,    // a quoted field runs to the end of the file: the line it opens on
  NoHeader,         // no header row with the column names (also an empty file)
  MissingColumn,    // the header lacks a column: `text` is its Chinese name
  DuplicateColumn,  // the header names a column twice: `text` is the name as written
  NoRows,           // a header and no rules: the header's line
  ExtraCell,        // a row has text in a column without a name: `text` is that text
  BadCode,          // the match code is not a whole number in range: `text` is the code
  OutsideGbk,       // a character the program cannot keep: `character` is its code point
  TooLong,          // a text longer than its field: `text` the field's name, `width`, `length`
};

struct RuleCsvRefusal {
  RuleCsvRefusalKind kind = RuleCsvRefusalKind::NoHeader;
  std::size_t line = 0;
  Text text;               // GBK; see the kinds
  char32_t character = 0;  // OutsideGbk
  std::int32_t width = 0;  // TooLong: the field's width in bytes
  std::size_t length = 0;  // TooLong: the text's length in GBK bytes
};

// Things worth telling staff about a file that was read.
enum class RuleCsvNoteKind {
  UnknownMatchRule,  // `text` is the match rule, which will be tested as an exact match
  EmptyKeywords,     // the rule has no keywords and will never match
  EmptyReply,        // the rule replies with an empty text
  IgnoredColumn,     // a header column with another name: `text` is the name
};

struct RuleCsvNote {
  RuleCsvNoteKind kind = RuleCsvNoteKind::UnknownMatchRule;
  std::size_t line = 0;
  Text text;  // GBK; see the kinds
};

struct RuleCsvRead {
  std::vector<RuleRow> rows;  // empty when refused
  std::vector<RuleCsvNote> notes;
  std::optional<RuleCsvRefusal> refusal;
  bool ok() const { return !refusal.has_value(); }
};

// The widths in bytes of the three text fields of a new rule table.
inline constexpr std::array<std::int32_t, 3> kNewRuleTableWidths = {
    kRuleKeywordWidth, kRuleReplyWidth, kRuleMatchWidth};

// Reads a whole CSV file (its bytes as they lie on the disk). `widths` are the
// widths of the keyword, reply and match-rule fields the rows must fit (for
// the open rule table: RuleTextWidths()).
RuleCsvRead ReadRuleCsv(std::string_view fileBytes,
                        const std::array<std::int32_t, 3>& widths = kNewRuleTableWidths);

// The rows as a CSV file that Excel and WPS open by double-click: UTF-8 with
// a byte-order mark, CRLF line ends, the Chinese header, fields quoted where
// they hold a comma, a quote, a line break or blanks at either end.
Bytes WriteRuleCsv(const std::vector<RuleRow>& rows);

// The language of messages for people.
enum class MessageLanguage { Chinese, English };

// A refusal or a note as one line for staff, naming the line of the file,
// e.g. "第 7 行：匹配码“abc”不是整数". The result is GBK (the program's text
// encoding) in either language; offending texts are quoted in it.
Text RuleCsvMessage(const RuleCsvRefusal& refusal, MessageLanguage language);
Text RuleCsvMessage(const RuleCsvNote& note, MessageLanguage language);

}  // namespace quillane
