#include "util/paths.h"

#include "platform/file.h"
#include "platform/system.h"

std::string withTrailingBackslash(const std::string& path) {
  if (path.empty() || path.back() == platform::kSeparator) {
    return path;
  }
  return path + platform::kSeparator;
}

void makeDirectoryPath(const std::string& path) {
  // Each level is the path up to the next separator after the previous one; the last level is
  // the whole path. Existing or uncreatable levels are passed over.
  std::size_t mark = path.find(platform::kSeparator);
  for (;;) {
    const std::size_t from = (mark == std::string::npos) ? 0 : mark + 1;
    const std::size_t next = path.find(platform::kSeparator, from);
    platform::createDirectory(next == std::string::npos ? path : path.substr(0, next));
    if (next == std::string::npos) {
      return;
    }
    mark = next;
  }
}

std::string fileNameOf(const std::string& path) {
  const std::size_t last = path.rfind(platform::kSeparator);
  return last == std::string::npos ? path : path.substr(last + 1);
}
