#include "tic/link_list.h"

#include <algorithm>

#include "platform/file.h"
#include "platform/file_system.h"
#include "util/line_reader.h"

namespace {

// Reads a decimal number of 0 to 65535 at `pos`, moving `pos` past it.
std::optional<std::uint16_t> readPart(std::string_view text, std::size_t& pos) {
  std::uint32_t value = 0;
  const std::size_t start = pos;
  while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
    value = value * 10 + static_cast<std::uint32_t>(text[pos] - '0');
    if (value > 0xFFFFU) {
      return std::nullopt;
    }
    ++pos;
  }
  if (pos == start) {
    return std::nullopt;
  }
  return static_cast<std::uint16_t>(value);
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

// The blank-separated words of a line, up to a word that begins with ";".
std::vector<std::string_view> wordsOf(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t pos = 0;
  for (;;) {
    while (pos < line.size() && isBlank(line[pos])) {
      ++pos;
    }
    if (pos == line.size() || line[pos] == ';') {
      return words;
    }
    const std::size_t start = pos;
    while (pos < line.size() && !isBlank(line[pos])) {
      ++pos;
    }
    words.push_back(line.substr(start, pos - start));
  }
}

}  // namespace

std::optional<NodeAddress> readNodeAddress(std::string_view text) {
  if (const std::size_t at = text.find('@'); at != std::string_view::npos) {
    text = text.substr(0, at);
  }
  NodeAddress address;
  std::uint16_t* const parts[] = {&address.zone, &address.net, &address.node, &address.point};
  const char separators[] = {':', '/', '.'};
  std::size_t pos = 0;
  for (std::size_t i = 0; i < 4; ++i) {
    const std::optional<std::uint16_t> part = readPart(text, pos);
    if (!part) {
      return std::nullopt;
    }
    *parts[i] = *part;
    if (pos == text.size()) {
      return i >= 2 ? std::optional<NodeAddress>(address) : std::nullopt;
    }
    if (i == 3 || text[pos] != separators[i]) {
      return std::nullopt;
    }
    ++pos;
  }
  return std::nullopt;
}

std::vector<LinkLineProblem> LinkList::parse(std::string_view text) {
  std::vector<LinkLineProblem> problems;
  std::size_t position = 0;
  std::size_t number = 0;
  while (position < text.size()) {
    const std::string_view line = nextLine(text, position);
    ++number;
    const std::vector<std::string_view> words = wordsOf(line);
    if (words.empty()) {
      continue;
    }
    const std::optional<NodeAddress> address = readNodeAddress(words[0]);
    if (!address) {
      problems.push_back({number, "it does not begin with an FTN address zone:net/node[.point]"});
    } else if (words.size() > 2) {
      problems.push_back({number, "it holds more than an address and a password"});
    } else if (find(*address) == nullptr) {
      links.push_back({*address, words.size() == 2 ? std::string(words[1]) : std::string()});
    }
  }
  return problems;
}

const Link* LinkList::find(const NodeAddress& address) const {
  const auto found = std::find_if(links.begin(), links.end(),
                                  [&address](const Link& link) { return link.address == address; });
  return found == links.end() ? nullptr : &*found;
}

platform::Status loadLinkList(const std::string& path, LinkList& links,
                              std::vector<LinkLineProblem>* problems) {
  if (const platform::Status readable = platform::checkReadableFile(path); !readable) {
    return readable;
  }
  const platform::Result<std::string> text = platform::readWholeFile(path, platform::kHoldWait);
  if (!text) {
    return platform::Status::refused("it is held by another program");
  }
  std::vector<LinkLineProblem> found = links.parse(*text);
  if (problems != nullptr) {
    *problems = std::move(found);
  }
  return {};
}
