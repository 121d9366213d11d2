#include "platform/directory.h"

#include <dirent.h>

#include <cstring>

namespace platform {
namespace {

char asciiUpper(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalIgnoringCase(const char* a, const char* b, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    if (asciiUpper(a[i]) != asciiUpper(b[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace

struct DirectorySearch::Impl {
  DIR* dir = nullptr;
};

DirectorySearch::DirectorySearch(const std::string& directory) : impl(std::make_unique<Impl>()) {
  impl->dir = opendir(directory.empty() ? "." : directory.c_str());
}

DirectorySearch::~DirectorySearch() {
  if (impl->dir != nullptr) {
    closedir(impl->dir);
  }
}

bool DirectorySearch::next(std::string& name) {
  if (impl->dir == nullptr) {
    return false;
  }
  while (const dirent* entry = readdir(impl->dir)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) {
      continue;
    }
    name.assign(entry->d_name);
    return true;
  }
  return false;
}

bool endsWithIgnoringCase(const std::string& name, const std::string& suffix) {
  return name.size() >= suffix.size() &&
         equalIgnoringCase(name.data() + name.size() - suffix.size(), suffix.data(), suffix.size());
}

}  // namespace platform
