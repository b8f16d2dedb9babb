#include "table/format.h"

#include "services/events.h"

#include <cstring>
#include <ctime>

namespace quillane::table {

std::int64_t FieldSize(std::int32_t type, std::int32_t width) {
  switch (static_cast<FieldType>(type)) {
    case FieldType::kByte:
    case FieldType::kBool:
      return 1;
    case FieldType::kShort:
      return 2;
    case FieldType::kInt:
    case FieldType::kFloat:
    case FieldType::kSubroutine:
    case FieldType::kByteArray:
    case FieldType::kMemo:
      return 4;
    case FieldType::kLong:
    case FieldType::kDouble:
    case FieldType::kDateTime:
      return 8;
    case FieldType::kText:
      return width;
  }
  return 0;
}

bool IsBlockType(std::int32_t type) {
  return type == static_cast<std::int32_t>(FieldType::kByteArray) ||
         type == static_cast<std::int32_t>(FieldType::kMemo);
}

std::int32_t GetInt32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(
      static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
      (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24));
}

void PutInt32(std::uint8_t* p, std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  for (int k = 0; k < 4; ++k) p[k] = static_cast<std::uint8_t>(u >> (8 * k));
}

std::int64_t GetInt64(const std::uint8_t* p) {
  std::uint64_t u = 0;
  for (int k = 7; k >= 0; --k) u = (u << 8) | p[k];
  return static_cast<std::int64_t>(u);
}

void PutInt64(std::uint8_t* p, std::int64_t v) {
  const auto u = static_cast<std::uint64_t>(v);
  for (int k = 0; k < 8; ++k) p[k] = static_cast<std::uint8_t>(u >> (8 * k));
}

double GetDouble(const std::uint8_t* p) {
  const auto u = static_cast<std::uint64_t>(GetInt64(p));
  double d;
  std::memcpy(&d, &u, sizeof d);
  return d;
}

void PutDouble(std::uint8_t* p, double v) {
  std::uint64_t u;
  std::memcpy(&u, &v, sizeof u);
  PutInt64(p, static_cast<std::int64_t>(u));
}

bool TableHeader::KnownMagic() const {
  return magic[0] == 'W' && (magic[1] == 'E' || magic[1] == 'C') && magic[2] == 'D' &&
         magic[3] == 'B';
}

namespace {

// Both file headers start alike: the magic, the version, the creation time
// and three 32-bit counters at 16, 20 and 24.
void ParseFileStart(const std::uint8_t* b, std::array<char, 4>& magic, std::int32_t& version,
                    double& created, std::int32_t& first, std::int32_t& second,
                    std::int32_t& third) {
  std::memcpy(magic.data(), b, 4);
  version = GetInt32(b + 4);
  created = GetDouble(b + 8);
  first = GetInt32(b + 16);
  second = GetInt32(b + 20);
  third = GetInt32(b + 24);
}

void SerializeFileStart(const std::array<char, 4>& magic, std::int32_t version, double created,
                        std::int32_t first, std::int32_t second, std::int32_t third,
                        std::uint8_t* b) {
  std::memcpy(b, magic.data(), 4);
  PutInt32(b + 4, version);
  PutDouble(b + 8, created);
  PutInt32(b + 16, first);
  PutInt32(b + 20, second);
  PutInt32(b + 24, third);
}

}  // namespace

void ParseHeader(const std::uint8_t* b, TableHeader& h) {
  ParseFileStart(b, h.magic, h.version, h.created, h.recordCount, h.nextSerial, h.recordSize);
  std::memcpy(h.verifier.data(), b + 28, 33);
}

void SerializeHeader(const TableHeader& h, std::uint8_t* b) {
  std::memset(b, 0, kHeaderSize);
  SerializeFileStart(h.magic, h.version, h.created, h.recordCount, h.nextSerial, h.recordSize, b);
  std::memcpy(b + 28, h.verifier.data(), 33);
}

void ParseDescriptor(const std::uint8_t* b, FieldDescriptor& f) {
  const void* zero = std::memchr(b, 0, 17);
  f.terminated = zero != nullptr;
  const std::size_t n =
      zero ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - b) : 17;
  f.name.assign(reinterpret_cast<const char*>(b), n);
  f.type = GetInt32(b + 20);
  f.offset = GetInt32(b + 24);
  f.width = GetInt32(b + 28);
}

void SerializeDescriptor(const FieldDescriptor& f, std::uint8_t* b) {
  std::memset(b, 0, kDescriptorSize);
  std::memcpy(b, f.name.data(), std::min<std::size_t>(f.name.size(), kMaxFieldName));
  PutInt32(b + 20, f.type);
  PutInt32(b + 24, f.offset);
  PutInt32(b + 28, f.type == static_cast<std::int32_t>(FieldType::kText) ? f.width : 0);
}

void ParseCompanionHeader(const std::uint8_t* b, CompanionHeader& h) {
  ParseFileStart(b, h.magic, h.version, h.created, h.blockCount, h.freeCount, h.firstFree);
}

void SerializeCompanionHeader(const CompanionHeader& h, std::uint8_t* b) {
  std::memset(b, 0, kCompanionHeaderSize);
  SerializeFileStart(h.magic, h.version, h.created, h.blockCount, h.freeCount, h.firstFree, b);
}

void ParseBlockHead(const std::uint8_t* b, BlockHead& h) {
  h.previous = GetInt32(b);
  h.next = GetInt32(b + 4);
  h.used = GetInt32(b + 8);
}

void SerializeBlockHead(const BlockHead& h, std::uint8_t* b) {
  PutInt32(b, h.previous);
  PutInt32(b + 4, h.next);
  PutInt32(b + 8, h.used);
}

std::string PasswordVerifier(std::string_view password) {
  if (password.empty()) return {};
  std::string hex = Md5Hex(password);
  for (std::size_t k = 0; k + 1 < hex.size(); k += 2) std::swap(hex[k], hex[k + 1]);
  return std::string(hex.rbegin(), hex.rend());
}

bool VerifierMatches(const std::array<std::uint8_t, 33>& stored, const std::string& computed) {
  std::size_t n = 0;
  while (n < stored.size() && stored[n] != 0) ++n;
  if (n != computed.size()) return false;
  for (std::size_t k = 0; k < n; ++k) {
    auto lower = [](unsigned c) { return (c >= 'A' && c <= 'Z') ? c + 32 : c; };
    if (lower(stored[k]) != lower(static_cast<unsigned char>(computed[k]))) return false;
  }
  return true;
}

double NowAsDateTime() {
  const std::tm local = LocalTimeNow();
  // Days from 1899-12-30 to the local date, by the civil-from-days count.
  auto daysFromCivil = [](int y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int>(doe) - 719468;
  };
  const int days = daysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                 static_cast<unsigned>(local.tm_mday)) -
                   daysFromCivil(1899, 12, 30);
  const double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
  return days + seconds / 86400.0;
}

namespace {

// Positions of the last separator and of the last "." in a GBK path (npos when absent).
void ScanPath(const Text& path, std::size_t& lastSeparator, std::size_t& lastDot) {
  lastSeparator = Text::npos;
  lastDot = Text::npos;
  for (std::size_t k = 0; k < path.size(); ++k) {
    const auto c = static_cast<unsigned char>(path[k]);
    if (IsLeadByte(c) && k + 1 < path.size()) {
      ++k;
      continue;
    }
    if (c == '\\' || c == '/') lastSeparator = k;
    if (c == '.') lastDot = k;
  }
}

}  // namespace

Text WithDefaultExtension(const Text& name) {
  std::size_t sep, dot;
  ScanPath(name, sep, dot);
  if (dot != Text::npos && (sep == Text::npos || dot > sep)) {
    if (dot + 1 == name.size()) return name + "EDB";
    return name;
  }
  return name + ".EDB";
}

Text CompanionPath(const Text& fullPath) {
  std::size_t sep, dot;
  ScanPath(fullPath, sep, dot);
  if (dot != Text::npos && (sep == Text::npos || dot > sep))
    return fullPath.substr(0, dot + 1) + "EDT";
  return fullPath + ".EDT";
}

Text FileTitle(const Text& path) {
  std::size_t sep, dot;
  ScanPath(path, sep, dot);
  const std::size_t start = sep == Text::npos ? 0 : sep + 1;
  const std::size_t end =
      (dot != Text::npos && (sep == Text::npos || dot > sep)) ? dot : path.size();
  return path.substr(start, end - start);
}

Bytes BuildTableFile(const std::vector<FieldDescriptor>& fields, std::string_view password,
                     double created) {
  TableHeader header;
  header.created = created;
  std::int64_t recordSize = 4;
  std::vector<FieldDescriptor> laid = fields;
  for (auto& f : laid) {
    f.offset = static_cast<std::int32_t>(recordSize);
    recordSize += f.Size();
  }
  header.recordSize = static_cast<std::int32_t>(recordSize);
  const std::string verifier = PasswordVerifier(password);
  if (!verifier.empty()) {
    header.magic = {{'W', 'C', 'D', 'B'}};
    std::memcpy(header.verifier.data(), verifier.data(), 32);
  }
  Bytes out(static_cast<std::size_t>(kFieldsOffset + kDescriptorSize * laid.size()), 0);
  SerializeHeader(header, out.data());
  PutInt32(out.data() + kHeaderSize, static_cast<std::int32_t>(laid.size()));
  for (std::size_t k = 0; k < laid.size(); ++k)
    SerializeDescriptor(laid[k], out.data() + kFieldsOffset + kDescriptorSize * k);
  if (!password.empty()) PageCipher(password).Apply(0, out.data(), out.size());
  return out;
}

Bytes BuildCompanionFile(std::string_view password, double created) {
  Bytes out(kBlockSize, 0);
  CompanionHeader header;
  header.created = created;
  SerializeCompanionHeader(header, out.data());
  if (!password.empty()) PageCipher(password).Apply(0, out.data(), out.size());
  return out;
}

}  // namespace quillane::table
