#include "services/ini.h"

#ifdef _WIN32
#include <windows.h>

#include <algorithm>
#else
#include <fstream>
#include <sstream>
#include <vector>

#include "services/files.h"
#endif

namespace quillane {

namespace {

std::string_view SkipLeadingControl(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && static_cast<unsigned char>(s[i]) <= 0x20) ++i;
  return s.substr(i);
}

}  // namespace

#ifdef _WIN32

Text ReadIniItem(std::string_view file, std::string_view section, std::string_view key,
                 std::string_view defaultText) {
  const Text f(SkipLeadingControl(file));
  const Text s(SkipLeadingControl(section));
  const Text k(SkipLeadingControl(key));
  if (f.empty() || s.empty() || k.empty()) return {};
  const Text d(defaultText);
  std::string buffer(kIniBufferSize, '\0');
  const DWORD n = GetPrivateProfileStringA(s.c_str(), k.c_str(), d.empty() ? nullptr : d.c_str(),
                                           buffer.data(), kIniBufferSize, f.c_str());
  buffer.resize(std::min<DWORD>(n, kIniBufferSize - 1));
  return buffer;
}

bool WriteIniItem(std::string_view file, std::string_view section,
                  std::optional<std::string_view> key, std::optional<std::string_view> value) {
  const Text f(file);
  const Text s(section);
  const Text k(key.value_or(""));
  const Text v(value.value_or(""));
  return WritePrivateProfileStringA(s.c_str(), key ? k.c_str() : nullptr,
                                    value ? v.c_str() : nullptr, f.c_str()) != FALSE;
}

#else

namespace {

// A settings file as lines; the parsing follows the platform's reading.
struct IniLine {
  enum Kind { kOther, kSection, kEntry } kind = kOther;
  std::string raw;    // the line as it stands, without its line break
  std::string name;   // section name or key, trimmed
  std::string value;  // entry value, trimmed and unquoted
};

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

IniLine ParseLine(std::string raw) {
  IniLine line;
  line.raw = std::move(raw);
  const std::string_view t = Trim(line.raw);
  if (t.empty() || t.front() == ';') return line;
  if (t.front() == '[') {
    const auto close = t.find(']');
    line.kind = IniLine::kSection;
    line.name =
        std::string(Trim(t.substr(1, close == std::string_view::npos ? t.size() - 1 : close - 1)));
    return line;
  }
  line.kind = IniLine::kEntry;
  const auto eq = t.find('=');
  if (eq == std::string_view::npos) {
    line.name = std::string(t);
    return line;
  }
  line.name = std::string(Trim(t.substr(0, eq)));
  std::string_view v = Trim(t.substr(eq + 1));
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) {
    v = v.substr(1, v.size() - 2);
  }
  line.value = std::string(v);
  return line;
}

bool LoadLines(const std::string& path, std::vector<IniLine>& lines) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream all;
  all << in.rdbuf();
  const std::string text = all.str();
  std::size_t at = 0;
  while (at < text.size()) {
    auto end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string raw = text.substr(at, end - at);
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    lines.push_back(ParseLine(std::move(raw)));
    at = end + 1;
  }
  return true;
}

bool SaveLines(const std::string& path, const std::vector<IniLine>& lines) {
  std::string text;
  for (const auto& l : lines) {
    text += l.raw;
    text += "\r\n";
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out << text;
  out.flush();
  return static_cast<bool>(out);
}

// Index range [begin, end) of the first section with that name: begin is the
// header line; end the next header or the end. -1 when absent.
std::ptrdiff_t FindSection(const std::vector<IniLine>& lines, std::string_view section,
                           std::size_t& end) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].kind == IniLine::kSection && SameName(lines[i].name, section)) {
      end = i + 1;
      while (end < lines.size() && lines[end].kind != IniLine::kSection) ++end;
      return static_cast<std::ptrdiff_t>(i);
    }
  }
  return -1;
}

}  // namespace

Text ReadIniItem(std::string_view file, std::string_view section, std::string_view key,
                 std::string_view defaultText) {
  file = SkipLeadingControl(file);
  section = SkipLeadingControl(section);
  key = SkipLeadingControl(key);
  if (file.empty() || section.empty() || key.empty()) return {};
  // The platform drops trailing blanks of the default.
  std::string_view d = defaultText;
  while (!d.empty() && d.back() == ' ') d.remove_suffix(1);
  Text result(d);
  std::vector<IniLine> lines;
  if (LoadLines(NativePath(file), lines)) {
    std::size_t end = 0;
    const auto begin = FindSection(lines, Trim(section), end);
    if (begin >= 0) {
      for (std::size_t i = static_cast<std::size_t>(begin) + 1; i < end; ++i) {
        if (lines[i].kind == IniLine::kEntry && SameName(lines[i].name, Trim(key))) {
          result = lines[i].value;
          break;
        }
      }
    }
  }
  if (result.size() > static_cast<std::size_t>(kIniBufferSize - 1))
    result.resize(kIniBufferSize - 1);
  return result;
}

bool WriteIniItem(std::string_view file, std::string_view section,
                  std::optional<std::string_view> key, std::optional<std::string_view> value) {
  if (file.empty() || Trim(section).empty()) return false;
  const std::string path = NativePath(file);
  std::vector<IniLine> lines;
  LoadLines(path, lines);  // a missing file is created
  std::size_t end = 0;
  const auto begin = FindSection(lines, Trim(section), end);
  if (!key) {  // remove the whole section
    if (begin < 0) return true;
    lines.erase(lines.begin() + begin, lines.begin() + static_cast<std::ptrdiff_t>(end));
    return SaveLines(path, lines);
  }
  const std::string_view k = Trim(*key);
  if (begin < 0) {
    if (!value) return true;  // nothing to remove
    lines.push_back(ParseLine("[" + std::string(Trim(section)) + "]"));
    lines.push_back(ParseLine(std::string(k) + "=" + std::string(*value)));
    return SaveLines(path, lines);
  }
  std::size_t lastEntry = static_cast<std::size_t>(begin);
  for (std::size_t i = static_cast<std::size_t>(begin) + 1; i < end; ++i) {
    if (lines[i].kind != IniLine::kEntry) continue;
    if (SameName(lines[i].name, k)) {
      if (!value) {
        lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(i));
      } else {
        // Keep the key as it is spelled in the file.
        lines[i] = ParseLine(lines[i].name + "=" + std::string(*value));
      }
      return SaveLines(path, lines);
    }
    lastEntry = i;
  }
  if (!value) return true;
  lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(lastEntry) + 1,
               ParseLine(std::string(k) + "=" + std::string(*value)));
  return SaveLines(path, lines);
}

#endif

}  // namespace quillane
