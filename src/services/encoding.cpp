#include "services/encoding.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>

#include <cerrno>
#endif

namespace quillane {

#ifdef _WIN32

namespace {
constexpr UINT kGbkCodePage = 936;

std::u16string Widen(std::string_view s, UINT codePage) {
  if (s.empty()) return {};
  const int n = MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
  std::u16string out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(codePage, 0, s.data(), static_cast<int>(s.size()),
                      reinterpret_cast<wchar_t*>(out.data()), n);
  return out;
}

std::string Narrow(std::u16string_view s, UINT codePage) {
  if (s.empty()) return {};
  const auto* w = reinterpret_cast<const wchar_t*>(s.data());
  const int n =
      WideCharToMultiByte(codePage, 0, w, static_cast<int>(s.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(codePage, 0, w, static_cast<int>(s.size()), out.data(), n, nullptr, nullptr);
  return out;
}
}  // namespace

std::u16string GbkToUtf16(std::string_view gbk) { return Widen(gbk, kGbkCodePage); }

// GBK has no form for characters beyond the basic plane; each becomes one '?'
// instead of one per surrogate.
std::string Utf16ToGbk(std::u16string_view utf16) {
  std::u16string bmp;
  bmp.reserve(utf16.size());
  for (size_t i = 0; i < utf16.size(); ++i) {
    const char16_t c = utf16[i];
    const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() &&
                      utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF;
    bmp.push_back(pair ? u'?' : c);
    if (pair) ++i;
  }
  return Narrow(bmp, kGbkCodePage);
}
std::string GbkToUtf8(std::string_view gbk) { return Narrow(Widen(gbk, kGbkCodePage), CP_UTF8); }
std::string Utf8ToGbk(std::string_view utf8) { return Utf16ToGbk(Widen(utf8, CP_UTF8)); }

std::wstring WideFromGbk(std::string_view gbk) {
  const std::u16string w = GbkToUtf16(gbk);
  return std::wstring(w.begin(), w.end());
}

std::string GbkFromWide(std::wstring_view wide) {
  return Utf16ToGbk(
      std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}

#else

namespace {

// One iconv conversion descriptor, closed on scope exit.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts the whole input. A sequence that is invalid or has no form in the
  // target encoding is replaced by `replacement` and skipped; `unit` tells how
  // many source bytes make up the character starting at a given byte.
  template <typename Unit>
  std::string Convert(std::string_view in, std::string_view replacement, Unit unit) {
    std::string out;
    if (!ok()) return out;
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char buf[4096];
    while (srcLeft > 0) {
      char* dst = buf;
      size_t dstLeft = sizeof buf;
      const size_t r = iconv(cd_, &src, &srcLeft, &dst, &dstLeft);
      out.append(buf, static_cast<size_t>(dst - buf));
      if (r == static_cast<size_t>(-1) && errno != E2BIG) {
        out.append(replacement);
        const size_t want = unit(std::string_view(src, srcLeft));
        const size_t skip = srcLeft < want ? srcLeft : want;
        src += skip;
        srcLeft -= skip;
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
      }
    }
    return out;
  }

 private:
  iconv_t cd_;
};

std::string Utf8Replacement() { return std::string("\xEF\xBF\xBD", 3); }

size_t OneByte(std::string_view) { return 1; }

// Length of the UTF-8 character whose lead byte starts `s` (1 for a stray byte).
size_t Utf8CharLength(std::string_view s) {
  const auto b = static_cast<unsigned char>(s[0]);
  if (b >= 0xF0 && b <= 0xF7) return 4;
  if (b >= 0xE0) return b <= 0xEF ? 3 : 1;
  if (b >= 0xC0) return 2;
  return 1;
}

// A UTF-16LE unit, or a surrogate pair as one character.
size_t Utf16CharLength(std::string_view s) {
  const auto hi = static_cast<unsigned char>(s.size() > 1 ? s[1] : 0);
  return (hi >= 0xD8 && hi <= 0xDB) ? 4 : 2;
}

}  // namespace

std::string GbkToUtf8(std::string_view gbk) {
  return Iconv("UTF-8", "CP936").Convert(gbk, Utf8Replacement(), OneByte);
}

std::string Utf8ToGbk(std::string_view utf8) {
  return Iconv("CP936", "UTF-8").Convert(utf8, "?", Utf8CharLength);
}

std::u16string GbkToUtf16(std::string_view gbk) {
  const std::string bytes =
      Iconv("UTF-16LE", "CP936").Convert(gbk, std::string("\xFD\xFF", 2), OneByte);
  std::u16string out(bytes.size() / 2, u'\0');
  for (size_t i = 0; i < out.size(); ++i) {
    out[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                   (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
  }
  return out;
}

std::string Utf16ToGbk(std::u16string_view utf16) {
  std::string bytes;
  bytes.reserve(utf16.size() * 2);
  for (char16_t c : utf16) {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return Iconv("CP936", "UTF-16LE").Convert(bytes, "?", Utf16CharLength);
}

#endif

}  // namespace quillane
