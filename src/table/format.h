// The bytes of table files and their companion files: header, field
// descriptors, records, companion blocks, file names, the password verifier
// and the page-keyed scrambling of protected files.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "services/types.h"
#include "table/crypto.h"
#include "table/keystream.h"

namespace quillane::table {

enum class FieldType : std::int32_t {
  kByte = 1,
  kShort = 2,
  kInt = 3,
  kLong = 4,
  kFloat = 5,
  kDouble = 6,
  kBool = 7,
  kDateTime = 8,
  kSubroutine = 9,
  kText = 10,
  kByteArray = 11,
  kMemo = 12,
};

constexpr std::int64_t kHeaderSize = 112;
constexpr std::int64_t kDescriptorSize = 72;
constexpr std::int64_t kFieldsOffset = 116;   // after the header and the field count
constexpr std::int64_t kCountersOffset = 16;  // record count and next serial
constexpr std::int32_t kVersion = 65536;
constexpr std::int64_t kBlockSize = 512;
constexpr std::int64_t kBlockData = 500;
constexpr std::int64_t kCompanionHeaderSize = 32;
constexpr std::int64_t kCompanionCountersOffset = 16;  // block count, free count, first free
constexpr std::int64_t kPageSize = 4096;
constexpr std::size_t kMaxFieldName = 16;

// Bytes a field of this type takes in a record (width for text; 0 for an unknown type).
std::int64_t FieldSize(std::int32_t type, std::int32_t width);
bool IsBlockType(std::int32_t type);  // memo or byte array: stored in the companion

struct TableHeader {
  std::array<char, 4> magic{{'W', 'E', 'D', 'B'}};
  std::int32_t version = kVersion;
  double created = 0;
  std::int32_t recordCount = 0;
  std::int32_t nextSerial = 1;
  std::int32_t recordSize = 4;
  std::array<std::uint8_t, 33> verifier{};  // 32 ASCII characters and a 0 byte, or all zero

  bool Protected() const { return magic[0] == 'W' && magic[1] == 'C'; }
  bool KnownMagic() const;
};

void ParseHeader(const std::uint8_t* bytes, TableHeader& header);  // 112 bytes
void SerializeHeader(const TableHeader& header, std::uint8_t* bytes);

struct FieldDescriptor {
  Text name;
  std::int32_t type = 0;
  std::int32_t offset = 0;
  std::int32_t width = 0;
  bool terminated = true;  // the name had a 0 byte within its 17 bytes

  std::int64_t Size() const { return FieldSize(type, width); }
};

void ParseDescriptor(const std::uint8_t* bytes, FieldDescriptor& field);  // 72 bytes
void SerializeDescriptor(const FieldDescriptor& field, std::uint8_t* bytes);

struct CompanionHeader {
  std::array<char, 4> magic{{'W', 'E', 'D', 'T'}};
  std::int32_t version = kVersion;
  double created = 0;
  std::int32_t blockCount = 1;
  std::int32_t freeCount = 0;
  std::int32_t firstFree = 0;
};
void ParseCompanionHeader(const std::uint8_t* bytes, CompanionHeader& header);  // 32 bytes
void SerializeCompanionHeader(const CompanionHeader& header, std::uint8_t* bytes);

struct BlockHead {
  std::int32_t previous = 0;
  std::int32_t next = 0;
  std::int32_t used = 0;
};
void ParseBlockHead(const std::uint8_t* bytes, BlockHead& head);  // 12 bytes
void SerializeBlockHead(const BlockHead& head, std::uint8_t* bytes);

// Little-endian access.
std::int32_t GetInt32(const std::uint8_t* p);
void PutInt32(std::uint8_t* p, std::int32_t v);
std::int64_t GetInt64(const std::uint8_t* p);
void PutInt64(std::uint8_t* p, std::int64_t v);
double GetDouble(const std::uint8_t* p);
void PutDouble(std::uint8_t* p, double v);

// The password verifier: MD5 as lower-case hex, neighbouring characters
// swapped, then reversed. Empty for an empty password.
std::string PasswordVerifier(std::string_view password);

// Verifiers compare as texts up to their 0 byte, ignoring ASCII case.
bool VerifierMatches(const std::array<std::uint8_t, 33>& stored, const std::string& computed);

// Days since 1899-12-30 (local time) for the present moment.
double NowAsDateTime();

// A lead byte of a GBK double-byte character.
constexpr bool IsLeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// File names. Separators are "\" and, for native paths, "/"; double-byte
// characters are skipped whole, so a trail byte 0x5C is never a separator.
Text WithDefaultExtension(const Text& name);  // appends ".EDB" or "EDB" as needed
Text CompanionPath(const Text& fullPath);     // extension replaced by "EDT"
Text FileTitle(const Text& path);             // the name without folder and extension

// The bytes of a new table file without records: header, field count and
// descriptors (offsets assigned in order from 4), scrambled with the password
// when it is not empty.
Bytes BuildTableFile(const std::vector<FieldDescriptor>& fields, std::string_view password,
                     double created);
// The bytes of a new companion file: the single header block.
Bytes BuildCompanionFile(std::string_view password, double created);

}  // namespace quillane::table
