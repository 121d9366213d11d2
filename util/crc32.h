#pragma once

#include <cstddef>
#include <cstdint>

// CRC-32 as zip and the .tic files' "Crc" use it: reflected polynomial 0xEDB88320, started at
// and finished with all bits set. Fed in pieces of any size, it gives the CRC of the whole.
class Crc32 {
 public:
  // Adds `size` bytes at `data`.
  void update(const void* data, std::size_t size);

  // The CRC-32 of every byte added so far.
  std::uint32_t value() const { return ~state; }

 private:
  std::uint32_t state = 0xFFFFFFFFU;
};
