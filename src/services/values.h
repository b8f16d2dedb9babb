// Values and the conversions between them and text.
//
// A Value is any of the value types the program's logic handles. ToText,
// ToInteger and ToBytes take a Value or, more conveniently, the plain C++
// type directly (integers of every width, bool, float, double, DateTime,
// texts and byte arrays).
#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>

#include "services/types.h"

namespace quillane {

// A date and time: days since 1899-12-30, the fraction being the time of day.
struct DateTime {
  double days = 0;
  friend bool operator==(const DateTime&, const DateTime&) = default;
};

// A routine pointer held as a value (it converts to nothing: 0, empty).
using RoutinePointer = void (*)();

using Value = std::variant<std::monostate, std::uint8_t, std::int16_t, std::int32_t, std::int64_t,
                           float, double, bool, DateTime, RoutinePointer, Text, Bytes>;

// ---- ToText ---------------------------------------------------------------
// Integers: decimal, with a minus sign for negatives (a byte is unsigned);
// bool: "真" / "假"; text: a copy; byte array: its bytes up to the first zero
// byte; float/double: shortest decimal form ("%.15g" / "%.7g"); date-time:
// "YYYY-MM-DD hh:mm:ss" (the date alone when the time is midnight).
Text ToText(std::int64_t value);
Text ToText(std::uint64_t value);
Text ToText(bool value);
Text ToText(double value);
Text ToText(float value);
Text ToText(DateTime value);
Text ToText(std::string_view text);
Text ToText(const char* text);  // nullptr is the empty text
Text ToText(const Text& text);
Text ToText(const Bytes& bytes);
Text ToText(const Value& value);
template <std::integral T>
requires(!std::same_as<T, bool> && !std::same_as<T, std::int64_t> &&
         !std::same_as<T, std::uint64_t>) Text ToText(T value) {
  if constexpr (std::is_signed_v<T>) {
    return ToText(static_cast<std::int64_t>(value));
  } else {
    return ToText(static_cast<std::uint64_t>(value));
  }
}

// ---- ToInteger --------------------------------------------------------------
// Text: full-width characters read as their half-width forms; leading blanks
// skipped; an optional sign and the digits after it; reading stops at the first
// other character; no number gives 0; beyond the 32-bit range the result is
// clamped to it. float/double: truncated toward zero (NaN 0, clamped to the
// 32-bit range). Integers: their value, wider ones their lower 32 bits. bool:
// 1 or 0. Anything else: 0.
std::int32_t ToInteger(std::string_view text);
std::int32_t ToInteger(const char* text);
std::int32_t ToInteger(const Text& text);
std::int32_t ToInteger(const Bytes& bytes);  // read as text, up to the first zero byte
std::int32_t ToInteger(double value);
std::int32_t ToInteger(float value);
std::int32_t ToInteger(bool value);
std::int32_t ToInteger(DateTime value);  // the whole days, truncated
std::int32_t ToInteger(const Value& value);
template <std::integral T>
requires(!std::same_as<T, bool>) std::int32_t ToInteger(T value) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

// The 64-bit reading of a text by the same rules as ToInteger (clamped to the
// 64-bit range instead). Used where wider numbers must be accepted.
std::int64_t ToWideInteger(std::string_view text);

// ---- ToBytes ----------------------------------------------------------------
// Text: its bytes; a number: its little-endian bytes (byte 1, short 2, int and
// float 4, int64 and double 8; bool 4 bytes of 1 or 0, like the platform's
// BOOL); a byte array: itself; anything else: empty.
Bytes ToBytes(std::string_view text);
Bytes ToBytes(const char* text);
Bytes ToBytes(const Text& text);
Bytes ToBytes(const Bytes& bytes);
Bytes ToBytes(bool value);
Bytes ToBytes(double value);
Bytes ToBytes(float value);
Bytes ToBytes(DateTime value);
Bytes ToBytes(const Value& value);
template <std::integral T>
requires(!std::same_as<T, bool>) Bytes ToBytes(T value) {
  Bytes out(sizeof(T));
  using U = std::make_unsigned_t<T>;
  U u = static_cast<U>(value);
  for (std::size_t i = 0; i < sizeof(T); ++i) {
    out[i] = static_cast<std::uint8_t>(u & 0xFF);
    if constexpr (sizeof(T) > 1) u = static_cast<U>(u >> 8);
  }
  return out;
}

// n zero bytes; n <= 0 gives an empty array.
Bytes BlankBytes(std::int32_t n);
// The length of a byte array.
std::int32_t ByteLength(const Bytes& bytes);

}  // namespace quillane
