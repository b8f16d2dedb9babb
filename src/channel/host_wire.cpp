#include "channel/host_wire.h"

#include <string>

namespace quillane::wire {

namespace {

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A decimal number with an optional minus sign, nothing else; at most 18
// digits, so that it always fits (addresses and lengths need far fewer).
std::optional<std::int64_t> ParseSigned(std::string_view text) {
  text = TrimBlanks(text);
  bool negative = false;
  if (!text.empty() && text.front() == '-') {
    negative = true;
    text.remove_prefix(1);
  }
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return negative ? -value : value;
}

std::optional<std::uint64_t> AsAddress(std::int64_t v) {
  if (v < 0) {
    if (v < -2147483648LL) return std::nullopt;
    return static_cast<std::uint64_t>(v + 4294967296LL);
  }
  return static_cast<std::uint64_t>(v);
}

}  // namespace

std::optional<std::uint32_t> EncodeWParam(std::uint64_t processId, std::uint32_t descriptorLength) {
  if (processId == 0 || descriptorLength == 0) return std::nullopt;
  const std::string pid = std::to_string(processId);
  if (pid.size() > 9) return std::nullopt;
  const std::string digits = std::to_string(pid.size()) + pid + std::to_string(descriptorLength);
  if (digits.size() > 10) return std::nullopt;
  const std::uint64_t value = std::stoull(digits);
  if (value >= kWParamLimit) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

std::optional<WParamFields> DecodeWParam(std::uint64_t wParam) {
  const std::string s = std::to_string(wParam);
  const std::size_t d = static_cast<std::size_t>(s[0] - '0');
  if (d == 0 || s.size() < 1 + d + 1) return std::nullopt;
  const std::string pid = s.substr(1, d);
  const std::string length = s.substr(1 + d);
  if (length.size() > 3) return std::nullopt;
  WParamFields f;
  f.processId = std::stoull(pid);
  f.descriptorLength = static_cast<std::uint32_t>(std::stoul(length));
  if (f.processId == 0 || f.descriptorLength == 0 || f.descriptorLength > kMaxDescriptor) {
    return std::nullopt;
  }
  return f;
}

Text BuildDescriptor(std::uint32_t statusAddress, std::uint32_t payloadLength,
                     std::uint32_t payloadAddress) {
  return std::to_string(static_cast<std::int32_t>(statusAddress)) + "$" +
         std::to_string(static_cast<std::int32_t>(payloadLength)) + "&" +
         std::to_string(static_cast<std::int32_t>(payloadAddress));
}

std::optional<std::uint64_t> ParseAddress(std::string_view text) {
  const auto v = ParseSigned(text);
  if (!v) return std::nullopt;
  return AsAddress(*v);
}

std::optional<std::uint64_t> AddressFromLParam(std::int64_t lParam) {
  if (lParam == 0) return std::nullopt;
  return AsAddress(lParam);
}

std::optional<Descriptor> ParseDescriptor(std::string_view bytes) {
  const auto zero = bytes.find('\0');
  if (zero != std::string_view::npos) bytes = bytes.substr(0, zero);
  const auto dollar = bytes.find('$');
  if (dollar == std::string_view::npos) return std::nullopt;
  const std::string_view rest = bytes.substr(dollar + 1);
  const auto amp = rest.find('&');
  if (amp == std::string_view::npos) return std::nullopt;
  const auto status = ParseAddress(bytes.substr(0, dollar));
  const auto length = ParseSigned(rest.substr(0, amp));
  const auto data = ParseAddress(rest.substr(amp + 1));
  if (!status || !length || !data || *status == 0) return std::nullopt;
  if (*length < 0 || *length > static_cast<std::int64_t>(kMaxPayload)) return std::nullopt;
  if (*data == 0 && *length != 0) return std::nullopt;
  return Descriptor{*status, static_cast<std::uint32_t>(*length), *data};
}

}  // namespace quillane::wire
