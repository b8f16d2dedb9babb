#include "table/crypto.h"

#include <cstring>

namespace quillane::table {

namespace {

constexpr std::uint32_t kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                                      5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                                      4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                                      6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

// floor(abs(sin(i + 1)) * 2^32), the per-step additive constants.
constexpr std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391};

std::uint32_t RotateLeft(std::uint32_t x, std::uint32_t c) { return (x << c) | (x >> (32 - c)); }

void Md5Block(std::uint32_t state[4], const std::uint8_t* block) {
  std::uint32_t m[16];
  for (int k = 0; k < 16; ++k) {
    m[k] = static_cast<std::uint32_t>(block[4 * k]) |
           (static_cast<std::uint32_t>(block[4 * k + 1]) << 8) |
           (static_cast<std::uint32_t>(block[4 * k + 2]) << 16) |
           (static_cast<std::uint32_t>(block[4 * k + 3]) << 24);
  }
  std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
  for (std::uint32_t i = 0; i < 64; ++i) {
    std::uint32_t f;
    std::uint32_t g;
    if (i < 16) {
      f = (b & c) | (~b & d);
      g = i;
    } else if (i < 32) {
      f = (d & b) | (~d & c);
      g = (5 * i + 1) % 16;
    } else if (i < 48) {
      f = b ^ c ^ d;
      g = (3 * i + 5) % 16;
    } else {
      f = c ^ (b | ~d);
      g = (7 * i) % 16;
    }
    const std::uint32_t next = d;
    d = c;
    c = b;
    b = b + RotateLeft(a + f + kSine[i] + m[g], kShift[i]);
    a = next;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
}

}  // namespace

std::array<std::uint8_t, 16> Md5(std::string_view bytes) {
  std::uint32_t state[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  const std::size_t length = bytes.size();
  std::size_t done = 0;
  for (; done + 64 <= length; done += 64) Md5Block(state, data + done);
  // Padding: 0x80, zeros, then the bit length little-endian in the last 8 bytes.
  std::uint8_t tail[128] = {};
  const std::size_t rest = length - done;
  if (rest) std::memcpy(tail, data + done, rest);
  tail[rest] = 0x80;
  const std::size_t tailLength = rest < 56 ? 64 : 128;
  const std::uint64_t bits = static_cast<std::uint64_t>(length) * 8;
  for (int k = 0; k < 8; ++k) tail[tailLength - 8 + k] = static_cast<std::uint8_t>(bits >> (8 * k));
  Md5Block(state, tail);
  if (tailLength == 128) Md5Block(state, tail + 64);
  std::array<std::uint8_t, 16> digest{};
  for (int k = 0; k < 16; ++k) digest[k] = static_cast<std::uint8_t>(state[k / 4] >> (8 * (k % 4)));
  return digest;
}

std::string Md5Hex(std::string_view bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string out;
  for (std::uint8_t b : Md5(bytes)) {
    out.push_back(kHex[b >> 4]);
    out.push_back(kHex[b & 15]);
  }
  return out;
}

Rc4::Rc4(const std::uint8_t* key, std::size_t keyLength) {
  for (int k = 0; k < 256; ++k) s_[k] = static_cast<std::uint8_t>(k);
  if (keyLength == 0) return;
  std::uint8_t j = 0;
  std::size_t keyIndex = 0;
  for (int k = 0; k < 256; ++k) {
    j = static_cast<std::uint8_t>(j + s_[k] + key[keyIndex]);
    std::uint8_t t = s_[k];
    s_[k] = s_[j];
    s_[j] = t;
    if (++keyIndex == keyLength) keyIndex = 0;
  }
}

std::uint8_t Rc4::Next() {
  i_ = static_cast<std::uint8_t>(i_ + 1);
  j_ = static_cast<std::uint8_t>(j_ + s_[i_]);
  std::uint8_t t = s_[i_];
  s_[i_] = s_[j_];
  s_[j_] = t;
  return s_[static_cast<std::uint8_t>(s_[i_] + s_[j_])];
}

void Rc4::Skip(std::size_t n) {
  std::uint8_t scratch[64];
  while (n > 0) {
    const std::size_t k = n < sizeof scratch ? n : sizeof scratch;
    Generate(scratch, k);
    n -= k;
  }
}

void Rc4::Generate(std::uint8_t* out, std::size_t n) {
  // The state indices in registers: this loop carries all the scrambling.
  unsigned i = i_, j = j_;
  std::uint8_t* s = s_;
  for (std::size_t k = 0; k < n; ++k) {
    i = (i + 1) & 255;
    const unsigned si = s[i];
    j = (j + si) & 255;
    const unsigned sj = s[j];
    s[i] = static_cast<std::uint8_t>(sj);
    s[j] = static_cast<std::uint8_t>(si);
    out[k] = s[(si + sj) & 255];
  }
  i_ = static_cast<std::uint8_t>(i);
  j_ = static_cast<std::uint8_t>(j);
}

void Rc4::Apply(std::uint8_t* data, std::size_t n) {
  for (std::size_t k = 0; k < n; ++k) data[k] ^= Next();
}

}  // namespace quillane::table
