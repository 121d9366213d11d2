#pragma once

#include <cstdint>
#include <string_view>

// A system's FTN address as the configuration gives it: zone:net/node.point.
struct FtnAddress {
  std::uint16_t zone = 0;
  std::uint16_t net = 0;
  std::uint16_t node = 0;
  std::uint16_t point = 0;
  int numbersRead = 0;  // how many of the four numbers the text held, 0 to 4

  // True when the text gave all four numbers, point included.
  bool complete() const { return numbersRead == 4; }
};

// Reads "zone:net/node.point" the way sscanf reads "%d:%d/%d.%d": white space and a sign are
// allowed before each number, the separators must follow the numbers directly, and reading
// stops at the first character that does not fit; the numbers not read stay 0. Each number is
// taken modulo 2^32 and then to its low 16 bits, so huge or negative numbers wrap.
FtnAddress parseFtnAddress(std::string_view text);

// True when the whole text reads as "zone:net/node" or "zone:net/node.point": decimal numbers
// only, nothing before, between or after them.
bool isFtnAddress(std::string_view text);
