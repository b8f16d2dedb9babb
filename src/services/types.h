// Basic value types shared by every layer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace quillane {

// Text: bytes in GBK, the program's text encoding. Lengths and positions count
// bytes; the positions the logic uses are 1-based.
using Text = std::string;

// A counted sequence of bytes that may hold zero bytes (host message payloads,
// table byte-array fields).
using Bytes = std::vector<std::uint8_t>;

}  // namespace quillane
