#include "util/line_reader.h"

std::string_view nextLine(std::string_view block, std::size_t& position) {
  const std::size_t start = position;
  if (start >= block.size()) {
    position = block.size();
    return {};
  }
  // A plain loop: find_first_of would look each byte up in the set of two with memchr.
  std::size_t end = start;
  while (end < block.size() && block[end] != '\r' && block[end] != '\n') {
    ++end;
  }
  if (end == block.size()) {
    position = end;
  } else {
    const bool crlf = block[end] == '\r' && end + 1 < block.size() && block[end + 1] == '\n';
    position = end + (crlf ? 2 : 1);
  }
  return block.substr(start, end - start);
}

std::string readLine(std::string_view block, std::uint32_t& position) {
  std::size_t at = position;
  const std::string_view line = nextLine(block, at);
  position = static_cast<std::uint32_t>(at);
  return std::string(line);
}
