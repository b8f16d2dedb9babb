// Settings (INI) files, read and written with the semantics of the platform's
// profile-string functions: sections and keys match without regard to the case
// of A-Z, blanks around keys and values are ignored, a value enclosed in a
// matching pair of quotes is read without them, a missing file, section or key
// gives the default, and a write creates the file, the section and the key as
// needed. Under Windows the platform's own functions do the work; natively an
// implementation with the same observable behaviour does (paths may be written
// with "\" there too, see NativePath in files.h).
#pragma once

#include <optional>
#include <string_view>

#include "services/types.h"

namespace quillane {

// The size of the buffer a read goes through; a value is cut at one byte less.
inline constexpr int kIniBufferSize = 10240;

// Leading bytes <= 0x20 are skipped in file, section and key; if any of the
// three is then empty the result is the empty text (the default is NOT used).
Text ReadIniItem(std::string_view file, std::string_view section, std::string_view key,
                 std::string_view defaultText = {});

// Writes key=value into the section. An omitted key (nullopt) removes the whole
// section; an omitted value removes the key. True on success.
bool WriteIniItem(std::string_view file, std::string_view section,
                  std::optional<std::string_view> key = std::nullopt,
                  std::optional<std::string_view> value = std::nullopt);

}  // namespace quillane
