#include "util/byte_buffer.h"

#include <cstring>
#include <limits>

ByteBuffer::ByteBuffer(std::uint32_t initialCapacity)
    // malloc(0) may give no block; one byte keeps "a block of size 0" usable.
    : block(static_cast<char*>(std::malloc(initialCapacity == 0 ? 1 : initialCapacity))) {
  if (block) {
    capacity = initialCapacity;
  }
}

bool ByteBuffer::append(const void* bytes, std::uint32_t count) {
  if (!block || count == 0) {
    return false;
  }
  if (count > std::numeric_limits<std::uint32_t>::max() - length) {
    return false;
  }
  const std::uint32_t needed = length + count;
  if (needed > capacity) {
    // realloc grows large blocks in place or by remapping pages, so exact growth does not turn
    // a long run of appends into repeated copies of the whole block.
    char* grown = static_cast<char*>(std::realloc(block.get(), needed));
    if (grown == nullptr) {
      return false;
    }
    static_cast<void>(block.release());
    block.reset(grown);
    capacity = needed;
  }
  std::memcpy(block.get() + length, bytes, count);
  length = needed;
  return true;
}

bool ByteBuffer::append(std::string_view bytes) {
  if (bytes.size() > std::numeric_limits<std::uint32_t>::max()) {
    return false;
  }
  return append(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
}
