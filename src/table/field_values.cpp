#include "table/field_values.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace quillane::table {

namespace detail {

Value EmptyValue(std::int32_t type) {
  switch (static_cast<FieldType>(type)) {
    case FieldType::kByte:
      return std::uint8_t{0};
    case FieldType::kShort:
      return std::int16_t{0};
    case FieldType::kInt:
      return std::int32_t{0};
    case FieldType::kLong:
      return std::int64_t{0};
    case FieldType::kFloat:
      return 0.0f;
    case FieldType::kDouble:
      return 0.0;
    case FieldType::kBool:
      return false;
    case FieldType::kDateTime:
      return DateTime{};
    case FieldType::kSubroutine:
      return RoutinePointer{};
    case FieldType::kText:
    case FieldType::kMemo:
      return Text{};
    case FieldType::kByteArray:
      return Bytes{};
  }
  return std::monostate{};
}

Value DecodeField(const FieldDescriptor& d, const std::uint8_t* p) {
  switch (static_cast<FieldType>(d.type)) {
    case FieldType::kByte:
      return p[0];
    case FieldType::kShort:
      return static_cast<std::int16_t>(p[0] | (p[1] << 8));
    case FieldType::kInt:
      return GetInt32(p);
    case FieldType::kLong:
      return GetInt64(p);
    case FieldType::kFloat: {
      const auto u = static_cast<std::uint32_t>(GetInt32(p));
      float f;
      std::memcpy(&f, &u, 4);
      return f;
    }
    case FieldType::kDouble:
      return GetDouble(p);
    case FieldType::kBool:
      return p[0] != 0;
    case FieldType::kDateTime: {
      double v = GetDouble(p);
      if (std::isnan(v)) v = 0;
      return DateTime{std::clamp(v, -657434.0, 2958465.0)};
    }
    case FieldType::kSubroutine:
      return reinterpret_cast<RoutinePointer>(
          static_cast<std::uintptr_t>(static_cast<std::uint32_t>(GetInt32(p))));
    case FieldType::kText: {
      const auto* end =
          static_cast<const std::uint8_t*>(std::memchr(p, 0, static_cast<std::size_t>(d.width)));
      const std::size_t n =
          end ? static_cast<std::size_t>(end - p) : static_cast<std::size_t>(d.width);
      return Text(reinterpret_cast<const char*>(p), n);
    }
    default:
      return std::monostate{};
  }
}

std::int64_t ToWhole(const Value& v) {
  if (auto* f = std::get_if<float>(&v)) return ToWhole(Value(static_cast<double>(*f)));
  if (auto* d = std::get_if<double>(&v)) {
    if (std::isnan(*d)) return 0;
    if (*d >= 9223372036854775807.0) return std::numeric_limits<std::int64_t>::max();
    if (*d <= -9223372036854775808.0) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(*d);
  }
  if (auto* b = std::get_if<std::uint8_t>(&v)) return *b;
  if (auto* s = std::get_if<std::int16_t>(&v)) return *s;
  if (auto* i = std::get_if<std::int32_t>(&v)) return *i;
  if (auto* l = std::get_if<std::int64_t>(&v)) return *l;
  return 0;
}

double ToReal(const Value& v) {
  if (auto* f = std::get_if<float>(&v)) return *f;
  if (auto* d = std::get_if<double>(&v)) return *d;
  return static_cast<double>(ToWhole(v));
}

bool IsNumeric(const Value& v) {
  return std::holds_alternative<std::uint8_t>(v) || std::holds_alternative<std::int16_t>(v) ||
         std::holds_alternative<std::int32_t>(v) || std::holds_alternative<std::int64_t>(v) ||
         std::holds_alternative<float>(v) || std::holds_alternative<double>(v);
}

namespace {

bool IsNumericType(std::int32_t type) { return type >= 1 && type <= 6; }

}  // namespace

bool ConvertForField(const FieldDescriptor& d, const Value& in, Value* out) {
  if (std::holds_alternative<std::monostate>(in)) {
    *out = EmptyValue(d.type);
    return true;
  }
  const Value empty = EmptyValue(d.type);
  if (in.index() == empty.index()) {
    *out = in;
    return true;
  }
  if (!IsNumeric(in) || !IsNumericType(d.type)) return false;
  switch (static_cast<FieldType>(d.type)) {
    case FieldType::kByte:
      *out = static_cast<std::uint8_t>(static_cast<std::uint64_t>(ToWhole(in)));
      return true;
    case FieldType::kShort:
      *out = static_cast<std::int16_t>(
          static_cast<std::uint16_t>(static_cast<std::uint64_t>(ToWhole(in))));
      return true;
    case FieldType::kInt:
      *out = static_cast<std::int32_t>(
          static_cast<std::uint32_t>(static_cast<std::uint64_t>(ToWhole(in))));
      return true;
    case FieldType::kLong:
      *out = ToWhole(in);
      return true;
    case FieldType::kFloat:
      *out = static_cast<float>(ToReal(in));
      return true;
    case FieldType::kDouble:
      *out = ToReal(in);
      return true;
    default:
      return false;
  }
}

namespace {

// How many leading bytes of `s` a text field of `width` bytes takes: all of
// them when they fit, else as many as fit without splitting a double-byte
// character (its lead byte is left out with its trail byte).
std::size_t TextBytesThatFit(const Text& s, std::size_t width) {
  if (s.size() <= width) return s.size();
  std::size_t k = 0;
  while (k < width) {
    const std::size_t step =
        IsLeadByte(static_cast<unsigned char>(s[k])) && k + 1 < s.size() ? 2 : 1;
    if (k + step > width) break;
    k += step;
  }
  return k;
}

}  // namespace

void EncodeField(const FieldDescriptor& d, const Value& v, std::uint8_t* p) {
  switch (static_cast<FieldType>(d.type)) {
    case FieldType::kByte:
      p[0] = std::get<std::uint8_t>(v);
      break;
    case FieldType::kShort: {
      const auto s = static_cast<std::uint16_t>(std::get<std::int16_t>(v));
      p[0] = static_cast<std::uint8_t>(s);
      p[1] = static_cast<std::uint8_t>(s >> 8);
      break;
    }
    case FieldType::kInt:
      PutInt32(p, std::get<std::int32_t>(v));
      break;
    case FieldType::kLong:
      PutInt64(p, std::get<std::int64_t>(v));
      break;
    case FieldType::kFloat: {
      std::uint32_t u;
      const float f = std::get<float>(v);
      std::memcpy(&u, &f, 4);
      PutInt32(p, static_cast<std::int32_t>(u));
      break;
    }
    case FieldType::kDouble:
      PutDouble(p, std::get<double>(v));
      break;
    case FieldType::kBool:
      p[0] = std::get<bool>(v) ? 1 : 0;
      break;
    case FieldType::kDateTime:
      PutDouble(p, std::get<DateTime>(v).days);
      break;
    case FieldType::kSubroutine:
      PutInt32(p, static_cast<std::int32_t>(static_cast<std::uint32_t>(
                      reinterpret_cast<std::uintptr_t>(std::get<RoutinePointer>(v)))));
      break;
    case FieldType::kText: {
      const Text& s = std::get<Text>(v);
      const std::size_t width = static_cast<std::size_t>(d.width);
      std::memset(p, 0, width);
      std::memcpy(p, s.data(), TextBytesThatFit(s, width));
      break;
    }
    default:
      break;
  }
}

}  // namespace detail

FieldRef FieldRef::FromValue(const Value& value) {
  if (auto* t = std::get_if<Text>(&value)) return FieldRef(*t);
  if (detail::IsNumeric(value)) {
    if (std::holds_alternative<float>(value) || std::holds_alternative<double>(value))
      return FieldRef(detail::ToReal(value));
    return FieldRef(detail::ToWhole(value));
  }
  return FieldRef();
}

}  // namespace quillane::table
