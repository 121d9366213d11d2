#include "platform/win32/windows_config.h"

#include "platform/move.h"

#include "platform/file_system.h"
#include "platform/move_detail.h"

namespace platform {
namespace detail {

Status renameReplacing(const std::string& source, const std::string& destination) {
  return MoveFileExA(source.c_str(), destination.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0
             ? Status()
             : Status::lastSystemError();
}

}  // namespace detail

Status renameNoReplace(const std::string& source, const std::string& destination,
                       std::uint64_t* movedSize, const FileStamp* found) {
  // MoveFileA renames directories as well; nothing here ever moves one, or onto one.
  if (Status regular = detail::movableSource(source, movedSize, found); !regular) {
    return regular;
  }
  if (Status directory = detail::notDirectory(destination); !directory) {
    return directory;
  }
  return MoveFileA(source.c_str(), destination.c_str()) != 0 ? Status() : Status::lastSystemError();
}

Status moveReplacing(const std::string& source, const std::string& destination,
                     std::uint64_t* movedSize, const FileStamp* found) {
  if (Status regular = detail::movableSource(source, movedSize, found); !regular) {
    return regular;
  }
  if (Status directory = detail::notDirectory(destination); !directory) {
    return directory;
  }
  if (MoveFileExA(source.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING) != 0) {
    return {};
  }
  const Status moved = Status::lastSystemError();
  if (!detail::isCrossDevice(moved)) {
    return moved;
  }
  // Another volume. MOVEFILE_COPY_ALLOWED would copy straight into the destination name, where
  // a crash or a full disk can leave part of the file; the copy goes through a temporary file
  // instead. A source that cannot be deleted makes the move fail, so the .tic stays and the
  // next run tries again; nothing is lost.
  if (Status copied = copyReplacing(source, destination, movedSize); !copied) {
    return copied;
  }
  return deleteFile(source);
}

}  // namespace platform
