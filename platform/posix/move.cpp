#include "platform/move.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file.h"
#include "platform/move_detail.h"

namespace platform {
namespace detail {

bool isDirectoryEntry(const std::string& path, std::uint64_t* size) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) {
    return false;
  }
  if (size != nullptr) {
    *size = static_cast<std::uint64_t>(info.st_size);
  }
  return S_ISDIR(info.st_mode);
}

bool renameReplacing(const std::string& source, const std::string& destination) {
  return rename(source.c_str(), destination.c_str()) == 0;
}

}  // namespace detail

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

using detail::isDirectoryEntry;

// A destination that is a directory needs no look of its own: renameat2 refuses any existing
// destination, and rename refuses to put a file over a directory.
bool renameNoReplace(const std::string& source, const std::string& destination,
                     std::uint64_t* movedSize) {
  if (isDirectoryEntry(source, movedSize)) {
    return false;
  }
  if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0) {
    return true;
  }
  if (errno != EINVAL && errno != ENOSYS) {
    return false;
  }
  // A file system without the flag: a hard link refuses an existing destination as well.
  if (link(source.c_str(), destination.c_str()) != 0) {
    return false;
  }
  unlink(source.c_str());
  return true;
}

bool moveReplacing(const std::string& source, const std::string& destination,
                   std::uint64_t* movedSize) {
  if (isDirectoryEntry(source, movedSize)) {
    return false;
  }
  if (rename(source.c_str(), destination.c_str()) == 0) {
    return true;
  }
  if (errno != EXDEV) {
    return false;
  }
  // Another file system: copy, then delete the source. A source that cannot be deleted makes
  // the move fail, so the .tic stays and the next run tries again; nothing is lost.
  return copyReplacing(source, destination, movedSize) && unlink(source.c_str()) == 0;
}

}  // namespace platform
