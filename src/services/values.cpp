#include "services/values.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace quillane {

namespace {

std::string_view UpToZero(std::string_view s) {
  const auto zero = s.find('\0');
  return zero == std::string_view::npos ? s : s.substr(0, zero);
}

// Full-width forms read as their half-width counterparts: in GBK the
// full-width ASCII block is A3 A1..A3 FE (for 0x21..0x7E) and the full-width
// space is A1 A1. Other two-byte characters stay as they are.
std::string HalfWidth(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b >= 0x80 && i + 1 < s.size()) {
      const auto t = static_cast<unsigned char>(s[i + 1]);
      if (b == 0xA3 && t >= 0xA1 && t <= 0xFE) {
        out.push_back(static_cast<char>(t - 0x80));
      } else if (b == 0xA1 && t == 0xA1) {
        out.push_back(' ');
      } else {
        out.push_back(s[i]);
        out.push_back(s[i + 1]);
      }
      ++i;
      continue;
    }
    out.push_back(s[i]);
  }
  return out;
}

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Reads a leading signed decimal number, saturating at the given limits.
template <typename Int>
Int ReadNumber(std::string_view text) {
  const std::string s = HalfWidth(UpToZero(text));
  std::size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  // Accumulate as a negative number so the minimum fits.
  const Int min = std::numeric_limits<Int>::min();
  const Int max = std::numeric_limits<Int>::max();
  Int value = 0;
  bool overflow = false;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
    const Int digit = static_cast<Int>(s[i] - '0');
    if (overflow) continue;
    if (value < (min + digit) / 10) {
      overflow = true;
      continue;
    }
    value = static_cast<Int>(value * 10 - digit);
  }
  if (overflow) return negative ? min : max;
  if (negative) return value;
  return value == min ? max : static_cast<Int>(-value);
}

template <typename F>
std::int32_t Truncate(F value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<F>(2147483647.0)) return std::numeric_limits<std::int32_t>::max();
  if (value <= static_cast<F>(-2147483648.0)) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(value);
}

template <typename T>
Bytes LittleEndian(T value) {
  Bytes out(sizeof(T));
  std::memcpy(out.data(), &value, sizeof(T));  // every target here is little-endian
  return out;
}

// Civil date from days since 1970-01-01 (proleptic Gregorian).
void CivilFromDays(std::int64_t z, std::int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
}

}  // namespace

// ---- ToText -----------------------------------------------------------------

Text ToText(std::int64_t value) { return std::to_string(value); }
Text ToText(std::uint64_t value) { return std::to_string(value); }
Text ToText(bool value) { return value ? "真" : "假"; }

Text ToText(double value) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value < 0 ? "-Infinity" : "Infinity";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  return buffer;
}

Text ToText(float value) {
  if (std::isnan(value) || std::isinf(value)) return ToText(static_cast<double>(value));
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.7g", static_cast<double>(value));
  return buffer;
}

Text ToText(DateTime value) {
  if (!std::isfinite(value.days) || std::fabs(value.days) > 3.0e6) return {};
  // Days since 1899-12-30; the fraction is the time of day (of the absolute
  // value for dates before the epoch, as the platform's dates count).
  const double whole = std::trunc(value.days);
  double fraction = std::fabs(value.days - whole);
  std::int64_t seconds = static_cast<std::int64_t>(std::llround(fraction * 86400.0));
  std::int64_t day = static_cast<std::int64_t>(whole);
  if (seconds >= 86400) {
    seconds -= 86400;
    day += value.days < 0 ? -1 : 1;
  }
  std::int64_t y = 0;
  unsigned m = 0;
  unsigned d = 0;
  CivilFromDays(day - 25569, y, m, d);  // 1899-12-30 is 25569 days before 1970-01-01
  char buffer[64];
  if (seconds == 0) {
    std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02u", static_cast<long long>(y), m, d);
  } else {
    std::snprintf(buffer, sizeof buffer, "%04lld-%02u-%02u %02d:%02d:%02d",
                  static_cast<long long>(y), m, d, static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  }
  return buffer;
}

Text ToText(std::string_view text) { return Text(text); }
Text ToText(const char* text) { return text ? Text(text) : Text(); }
Text ToText(const Text& text) { return text; }

Text ToText(const Bytes& bytes) {
  std::string_view view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return Text(UpToZero(view));
}

Text ToText(const Value& value) {
  return std::visit(
      [](const auto& v) -> Text {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate> || std::is_same_v<T, RoutinePointer>) {
          return {};
        } else {
          return ToText(v);
        }
      },
      value);
}

// ---- ToInteger ----------------------------------------------------------------

std::int32_t ToInteger(std::string_view text) { return ReadNumber<std::int32_t>(text); }
std::int32_t ToInteger(const char* text) { return text ? ToInteger(std::string_view(text)) : 0; }
std::int32_t ToInteger(const Text& text) { return ToInteger(std::string_view(text)); }
std::int32_t ToInteger(const Bytes& bytes) { return ToInteger(ToText(bytes)); }
std::int32_t ToInteger(double value) { return Truncate(value); }
std::int32_t ToInteger(float value) { return Truncate(value); }
std::int32_t ToInteger(bool value) { return value ? 1 : 0; }
std::int32_t ToInteger(DateTime value) { return Truncate(value.days); }
std::int64_t ToWideInteger(std::string_view text) { return ReadNumber<std::int64_t>(text); }

std::int32_t ToInteger(const Value& value) {
  return std::visit(
      [](const auto& v) -> std::int32_t {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate> || std::is_same_v<T, RoutinePointer>) {
          return 0;
        } else {
          return ToInteger(v);
        }
      },
      value);
}

// ---- ToBytes ------------------------------------------------------------------

Bytes ToBytes(std::string_view text) { return Bytes(text.begin(), text.end()); }
Bytes ToBytes(const char* text) { return text ? ToBytes(std::string_view(text)) : Bytes(); }
Bytes ToBytes(const Text& text) { return ToBytes(std::string_view(text)); }
Bytes ToBytes(const Bytes& bytes) { return bytes; }
Bytes ToBytes(bool value) { return LittleEndian<std::int32_t>(value ? 1 : 0); }
Bytes ToBytes(double value) { return LittleEndian(value); }
Bytes ToBytes(float value) { return LittleEndian(value); }
Bytes ToBytes(DateTime value) { return LittleEndian(value.days); }

Bytes ToBytes(const Value& value) {
  return std::visit(
      [](const auto& v) -> Bytes {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate> || std::is_same_v<T, RoutinePointer>) {
          return {};
        } else {
          return ToBytes(v);
        }
      },
      value);
}

Bytes BlankBytes(std::int32_t n) {
  return n <= 0 ? Bytes() : Bytes(static_cast<std::size_t>(n), 0);
}
std::int32_t ByteLength(const Bytes& bytes) { return static_cast<std::int32_t>(bytes.size()); }

}  // namespace quillane
