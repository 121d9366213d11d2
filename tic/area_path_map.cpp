#include "tic/area_path_map.h"

#include "platform/file.h"
#include "util/line_reader.h"
#include "util/text.h"

AreaPathMap::AreaPathMap(const std::string& listFile) {
  if (listFile.empty()) {
    return;
  }
  if (const auto text = platform::readWholeFile(listFile, platform::kHoldWait)) {
    parse(*text);
  }
}

void AreaPathMap::parse(std::string_view text) {
  std::uint32_t position = 0;
  while (position < text.size()) {
    const std::string line = readLine(text, position);
    if (!line.empty() && line.front() == ';') {
      continue;
    }
    const std::size_t separator = line.find_first_of(" =");
    if (separator == std::string::npos) {
      continue;
    }
    const std::size_t start = line.find_first_not_of(" =", separator + 1);
    std::string tag = line.substr(0, separator);
    firstOfCase.try_emplace(toUpperAnsi(tag), tag);
    entries[std::move(tag)] = start == std::string::npos ? std::string() : line.substr(start);
  }
}

std::string AreaPathMap::lookup(const std::string& tag) const {
  const auto found = entries.find(tag);
  return found == entries.end() ? std::string() : found->second;
}

std::string AreaPathMap::lookupIgnoringCase(const std::string& tag) const {
  if (const auto found = entries.find(tag); found != entries.end()) {
    return found->second;
  }
  if (firstOfCase.empty()) {
    return {};
  }
  const auto first = firstOfCase.find(toUpperAnsi(tag));
  return first == firstOfCase.end() ? std::string() : lookup(first->second);
}

bool AreaPathMap::names(const std::string& tag) const {
  return !lookupIgnoringCase(tag).empty();
}
