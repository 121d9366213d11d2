#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// The layout of a stored netmail message ("%d.msg"): a 190-byte header with little-endian
// numbers and zero-terminated, zero-filled text fields, then the body, then one zero byte.
namespace storedmsg {

inline constexpr std::size_t kHeaderSize = 190;

// A text field of the header: where it starts and how many bytes it fills.
struct TextField {
  std::size_t offset;
  std::size_t width;
};

inline constexpr TextField kFromUserName{0, 36};
inline constexpr TextField kToUserName{36, 36};
inline constexpr TextField kSubject{72, 72};
inline constexpr TextField kDateTime{144, 20};

// Offsets of the numeric fields: 16 bits each, except the two 32-bit ones.
inline constexpr std::size_t kTimesRead = 164;
inline constexpr std::size_t kDestNode = 166;
inline constexpr std::size_t kOrigNode = 168;
inline constexpr std::size_t kCost = 170;
inline constexpr std::size_t kOrigNet = 172;
inline constexpr std::size_t kDestNet = 174;
inline constexpr std::size_t kCreationTime = 176;  // 32 bits, seconds since 1970 UTC
inline constexpr std::size_t kReserved = 180;      // 32 bits, always zero
inline constexpr std::size_t kReplyTo = 184;
inline constexpr std::size_t kAttribute = 186;
inline constexpr std::size_t kNextReply = 188;

// Messages are numbered from 2 to this, the highest number whose "%d.msg" is still an 8.3 name.
inline constexpr std::uint32_t kHighestMessageNumber = 99999999;

// Returns the number of a stored message's file name: decimal digits and ".msg" (in any letter
// case), the number from 1 to kHighestMessageNumber; 0 for any other name.
std::uint32_t messageNumberOf(std::string_view name);

// Attribute bits.
inline constexpr std::uint16_t kPrivate = 0x0001;
inline constexpr std::uint16_t kLocal = 0x0100;

// Returns the name of attribute bit `bit` (0 to 15), or "" for an unused bit.
std::string_view attributeName(int bit);

// Writes `value` little-endian at `offset`, whatever the host's byte order.
void putUint16(std::span<unsigned char, kHeaderSize> header, std::size_t offset,
               std::uint16_t value);
void putUint32(std::span<unsigned char, kHeaderSize> header, std::size_t offset,
               std::uint32_t value);

// Writes at most width - 1 bytes of `text` into the field and fills the rest with zero bytes,
// so the field is always terminated.
void putText(std::span<unsigned char, kHeaderSize> header, TextField field, std::string_view text);

// Read the fields back from the first kHeaderSize bytes of `header`, which must hold them.
std::uint16_t getUint16(std::string_view header, std::size_t offset);
std::uint32_t getUint32(std::string_view header, std::size_t offset);

// Returns the field's text up to its first zero byte; the whole field when it holds none.
std::string getText(std::string_view header, TextField field);

}  // namespace storedmsg
