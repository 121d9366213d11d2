#include "announce/stored_message.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace storedmsg {

std::string_view attributeName(int bit) {
  static constexpr std::array<std::string_view, 16> kNames{"Private",
                                                           "Crash",
                                                           "Received",
                                                           "Sent",
                                                           "FileAttached",
                                                           "InTransit",
                                                           "Orphan",
                                                           "KillSent",
                                                           "Local",
                                                           "HoldForPickup",
                                                           "",
                                                           "FileRequest",
                                                           "ReturnReceiptRequest",
                                                           "IsReturnReceipt",
                                                           "AuditRequest",
                                                           "FileUpdateRequest"};
  return bit >= 0 && bit < 16 ? kNames[static_cast<std::size_t>(bit)] : std::string_view();
}

void putUint16(std::span<unsigned char, kHeaderSize> header, std::size_t offset,
               std::uint16_t value) {
  header[offset] = static_cast<unsigned char>(value & 0xFFU);
  header[offset + 1] = static_cast<unsigned char>(value >> 8);
}

void putUint32(std::span<unsigned char, kHeaderSize> header, std::size_t offset,
               std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) {
    header[offset + i] = static_cast<unsigned char>((value >> (8 * i)) & 0xFFU);
  }
}

void putText(std::span<unsigned char, kHeaderSize> header, TextField field, std::string_view text) {
  const std::size_t length = std::min(text.size(), field.width - 1);
  auto target = header.begin() + static_cast<std::ptrdiff_t>(field.offset);
  target = std::copy(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length), target);
  std::fill(target, target + static_cast<std::ptrdiff_t>(field.width - length), 0);
}

std::uint16_t getUint16(std::string_view header, std::size_t offset) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(header[offset]) |
                                    (static_cast<unsigned char>(header[offset + 1]) << 8));
}

std::uint32_t getUint32(std::string_view header, std::size_t offset) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(header[offset + i])) << (8 * i);
  }
  return value;
}

std::string getText(std::string_view header, TextField field) {
  const std::string_view bytes = header.substr(field.offset, field.width);
  return std::string(bytes.substr(0, bytes.find('\0')));
}

std::uint32_t messageNumberOf(std::string_view name) {
  constexpr std::string_view kExtension = ".msg";
  if (name.size() <= kExtension.size() || name.size() > 8 + kExtension.size()) {
    return 0;
  }
  const std::string_view digits = name.substr(0, name.size() - kExtension.size());
  const std::string_view extension = name.substr(digits.size());
  for (std::size_t i = 0; i < kExtension.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(extension[i])) != kExtension[i]) {
      return 0;
    }
  }
  std::uint32_t number = 0;
  for (const char digit : digits) {
    if (digit < '0' || digit > '9') {
      return 0;
    }
    number = number * 10 + static_cast<std::uint32_t>(digit - '0');
  }
  return number;
}

}  // namespace storedmsg
