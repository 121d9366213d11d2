#include "platform/directory.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstring>

namespace platform {

struct DirectorySearch::Impl {
  DIR* dir = nullptr;
  const dirent* current = nullptr;  // valid until the next readdir
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
    impl->current = entry;
    return true;
  }
  impl->current = nullptr;
  return false;
}

std::int64_t DirectorySearch::modifiedTime() const {
  struct stat status {};
  if (impl->current == nullptr ||
      fstatat(dirfd(impl->dir), impl->current->d_name, &status, AT_SYMLINK_NOFOLLOW) != 0) {
    return 0;
  }
  return static_cast<std::int64_t>(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
}

}  // namespace platform
