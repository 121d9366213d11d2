#include "util/crc32.h"

#include <array>

namespace {

// Eight tables, so that eight bytes are taken per step ("slicing by 8"): table k gives the CRC
// of a byte followed by k zero bytes. Built once, when the program is compiled.
using Tables = std::array<std::array<std::uint32_t, 256>, 8>;

constexpr Tables makeTables() {
  Tables tables{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t value = i;
    for (int bit = 0; bit < 8; ++bit) {
      value = (value & 1U) != 0 ? 0xEDB88320U ^ (value >> 1) : value >> 1;
    }
    tables[0][i] = value;
  }
  for (std::size_t k = 1; k < 8; ++k) {
    for (std::uint32_t i = 0; i < 256; ++i) {
      const std::uint32_t previous = tables[k - 1][i];
      tables[k][i] = (previous >> 8) ^ tables[0][previous & 0xFFU];
    }
  }
  return tables;
}

constexpr Tables kTables = makeTables();

// Four bytes at `p` as a little-endian number, whatever the machine's order.
inline std::uint32_t littleEndian32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

}  // namespace

void Crc32::update(const void* data, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  std::uint32_t crc = state;
  while (size >= 8) {
    const std::uint32_t low = littleEndian32(p) ^ crc;
    const std::uint32_t high = littleEndian32(p + 4);
    crc = kTables[7][low & 0xFFU] ^ kTables[6][(low >> 8) & 0xFFU] ^
          kTables[5][(low >> 16) & 0xFFU] ^ kTables[4][low >> 24] ^ kTables[3][high & 0xFFU] ^
          kTables[2][(high >> 8) & 0xFFU] ^ kTables[1][(high >> 16) & 0xFFU] ^
          kTables[0][high >> 24];
    p += 8;
    size -= 8;
  }
  while (size-- > 0) {
    crc = kTables[0][(crc ^ *p++) & 0xFFU] ^ (crc >> 8);
  }
  state = crc;
}
