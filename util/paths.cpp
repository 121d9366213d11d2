#include "util/paths.h"

#include "platform/file_system.h"
#include "platform/system.h"

std::string withTrailingBackslash(const std::string& path) {
  if (path.empty() || path.back() == platform::kSeparator) {
    return path;
  }
  return path + platform::kSeparator;
}

platform::Status makeDirectoryPath(const std::string& path) {
  // Existing or uncreatable levels are passed over: only whether the whole path is a directory
  // at the end counts, with the last cause that kept a level from being made.
  platform::Status last;
  for (const std::string& level : directoryLevels(path)) {
    if (platform::Status made = platform::createDirectory(level);
        !made && !platform::exists(level)) {
      last = made;
    }
  }
  if (platform::isDirectory(path)) {
    return {};
  }
  return last.ok() ? platform::Status::refused("it is not a directory") : last;
}

std::vector<std::string> directoryLevels(const std::string& path) {
  // Each level is the path up to the next separator after the previous one; the last level is
  // the whole path.
  std::vector<std::string> levels;
  std::size_t mark = path.find(platform::kSeparator);
  for (;;) {
    const std::size_t from = (mark == std::string::npos) ? 0 : mark + 1;
    const std::size_t next = path.find(platform::kSeparator, from);
    levels.push_back(next == std::string::npos ? path : path.substr(0, next));
    if (next == std::string::npos) {
      return levels;
    }
    mark = next;
  }
}

std::string fileNameOf(const std::string& path) {
  const std::size_t last = path.rfind(platform::kSeparator);
  return last == std::string::npos ? path : path.substr(last + 1);
}
