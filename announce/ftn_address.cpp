#include "announce/ftn_address.h"

#include <optional>

#include "util/text.h"

namespace {

// The white space that a scanf conversion skips in the "C" locale.
bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Reads one decimal number at `pos`, moving `pos` past it; nothing when no digit follows the
// optional blanks and sign.
std::optional<std::uint16_t> readNumber(std::string_view text, std::size_t& pos) {
  std::size_t at = pos;
  while (at < text.size() && isBlank(text[at])) {
    ++at;
  }
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  std::optional<std::uint32_t> digits = readWrappingDecimal(text, at);
  if (!digits) {
    return std::nullopt;
  }
  std::uint32_t value = *digits;
  if (negative) {
    value = 0U - value;
  }
  pos = at;
  return static_cast<std::uint16_t>(value & 0xFFFFU);
}

}  // namespace

FtnAddress parseFtnAddress(std::string_view text) {
  FtnAddress address;
  std::uint16_t* const numbers[] = {&address.zone, &address.net, &address.node, &address.point};
  // The separator that must come right before each number; none before the zone.
  const char separators[] = {'\0', ':', '/', '.'};
  std::size_t pos = 0;
  for (int i = 0; i < 4; ++i) {
    if (i > 0) {
      if (pos >= text.size() || text[pos] != separators[i]) {
        break;
      }
      ++pos;
    }
    const std::optional<std::uint16_t> number = readNumber(text, pos);
    if (!number) {
      break;
    }
    *numbers[i] = *number;
    address.numbersRead = i + 1;
  }
  return address;
}

bool isFtnAddress(std::string_view text) {
  std::size_t pos = 0;
  const char separators[] = {':', '/', '.'};
  for (int i = 0; i < 4; ++i) {
    if (!readWrappingDecimal(text, pos)) {
      return false;
    }
    if (pos == text.size()) {
      return i >= 2;
    }
    if (i == 3 || text[pos] != separators[i]) {
      return false;
    }
    ++pos;
  }
  return false;
}
