#include "platform/directory.h"

#include <dirent.h>

#include <cstring>

namespace platform {

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

}  // namespace platform
