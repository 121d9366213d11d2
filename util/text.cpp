#include "util/text.h"

std::string toUpperAnsi(std::string_view text) {
  std::string result(text);
  for (char& c : result) {
    c = toUpperAscii(c);
  }
  return result;
}

std::string trimSpaces(std::string_view text, std::string_view blanks) {
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) {
    return {};
  }
  const std::size_t last = text.find_last_not_of(blanks);
  return std::string(text.substr(first, last - first + 1));
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (toUpperAscii(a[i]) != toUpperAscii(b[i])) {
      return false;
    }
  }
  return true;
}

bool endsWithIgnoringCase(std::string_view name, std::string_view suffix) {
  return name.size() >= suffix.size() &&
         equalsIgnoringCase(name.substr(name.size() - suffix.size()), suffix);
}

std::string toHex(std::uint32_t value, std::size_t width, char fill) {
  std::string digits;
  do {
    digits.insert(digits.begin(), "0123456789abcdef"[value % 16]);
    value /= 16;
  } while (value != 0);
  if (digits.size() < width) {
    digits.insert(0, width - digits.size(), fill);
  }
  return digits;
}

std::optional<std::uint32_t> readWrappingDecimal(std::string_view text, std::size_t& pos) {
  std::size_t at = pos;
  std::uint32_t value = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
    value = value * 10U + static_cast<std::uint32_t>(text[at] - '0');
    ++at;
  }
  if (at == pos) {
    return std::nullopt;
  }
  pos = at;
  return value;
}

std::string maskControlCharacters(std::string text) {
  for (char& c : text) {
    const auto code = static_cast<unsigned char>(c);
    if (code < 32 || code == 127) {
      c = '?';
    }
  }
  return text;
}

bool matchesWildcard(std::string_view mask, std::string_view name) {
  // Greedy with one step back: on a mismatch after a "*", that "*" takes one more character.
  std::size_t m = 0;
  std::size_t n = 0;
  std::size_t star = std::string_view::npos;
  std::size_t resume = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == '*') {
      star = m++;
      resume = n;
    } else if (m < mask.size() &&
               (mask[m] == '?' || toUpperAscii(mask[m]) == toUpperAscii(name[n]))) {
      ++m;
      ++n;
    } else if (star != std::string_view::npos) {
      m = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == '*') {
    ++m;
  }
  return m == mask.size();
}
