// MD5, RC4, the password verifier, the page scrambling and the byte layout
// of new table files.
#include <gtest/gtest.h>

#include <cstring>

#include "table/crypto.h"
#include "table/format.h"
#include "rules/rule_schema.h"
#include "table_test_util.h"

using namespace quillane;
using namespace quillane::table;
using namespace quillane::table::testing;

namespace {
std::string Hex(const std::uint8_t* p, std::size_t n) {
  static const char k[] = "0123456789abcdef";
  std::string s;
  for (std::size_t i = 0; i < n; ++i) {
    s.push_back(k[p[i] >> 4]);
    s.push_back(k[p[i] & 15]);
  }
  return s;
}
}  // namespace

TEST(Md5, PublishedTestSuite) {
  EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Hex("a"), "0cc175b9c0f1b6a831c399e269772661");
  EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5Hex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  EXPECT_EQ(Md5Hex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
  EXPECT_EQ(Md5Hex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
            "d174ab98d277d9f5a5611c2c9f419d9f");
  // 80 bytes: the padding spills into a second block.
  EXPECT_EQ(
      Md5Hex("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
      "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(Rc4, PublishedKeystreamsAndCiphertexts) {
  const std::uint8_t key[] = {1, 2, 3, 4, 5};
  Rc4 rc4(key, sizeof key);
  std::uint8_t stream[32] = {};
  rc4.Apply(stream, sizeof stream);
  EXPECT_EQ(Hex(stream, 32), "b2396305f03dc027ccc3524a0a1118a86982944f18fc82d589c403a47a0d0919");

  auto encrypt = [](const char* k, const char* text) {
    Rc4 c(reinterpret_cast<const std::uint8_t*>(k), std::strlen(k));
    std::string s = text;
    c.Apply(reinterpret_cast<std::uint8_t*>(s.data()), s.size());
    return Hex(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
  };
  EXPECT_EQ(encrypt("Key", "Plaintext"), "bbf316e8d940af0ad3");
  EXPECT_EQ(encrypt("Wiki", "pedia"), "1021bf0420");
  EXPECT_EQ(encrypt("Secret", "Attack at dawn"), "45a01f645fc35b383552544b9bf5");
}

TEST(PasswordVerifier, SwapsPairsAndReversesTheDigest) {
  // md5("620418537") swapped pairwise and reversed, computed independently.
  EXPECT_EQ(PasswordVerifier("620418537"), "b725e1518f472be75b96449b85950e7e");
  EXPECT_EQ(PasswordVerifier(""), "");
  std::array<std::uint8_t, 33> stored{};
  const std::string upper = "B725E1518F472BE75B96449B85950E7E";
  std::memcpy(stored.data(), upper.data(), 32);
  EXPECT_TRUE(VerifierMatches(stored, PasswordVerifier("620418537")));
  EXPECT_FALSE(VerifierMatches(stored, PasswordVerifier("620418538")));
}

TEST(PageCipher, KnownKeystreamAtPageStartsAndInsidePages) {
  // Expected bytes from an independent implementation of the page keys.
  PageCipher cipher("620418537");
  std::uint8_t head[16] = {};
  cipher.Apply(0, head, sizeof head);
  EXPECT_EQ(Hex(head, 16), "0000000038fe99d5318e32ffe368e8fb");  // bytes 0 to 3 stay
  std::uint8_t across[12] = {};
  cipher.Apply(4090, across, sizeof across);  // spans pages 0 and 1
  EXPECT_EQ(Hex(across, 12), "5dfc8244b27b2c90aa9ffb83");
  std::uint8_t page3[8] = {};
  PageCipher fresh("620418537");  // a range inside page 3, with no earlier use
  fresh.Apply(3 * 4096 + 100, page3, sizeof page3);
  EXPECT_EQ(Hex(page3, 8), "3fd6b24314c2dbd4");
}

TEST(PageCipher, AnyRangeEqualsTheSameRangeOfTheWholeFile) {
  Bytes whole(5 * 4096 + 77);
  for (std::size_t i = 0; i < whole.size(); ++i) whole[i] = static_cast<std::uint8_t>(i * 31);
  Bytes all = whole;
  PageCipher("pw").Apply(0, all.data(), all.size());
  for (std::size_t start : {3u, 4u, 4095u, 8191u, 3u * 4096u + 5u}) {
    Bytes part(whole.begin() + start, whole.begin() + start + 700);
    PageCipher("pw").Apply(static_cast<std::int64_t>(start), part.data(), part.size());
    EXPECT_TRUE(std::equal(part.begin(), part.end(), all.begin() + start)) << start;
  }
  // Applying twice restores the bytes.
  PageCipher("pw").Apply(0, all.data(), all.size());
  EXPECT_EQ(all, whole);
}

// The stream of one page straight from the description: RC4 keyed with
// W(g), the verifier and W(g) XOR g, its first 36 bytes dropped.
Bytes ReferencePageStream(const std::string& password, std::int64_t page) {
  Rc4 master(reinterpret_cast<const std::uint8_t*>(password.data()), password.size());
  Bytes words(static_cast<std::size_t>(4 * page + 4));
  master.Generate(words.data(), words.size());
  std::uint8_t key[40];
  std::memcpy(key, words.data() + 4 * page, 4);
  std::memcpy(key + 4, PasswordVerifier(password).data(), 32);
  for (int k = 0; k < 4; ++k)
    key[36 + k] = static_cast<std::uint8_t>(words[4 * page + k] ^ (page >> (8 * k)));
  Rc4 stream(key, sizeof key);
  stream.Skip(36);
  Bytes out(4096);
  stream.Generate(out.data(), out.size());
  return out;
}

TEST(PageCipher, ManyPagesAtOnceAndPagesBeyondTheKeptOnesMatchTheDescription) {
  // 301 pages at once take several threads and a remainder of single pages;
  // pages past kKeptStreamPages are generated one by one; shared and
  // cleared streams give the same bytes.
  auto streams = std::make_shared<PageStreams>("620418537");
  struct Case {
    std::int64_t offset;
    std::size_t length;
  };
  for (const Case& c : {Case{0, 301 * 4096}, Case{4096 * 70 + 9, 5000},
                        Case{kKeptStreamPages * 4096 - 3000, 7000}}) {
    for (int round = 0; round < 2; ++round) {
      Bytes bytes(c.length, 0);
      PageCipher(streams).Apply(c.offset, bytes.data(), bytes.size());
      for (std::int64_t page = c.offset / 4096;
           page <= (c.offset + static_cast<std::int64_t>(c.length) - 1) / 4096;
           page += c.length > 100000 ? 7 : 1) {
        const Bytes expected = ReferencePageStream("620418537", page);
        const std::int64_t from = std::max(page * 4096, c.offset);
        const std::int64_t to =
            std::min((page + 1) * 4096, c.offset + static_cast<std::int64_t>(c.length));
        for (std::int64_t at = std::max<std::int64_t>(from, 4); at < to; ++at)
          ASSERT_EQ(bytes[static_cast<std::size_t>(at - c.offset)],
                    expected[static_cast<std::size_t>(at - page * 4096)])
              << "page " << page << " offset " << at << " round " << round;
      }
      streams->Clear();
    }
  }
  EXPECT_EQ(streams->KeptBytes(), 0);
}

TEST(EmptyRuleTable, Is404ProtectedBytesWithTheFourRuleFields) {
  const Bytes stored = MakeEmptyRuleTable();
  ASSERT_EQ(stored.size(), 404u);
  EXPECT_EQ(std::string(stored.begin(), stored.begin() + 4), "WCDB");
  // Without the password the version is not readable...
  EXPECT_NE(GetInt32(stored.data() + 4), 65536);
  // ...with it everything is.
  const Bytes plain = Plain(stored, kRulePassword);
  TableHeader h;
  ParseHeader(plain.data(), h);
  EXPECT_EQ(h.version, 65536);
  EXPECT_EQ(h.recordCount, 0);
  EXPECT_EQ(h.nextSerial, 1);
  EXPECT_EQ(h.recordSize, 4 + kRuleKeywordWidth + kRuleReplyWidth + kRuleMatchWidth + 4);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(h.verifier.data())),
            PasswordVerifier(kRulePassword));
  EXPECT_EQ(h.verifier[32], 0);
  for (int k = 61; k < 112; ++k) EXPECT_EQ(plain[k], 0) << k;
  EXPECT_EQ(GetInt32(plain.data() + 112), 4);
  const Text names[] = {Gbk(u8"关键词"), Gbk(u8"回复语"), Gbk(u8"匹配规则"), Gbk(u8"匹配码")};
  const std::int32_t types[] = {10, 10, 10, 3};
  std::int32_t offset = 4;
  for (int k = 0; k < 4; ++k) {
    FieldDescriptor d;
    ParseDescriptor(plain.data() + 116 + 72 * k, d);
    EXPECT_EQ(d.name, names[k]);
    EXPECT_EQ(d.type, types[k]);
    EXPECT_EQ(d.offset, offset);
    offset += static_cast<std::int32_t>(d.Size());
    for (int r = 17; r < 20; ++r) EXPECT_EQ(plain[116 + 72 * k + r], 0);
    for (int r = 32; r < 72; ++r) EXPECT_EQ(plain[116 + 72 * k + r], 0);
  }
  EXPECT_EQ(GetInt32(plain.data() + 116 + 72 * 3 + 28), 0);  // integer: width 0
}

TEST(FileNames, DefaultExtensionCompanionAndTitle) {
  EXPECT_EQ(WithDefaultExtension("C:\\a\\rules"), "C:\\a\\rules.EDB");
  EXPECT_EQ(WithDefaultExtension("C:\\a\\rules."), "C:\\a\\rules.EDB");
  EXPECT_EQ(WithDefaultExtension("C:\\a\\Database.edb"), "C:\\a\\Database.edb");
  EXPECT_EQ(WithDefaultExtension("C:\\a.b\\rules"), "C:\\a.b\\rules.EDB");  // dot in a folder
  EXPECT_EQ(CompanionPath("C:\\a\\Database.edb"), "C:\\a\\Database.EDT");
  EXPECT_EQ(CompanionPath("C:\\a.b\\x"), "C:\\a.b\\x.EDT");
  EXPECT_EQ(FileTitle("C:\\a\\Database.edb"), "Database");
  EXPECT_EQ(FileTitle("/tmp/x/Sorting.edb"), "Sorting");
  // A double-byte character whose trail byte is 0x5C is not a separator.
  const Text name =
      "C:\\d\\\xB1\x5C"
      "x";
  EXPECT_EQ(FileTitle(name),
            "\xB1\x5C"
            "x");
  EXPECT_EQ(WithDefaultExtension("C:\\d\\a.\xB1\x5C"
                                 "x"),
            "C:\\d\\a.\xB1\x5C"
            "x");
}
