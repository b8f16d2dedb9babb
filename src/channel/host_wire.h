// The wire format of host messages.
//
// A sender keeps three things in its own memory until its send returns: a
// status byte of value 1, the payload bytes, and a request descriptor, the text
//   <status address>$<payload length>&<payload address>
// (decimal numbers, no terminating zero). lParam is the descriptor's address;
// wParam is the number whose decimal digits are: one digit d, the d digits of
// the sender's process id, then the descriptor's length. The receiver reads the
// descriptor and the payload out of the sender's process and acknowledges by
// writing the byte 2 into the status byte.
//
// The wire is 32-bit: everything this program hands out lies below 2 GiB, so
// its numbers are positive 32-bit values; numbers it reads are taken as
// unsigned 32-bit (a negative number is the address it stands for as 32 bits),
// and wider numbers from a 64-bit peer are accepted as they are.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "services/types.h"

namespace quillane::wire {

// The largest payload accepted in either direction.
inline constexpr std::uint32_t kMaxPayload = 1u << 20;
// The longest request descriptor accepted (two 64-bit addresses and a length
// need about 50 bytes).
inline constexpr std::uint32_t kMaxDescriptor = 128;
// wParam must stay below this, so 32-bit peers read it as a positive int.
inline constexpr std::uint64_t kWParamLimit = 0x80000000ull;

// The status byte's values.
inline constexpr std::uint8_t kStatusSent = 1;
inline constexpr std::uint8_t kStatusAcknowledged = 2;

// wParam for a process id and a descriptor length. No value when it would not
// fit below kWParamLimit: process ids of 7 or more digits cannot be encoded, so
// such a process cannot send (its sends report false).
std::optional<std::uint32_t> EncodeWParam(std::uint64_t processId, std::uint32_t descriptorLength);

struct WParamFields {
  std::uint64_t processId = 0;
  std::uint32_t descriptorLength = 0;
};
// Reads wParam as an unsigned decimal number. No value for a number that does
// not have the digits the layout asks for, a process id of 0, or a descriptor
// length of 0 or beyond kMaxDescriptor.
std::optional<WParamFields> DecodeWParam(std::uint64_t wParam);

// The descriptor text for 32-bit addresses below 2 GiB.
Text BuildDescriptor(std::uint32_t statusAddress, std::uint32_t payloadLength,
                     std::uint32_t payloadAddress);

struct Descriptor {
  std::uint64_t statusAddress = 0;
  std::uint32_t payloadLength = 0;
  std::uint64_t payloadAddress = 0;
};
// Parses the descriptor bytes as read (they end at the first zero byte, if
// any). Each number may have blanks around it and a minus sign, and must
// otherwise be decimal digits. No value for a descriptor without "$" or "&", a
// number that does not read, a status address of 0, a negative length or one
// above kMaxPayload, or a payload address of 0 with a non-zero length.
std::optional<Descriptor> ParseDescriptor(std::string_view bytes);

// An address as the wire carries it: decimal, negative numbers down to
// -2147483648 standing for their unsigned 32-bit value. No value otherwise.
std::optional<std::uint64_t> ParseAddress(std::string_view text);

// lParam as an address: a negative 32-bit value (a sign-extended address of a
// 32-bit peer) is taken as unsigned 32-bit. No value for 0 or a negative
// number below the 32-bit range.
std::optional<std::uint64_t> AddressFromLParam(std::int64_t lParam);

}  // namespace quillane::wire
