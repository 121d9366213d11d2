#include "util/line_reader.h"

std::string readLine(std::string_view block, std::uint32_t& position) {
  const auto length = static_cast<std::uint32_t>(block.size());
  std::uint32_t index = position;
  std::uint32_t start = index;
  while (index < length) {
    const char c = block[index];
    if (c == '\r') {
      position = (index + 1 < length && block[index + 1] == '\n') ? index + 2 : index + 1;
      return std::string(block.substr(start, index - start));
    }
    if (c == '\n') {
      position = index + 1;
      return std::string(block.substr(start, index - start));
    }
    ++index;
  }
  position = length;
  if (start >= length) {
    return {};
  }
  return std::string(block.substr(start));
}
