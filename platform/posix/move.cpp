#include "platform/move.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include "platform/file_system.h"
#include "platform/move_detail.h"

namespace platform {
namespace detail {

Status renameReplacing(const std::string& source, const std::string& destination) {
  return rename(source.c_str(), destination.c_str()) == 0 ? Status() : Status::lastSystemError();
}

}  // namespace detail

// A destination that is a directory needs no look of its own: renameat2 refuses any existing
// destination, and rename refuses to put a file over a directory.
Status renameNoReplace(const std::string& source, const std::string& destination,
                       std::uint64_t* movedSize, const FileStamp* found) {
  if (Status regular = detail::movableSource(source, movedSize, found); !regular) {
    return regular;
  }
  if (renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, destination.c_str(), RENAME_NOREPLACE) == 0) {
    return {};
  }
  if (errno != EINVAL && errno != ENOSYS) {
    return Status::lastSystemError();
  }
  // A file system without the flag: a hard link refuses an existing destination as well.
  if (link(source.c_str(), destination.c_str()) != 0) {
    return Status::lastSystemError();
  }
  unlink(source.c_str());
  return {};
}

Status moveReplacing(const std::string& source, const std::string& destination,
                     std::uint64_t* movedSize, const FileStamp* found) {
  if (Status regular = detail::movableSource(source, movedSize, found); !regular) {
    return regular;
  }
  const Status renamed = detail::renameReplacing(source, destination);
  if (renamed || !detail::isCrossDevice(renamed)) {
    return renamed;
  }
  // Another file system: copy, then delete the source. A source that cannot be deleted makes
  // the move fail, so the .tic stays and the next run tries again; nothing is lost.
  if (Status copied = copyReplacing(source, destination, movedSize); !copied) {
    return copied;
  }
  return deleteFile(source);
}

}  // namespace platform
