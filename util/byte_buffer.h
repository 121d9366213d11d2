#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

// A growable block of bytes for building a file's contents in memory. It grows to exactly the
// size an append needs.
class ByteBuffer {
 public:
  // Obtains a block of exactly `initialCapacity` bytes; a failure leaves the buffer without one.
  explicit ByteBuffer(std::uint32_t initialCapacity);
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;

  // Appends `count` bytes. False, and nothing changed, when the count is 0, the buffer has no
  // block, or it cannot grow.
  bool append(const void* bytes, std::uint32_t count);
  bool append(std::string_view bytes);

  const char* data() const { return block.get(); }
  std::uint32_t size() const { return length; }
  std::string_view view() const { return {block.get(), length}; }

 private:
  struct FreeBlock {
    void operator()(char* p) const { std::free(p); }
  };
  std::uint32_t capacity = 0;
  std::uint32_t length = 0;
  std::unique_ptr<char, FreeBlock> block;
};
