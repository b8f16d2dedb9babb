// Helpers of the table tests: a temporary folder and whole-file access
// through the engine's own file layer (so the same tests run under Wine).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "services/types.h"
#include "table/engine.h"
#include "table/file_io.h"

namespace quillane::table::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  // A path inside the folder (GBK, native separators).
  Text Path(const Text& name) const;

 private:
  Text root_;
};

Bytes ReadAll(const Text& path);
void WriteAll(const Text& path, const Bytes& bytes);
bool Exists(const Text& path);
void Remove(const Text& path);
// Sets or clears the read-only attribute (natively: the write permission).
void SetReadOnly(const Text& path, bool readOnly);

// The bytes of a file with the scrambling of `password` taken off.
Bytes Plain(const Bytes& scrambled, const Text& password);

FieldDescriptor Field(const Text& name, FieldType type, std::int32_t width = 0);

// Creates a table file (and companion when needed) and opens it under alias.
bool MakeTable(const Text& path, const std::vector<FieldDescriptor>& fields, const Text& password,
               const Text& alias);

// The GBK bytes of a text written as UTF-8 in the source, whatever the
// compiler does with narrow literals.
Text Gbk(const char8_t* utf8);

}  // namespace quillane::table::testing
