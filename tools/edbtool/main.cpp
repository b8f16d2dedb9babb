// edbtool: table files from the command line.
//   edbtool dump FILE [--password P]
//   edbtool rules-to-csv TABLE CSV
//   edbtool rules-from-csv CSV TABLE
//   edbtool sort IN OUT FIELD [--desc] [--password P]
//   edbtool answer TABLE TEXT...
//   edbtool --version
// Arguments are UTF-8 (natively) or the wide command line (Windows); the
// engine works in GBK. Messages are in the user's language and name the
// cause of a failure; the exit code tells its kind (see the usage text).
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#endif

#include <cmath>
#include <optional>
#include <cstdio>
#include <string>
#include <vector>

#include "quillane_version.h"
#include "rules/rule_schema.h"
#include "services/encoding.h"
#include "services/unique_handle.h"
#include "services/values.h"
#include "table/engine.h"
#include "tools/edbtool/console.h"
#include "tools/edbtool/outcome.h"
#include "tools/edbtool/rule_commands.h"

using namespace quillane;
using namespace quillane::table;
using namespace quillane::edbtool;

namespace {

const char kAlias[] = "edbtool";

// The language of every message of this run.
MessageLanguage Language() {
  static const MessageLanguage language = UserLanguage();
  return language;
}

// Reports the engine's last error about `file` (UTF-8) and gives its exit code.
int Fail(const std::string& file) {
  const Outcome failed = EngineFailure(LastError(), Utf8ToGbk(file), Language());
  for (const Text& line : failed.lines) PrintLine(stderr, line);
  return static_cast<int>(failed.code);
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

// Opens `file` as kAlias for reading only, so that reading never changes it
// (a writable opening may repair a damaged file). Without a password given, a
// rule table opens with the rule tables' own.
bool OpenForReading(const std::string& file, const std::optional<std::string>& password) {
  OpenOptions reading;
  reading.readOnly = true;
  const Text path = Utf8ToGbk(file);
  if (password) return OpenTable(path, kAlias, Utf8ToGbk(*password), reading);
  return OpenTable(path, kAlias, {}, reading) ||
         (LastError() == kBadPassword && OpenTable(path, kAlias, kRulePassword, reading));
}

int Dump(const std::string& file, const std::optional<std::string>& password) {
  if (!OpenForReading(file, password)) return Fail(file);
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
  if (!read) return Fail(file);
  out += "]}\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  CloseTable(kAlias);
  return 0;
}

int Sort(const std::string& in, const std::string& out, const std::string& field, bool descending,
         const std::optional<std::string>& password) {
  if (!OpenForReading(in, password)) return Fail(in);
  if (!SortTable(Utf8ToGbk(out), Utf8ToGbk(field), !descending)) return Fail(out);
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

// Prints the lines of a rule command and gives its exit code.
int Report(const Outcome& outcome) {
  for (const Text& line : outcome.lines) PrintLine(outcome.ok() ? stdout : stderr, line);
  return static_cast<int>(outcome.code);
}

int Usage() {
  PrintLine(stderr, UsageText(Language()));
  return static_cast<int>(ExitCode::Usage);
}

// The command line: the plain arguments and the options.
struct CommandLine {
  std::vector<std::string> plain;
  std::optional<std::string> password;
  bool descending = false;
  bool version = false;
};

CommandLine Parse(const std::vector<std::string>& args) {
  CommandLine line;
  for (std::size_t k = 0; k < args.size(); ++k) {
    if (args[k] == "--password" && k + 1 < args.size()) {
      line.password = args[++k];
    } else if (args[k] == "--desc") {
      line.descending = true;
    } else if (args[k] == "--version") {
      line.version = true;
    } else {
      line.plain.push_back(args[k]);
    }
  }
  return line;
}

int Run(const CommandLine& line) {
  const std::vector<std::string>& plain = line.plain;
  const std::string command = plain.empty() ? std::string() : plain[0];
  if (line.version && plain.empty()) {
    PrintLine(stdout, Text("edbtool ") + QUILLANE_VERSION);
    return 0;
  }
  if (command == "dump" && plain.size() == 2) return Dump(plain[1], line.password);
  if (command == "rules-to-csv" && plain.size() == 3)
    return Report(ExportRulesToCsv(Utf8ToGbk(plain[1]), Utf8ToGbk(plain[2]), Language()));
  if (command == "rules-from-csv" && plain.size() == 3)
    return Report(ImportRulesFromCsv(Utf8ToGbk(plain[1]), Utf8ToGbk(plain[2]), Language()));
  if (command == "answer" && plain.size() >= 3) {
    std::vector<Text> texts;
    for (std::size_t k = 2; k < plain.size(); ++k) texts.push_back(Utf8ToGbk(plain[k]));
    return Report(AnswerTexts(Utf8ToGbk(plain[1]), texts, Language()));
  }
  if (command == "sort" && plain.size() == 4)
    return Sort(plain[1], plain[2], plain[3], line.descending, line.password);
  return Usage();
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  const int rc = Run(Parse(Arguments(argc, argv)));
  CloseAllTables();
  WaitIfOwnConsole(Language());
  return rc;
}
