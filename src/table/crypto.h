// MD5 digest and RC4 stream cipher, the two primitives of table protection.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace quillane::table {

// MD5 of a byte string: the 16-byte digest.
std::array<std::uint8_t, 16> Md5(std::string_view bytes);
// The digest as 32 lower-case hexadecimal digits.
std::string Md5Hex(std::string_view bytes);

// The RC4 stream cipher: key schedule over up to 256 key bytes (the key index
// wraps at the key's end), then a keystream of bytes.
class Rc4 {
 public:
  Rc4(const std::uint8_t* key, std::size_t keyLength);
  std::uint8_t Next();
  void Skip(std::size_t n);
  // The next n keystream bytes.
  void Generate(std::uint8_t* out, std::size_t n);
  // XORs the next n keystream bytes onto data.
  void Apply(std::uint8_t* data, std::size_t n);

 private:
  std::uint8_t s_[256];
  std::uint8_t i_ = 0;
  std::uint8_t j_ = 0;
};

}  // namespace quillane::table
