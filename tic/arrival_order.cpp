#include "tic/arrival_order.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "platform/directory.h"
#include "util/text.h"

ArrivalOrder::ArrivalOrder(const std::string& directory) {
  platform::DirectorySearch search(directory);
  std::string name;
  while (search.next(name)) {
    // The packed names are addressed in 32 bits; past 4 GiB of names the rest waits.
    if (!endsWithIgnoringCase(name, ".tic") ||
        names.size() + name.size() > std::numeric_limits<std::uint32_t>::max()) {
      continue;
    }
    entries.push_back({search.modifiedTime(), static_cast<std::uint32_t>(names.size()),
                       static_cast<std::uint32_t>(name.size())});
    names += name;
  }
  entries.shrink_to_fit();
  names.shrink_to_fit();
  const auto nameOf = [this](const Entry& entry) {
    return std::string_view(names).substr(entry.offset, entry.length);
  };
  std::sort(entries.begin(), entries.end(), [&nameOf](const Entry& a, const Entry& b) {
    if (a.modified != b.modified) {
      return a.modified < b.modified;
    }
    return nameOf(a) < nameOf(b);
  });
}

bool ArrivalOrder::next(std::string& name) {
  if (position >= entries.size()) {
    return false;
  }
  const Entry& entry = entries[position++];
  name.assign(names, entry.offset, entry.length);
  return true;
}
