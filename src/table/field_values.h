// Field values and their record bytes: the empty value of each field type,
// decoding a fixed-size field, converting a program value to a field's own
// value type, and encoding it for the record.
#pragma once

#include <cstddef>
#include <cstdint>

#include "table/engine.h"
#include "table/format.h"

namespace quillane::table::detail {

// The value a field of this type holds when nothing was written to it.
Value EmptyValue(std::int32_t type);
// The value of a fixed-size field from its record bytes (not memo or byte array).
Value DecodeField(const FieldDescriptor& d, const std::uint8_t* p);

bool IsNumeric(const Value& v);
// Whole numbers from any numeric value, keeping the low bytes; floating-point
// values truncate toward zero and saturate at the 64-bit range (NaN gives 0).
std::int64_t ToWhole(const Value& v);
double ToReal(const Value& v);

// The value in the field's own value type, or false for a mismatch.
bool ConvertForField(const FieldDescriptor& d, const Value& in, Value* out);
// Bytes of a fixed-size value (already converted for the field) for the record.
void EncodeField(const FieldDescriptor& d, const Value& v, std::uint8_t* p);

}  // namespace quillane::table::detail
