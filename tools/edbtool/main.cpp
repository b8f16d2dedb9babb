// edbtool: table files from the command line.
//   edbtool dump FILE [--password P]
//   edbtool rules-to-csv TABLE CSV
//   edbtool rules-from-csv CSV TABLE
//   edbtool sort IN OUT FIELD [--desc] [--password P]
// Arguments and CSV files are UTF-8; the engine works in GBK. On failure the
// exit status is 1 and stderr carries the engine's code and text.
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#endif

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "rules/rule_schema.h"
#include "services/encoding.h"
#include "services/unique_handle.h"
#include "services/values.h"
#include "table/engine.h"

using namespace quillane;
using namespace quillane::table;

namespace {

// The rule table's header line and alias used by the tool.
// 关键词,回复语,匹配规则,匹配码 in UTF-8.
const char kCsvHeader[] =
    "\xE5\x85\xB3\xE9\x94\xAE\xE8\xAF\x8D"
    ","
    "\xE5\x9B\x9E\xE5\xA4\x8D\xE8\xAF\xAD"
    ","
    "\xE5\x8C\xB9\xE9\x85\x8D\xE8\xA7\x84\xE5\x88\x99"
    ","
    "\xE5\x8C\xB9\xE9\x85\x8D\xE7\xA0\x81";
const char kAlias[] = "edbtool";

int Fail(const std::string& what) {
  const int code = LastError();
#ifdef QUILLANE_UTF8_LITERALS
  const std::string text = ErrorText(code);  // the texts are UTF-8 already in such builds
#else
  const std::string text = GbkToUtf8(ErrorText(code));
#endif
  std::fprintf(stderr, "edbtool: %s: %d %s\n", what.c_str(), code, text.c_str());
  return 1;
}

int Usage() {
  std::fprintf(stderr,
               "usage: edbtool dump FILE [--password P]\n"
               "       edbtool rules-to-csv TABLE CSV\n"
               "       edbtool rules-from-csv CSV TABLE\n"
               "       edbtool sort IN OUT FIELD [--desc] [--password P]\n");
  return 2;
}

std::string JsonString(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out.push_back(static_cast<char>(c));
        }
    }
  }
  return out + "\"";
}

std::string JsonNumber(double d) {
  if (!std::isfinite(d)) return "null";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", d);
  return buf;
}

const char* TypeName(std::int32_t type) {
  static const char* const kNames[] = {"",      "byte",   "short",   "integer",  "long",
                                       "float", "double", "boolean", "datetime", "subroutine",
                                       "text",  "bytes",  "memo"};
  return type >= 1 && type <= 12 ? kNames[type] : "unknown";
}

std::string JsonValue(const Value& v) {
  struct Visitor {
    std::string operator()(std::monostate) const { return "null"; }
    std::string operator()(std::uint8_t x) const { return std::to_string(x); }
    std::string operator()(std::int16_t x) const { return std::to_string(x); }
    std::string operator()(std::int32_t x) const { return std::to_string(x); }
    std::string operator()(std::int64_t x) const { return std::to_string(x); }
    std::string operator()(float x) const { return JsonNumber(x); }
    std::string operator()(double x) const { return JsonNumber(x); }
    std::string operator()(bool x) const { return x ? "true" : "false"; }
    std::string operator()(const DateTime& x) const { return JsonNumber(x.days); }
    std::string operator()(RoutinePointer p) const {
      return std::to_string(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p)));
    }
    std::string operator()(const Text& t) const { return JsonString(GbkToUtf8(t)); }
    std::string operator()(const Bytes& b) const {
      static const char k[] = "0123456789abcdef";
      std::string s = "\"";
      for (auto c : b) {
        s.push_back(k[c >> 4]);
        s.push_back(k[c & 15]);
      }
      return s + "\"";
    }
  };
  return std::visit(Visitor{}, v);
}

int Dump(const std::string& file, const std::string& password) {
  if (!OpenTable(Utf8ToGbk(file), kAlias, Utf8ToGbk(password), OpenOptions{true, 1}))
    return Fail("cannot open " + file);
  const auto fields = TableFields(kAlias);
  std::string out = "{\"fields\":[";
  for (std::size_t k = 0; k < fields.size(); ++k) {
    if (k) out += ",";
    out += "{\"name\":" + JsonString(GbkToUtf8(fields[k].name)) +
           ",\"type\":" + JsonString(TypeName(fields[k].type)) +
           ",\"width\":" + std::to_string(fields[k].width) + "}";
  }
  out += "],\"records\":[";
  const bool read = ReadRecords(kAlias, 1, -1, [&](const RecordView& record) {
    out += record.Number() > 1 ? ",{" : "{";
    out += "\"serial\":" + std::to_string(record.Serial()) + ",\"values\":[";
    for (std::size_t k = 0; k < fields.size(); ++k) {
      if (k) out += ",";
      out += JsonValue(record.Get(static_cast<int>(k + 1)));
    }
    out += "]}";
    return true;
  });
  if (!read) return Fail("cannot read the records of " + file);
  out += "]}\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  CloseTable(kAlias);
  return 0;
}

// Appends a CSV field: quoted, with quotes doubled, when it holds a comma,
// a quote or a line break.
void AppendCsvField(std::string& out, const std::string& s) {
  const bool quote = std::any_of(
      s.begin(), s.end(), [](char c) { return c == ',' || c == '"' || c == '\r' || c == '\n'; });
  if (!quote) {
    out += s;
    return;
  }
  out += '"';
  for (char c : s) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

// RFC 4180 records: quoted fields may hold commas, quotes (doubled) and line
// breaks; lines end in CRLF or LF. False for an unterminated quote.
bool ParseCsv(const std::string& text, std::vector<std::vector<std::string>>* rows) {
  std::vector<std::string> row;
  std::string field;
  bool quoted = false, any = false;
  std::size_t i = 0;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) i = 3;  // a byte-order mark
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"') {
        if (i + 1 < text.size() && text[i + 1] == '"') {
          field += '"';
          ++i;
        } else {
          quoted = false;
        }
      } else {
        field += c;
      }
      continue;
    }
    if (c == '"') {
      quoted = true;
      any = true;
    } else if (c == ',') {
      row.push_back(field);
      field.clear();
      any = true;
    } else if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      if (any || !field.empty()) {
        row.push_back(field);
        rows->push_back(row);
      }
      row.clear();
      field.clear();
      any = false;
    } else {
      field += c;
      any = true;
    }
  }
  if (quoted) return false;
  if (any || !field.empty()) {
    row.push_back(field);
    rows->push_back(row);
  }
  return true;
}

bool ReadFile(const std::string& path, std::string* out) {
#ifdef _WIN32
  const std::u16string w = GbkToUtf16(Utf8ToGbk(path));
  FILE* f = _wfopen(reinterpret_cast<const wchar_t*>(w.c_str()), L"rb");
#else
  FILE* f = std::fopen(path.c_str(), "rb");
#endif
  if (!f) return false;
  char buf[65536];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->append(buf, n);
  std::fclose(f);
  return true;
}

bool WriteFile(const std::string& path, const std::string& data) {
#ifdef _WIN32
  const std::u16string w = GbkToUtf16(Utf8ToGbk(path));
  FILE* f = _wfopen(reinterpret_cast<const wchar_t*>(w.c_str()), L"wb");
#else
  FILE* f = std::fopen(path.c_str(), "wb");
#endif
  if (!f) return false;
  const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok;
}

// A match code as the program reads one (leading blanks, a sign, digits, also
// full-width ones), held to the 32-bit range.
std::int32_t ParseCode(const std::string& utf8) {
  const std::int64_t v = ToWideInteger(Utf8ToGbk(utf8));
  return static_cast<std::int32_t>(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX));
}

// GBK texts, each ended by a 0 byte, converted to UTF-8 in one call: no text
// holds a 0 byte and no double-byte character contains one, so they come
// apart again at the 0 bytes of the result. Should a damaged character have
// taken a 0 byte with it, each text is converted on its own instead.
std::vector<std::string> TextsToUtf8(const std::string& texts) {
  const auto count = static_cast<std::size_t>(std::count(texts.begin(), texts.end(), '\0'));
  const std::string all = GbkToUtf8(texts);
  std::vector<std::string> out;
  out.reserve(count);
  const bool apart = static_cast<std::size_t>(std::count(all.begin(), all.end(), '\0')) == count;
  const std::string& from = apart ? all : texts;
  for (std::size_t start = 0; out.size() < count;) {
    const std::size_t end = from.find('\0', start);
    const std::string_view text(from.data() + start, end - start);
    out.push_back(apart ? std::string(text) : GbkToUtf8(text));
    start = end + 1;
  }
  return out;
}

int RulesToCsv(const std::string& table, const std::string& csv) {
  if (!OpenTable(Utf8ToGbk(table), kAlias, kRulePassword, OpenOptions{true, 1}))
    return Fail("cannot open " + table);
  if (TableFields(kAlias).size() < 4) {
    std::fprintf(stderr, "edbtool: %s is not a rule table\n", table.c_str());
    return 1;
  }
  // The cells in GBK, the texts among them converted all at once.
  std::vector<std::string> cells;
  std::vector<bool> isText;
  std::string texts;
  const bool read = ReadRecords(kAlias, 1, -1, [&](const RecordView& record) {
    for (int k = 1; k <= 4; ++k) {
      const Value v = record.Get(k);
      if (auto* t = std::get_if<Text>(&v)) {
        texts.append(*t).push_back('\0');
        cells.emplace_back();
        isText.push_back(true);
        continue;
      }
      const std::int32_t* i = std::get_if<std::int32_t>(&v);
      cells.push_back(i ? std::to_string(*i) : std::string());
      isText.push_back(false);
    }
    return true;
  });
  if (!read) return Fail("cannot read the records of " + table);
  const std::vector<std::string> converted = TextsToUtf8(texts);
  std::string out = std::string(kCsvHeader) + "\r\n";
  out.reserve(out.size() + converted.size() * 64);
  for (std::size_t c = 0, t = 0; c < cells.size(); ++c) {
    AppendCsvField(out, isText[c] ? converted[t++] : cells[c]);
    out += c % 4 == 3 ? "\r\n" : ",";
  }
  CloseTable(kAlias);
  if (!WriteFile(csv, out)) {
    std::fprintf(stderr, "edbtool: cannot write %s\n", csv.c_str());
    return 1;
  }
  return 0;
}

int RulesFromCsv(const std::string& csv, const std::string& table) {
  std::string text;
  if (!ReadFile(csv, &text)) {
    std::fprintf(stderr, "edbtool: cannot read %s\n", csv.c_str());
    return 1;
  }
  std::vector<std::vector<std::string>> rows;
  if (!ParseCsv(text, &rows)) {
    std::fprintf(stderr, "edbtool: %s: a quoted field is not closed\n", csv.c_str());
    return 1;
  }
  std::size_t first = 0;
  if (!rows.empty() && rows[0].size() == 4 &&
      rows[0][0] + "," + rows[0][1] + "," + rows[0][2] + "," + rows[0][3] == kCsvHeader)
    first = 1;
  for (std::size_t r = first; r < rows.size(); ++r) {
    if (rows[r].size() != 4) {
      std::fprintf(stderr, "edbtool: %s: record %zu has %zu fields, not 4\n", csv.c_str(), r + 1,
                   rows[r].size());
      return 1;
    }
  }
  const Text path = Utf8ToGbk(table);
  if (!WriteNewTableFile(path, MakeEmptyRuleTable())) return Fail("cannot create " + table);
  if (!OpenTable(path, kAlias, kRulePassword)) return Fail("cannot open " + table);
  for (std::size_t r = first; r < rows.size(); ++r) {
    if (!AppendRecord()) return Fail("cannot append a record");
    for (int k = 0; k < 3; ++k)
      if (!WriteField(k + 1, kAlias, Utf8ToGbk(rows[r][static_cast<std::size_t>(k)])))
        return Fail("cannot write record " + std::to_string(r + 1 - first));
    if (!WriteField(4, kAlias, ParseCode(rows[r][3])))
      return Fail("cannot write record " + std::to_string(r + 1 - first));
  }
  if (!FlushTable(kAlias)) return Fail("cannot flush " + table);
  CloseTable(kAlias);
  return 0;
}

int Sort(const std::string& in, const std::string& out, const std::string& field, bool descending,
         const std::string& password) {
  if (!OpenTable(Utf8ToGbk(in), kAlias, Utf8ToGbk(password))) return Fail("cannot open " + in);
  if (!SortTable(Utf8ToGbk(out), Utf8ToGbk(field), !descending))
    return Fail("cannot sort into " + out);
  CloseTable(kAlias);
  return 0;
}

std::vector<std::string> Arguments(int argc, char** argv) {
  std::vector<std::string> args;
#ifdef _WIN32
  // The wide command line, so the arguments do not depend on the code page.
  (void)argv;
  int n = 0;
  const quillane::UniqueArgv wide(CommandLineToArgvW(GetCommandLineW(), &n));
  for (int k = 1; wide && k < n; ++k) args.push_back(GbkToUtf8(GbkFromWide(wide.get()[k])));
  (void)argc;
#else
  for (int k = 1; k < argc; ++k) args.emplace_back(argv[k]);
#endif
  return args;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  std::vector<std::string> args = Arguments(argc, argv);
  std::string password;
  bool descending = false;
  std::vector<std::string> plain;
  for (std::size_t k = 0; k < args.size(); ++k) {
    if (args[k] == "--password" && k + 1 < args.size()) {
      password = args[++k];
    } else if (args[k] == "--desc") {
      descending = true;
    } else {
      plain.push_back(args[k]);
    }
  }
  if (plain.empty()) return Usage();
  const std::string& command = plain[0];
  int rc;
  if (command == "dump" && plain.size() == 2) {
    rc = Dump(plain[1], password);
  } else if (command == "rules-to-csv" && plain.size() == 3) {
    rc = RulesToCsv(plain[1], plain[2]);
  } else if (command == "rules-from-csv" && plain.size() == 3) {
    rc = RulesFromCsv(plain[1], plain[2]);
  } else if (command == "sort" && plain.size() == 4) {
    rc = Sort(plain[1], plain[2], plain[3], descending, password);
  } else {
    return Usage();
  }
  CloseAllTables();
  return rc;
}
