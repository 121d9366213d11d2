#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Returns the character made upper case when it is an ASCII letter a-z, else unchanged.
inline char toUpperAscii(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Returns the text with its letters made upper case. Text is 8-bit without an assumed code
// page, so only the ASCII letters a-z change.
std::string toUpperAnsi(std::string_view text);

// Returns the text without the characters of `blanks` at its start and end; by default only
// the space (code 32).
std::string trimSpaces(std::string_view text, std::string_view blanks = " ");

// True when the texts are equal, ASCII letter case ignored.
bool equalsIgnoringCase(std::string_view a, std::string_view b);

// True when `name` ends with `suffix`, ASCII letter case ignored.
bool endsWithIgnoringCase(std::string_view name, std::string_view suffix);

// Lower-case hexadecimal digits of `value`, at least `width` of them, padded on the left with
// `fill` ("%8x" is toHex(v, 8, ' '), "%08x" is toHex(v, 8, '0')).
std::string toHex(std::uint32_t value, std::size_t width, char fill);

// Reads the decimal digits at `pos` and moves `pos` past them. The number is taken modulo
// 2^32, as a 32-bit reader keeps it, so digits of any length give a defined value. Nothing,
// and `pos` unchanged, when no digit is there.
std::optional<std::uint32_t> readWrappingDecimal(std::string_view text, std::size_t& pos);

// Returns the text with every control character (codes 0-31 and 127) replaced by "?", so that
// a value from a remote system cannot end a line, cut a message short or send escapes. Bytes
// 128-255 stay.
std::string maskControlCharacters(std::string text);

// True when `name` matches `mask` whole, ASCII letter case ignored: "?" stands for any one
// character, "*" for any number of them, every other character for itself.
bool matchesWildcard(std::string_view mask, std::string_view name);
