#include "platform/win32/windows_config.h"

#include "platform/move.h"

#include "platform/file.h"
#include "platform/move_detail.h"

namespace platform {
namespace detail {

bool isDirectoryEntry(const std::string& path, std::uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) == 0) {
    return false;
  }
  if (size != nullptr) {
    *size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }
  return (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool renameReplacing(const std::string& source, const std::string& destination) {
  return MoveFileExA(source.c_str(), destination.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

}  // namespace detail

// Windows takes both slashes as separators, and "C:name" lies in the current directory of
// drive C.
std::string directoryOf(const std::string& path) {
  const std::size_t last = path.find_last_of("\\/:");
  return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

using detail::isDirectoryEntry;

bool renameNoReplace(const std::string& source, const std::string& destination,
                     std::uint64_t* movedSize) {
  // MoveFileA renames directories as well; nothing here ever moves one, or onto one.
  if (isDirectoryEntry(source, movedSize) || isDirectoryEntry(destination)) {
    return false;
  }
  return MoveFileA(source.c_str(), destination.c_str()) != 0;
}

bool moveReplacing(const std::string& source, const std::string& destination,
                   std::uint64_t* movedSize) {
  if (isDirectoryEntry(source, movedSize) || isDirectoryEntry(destination)) {
    return false;
  }
  if (MoveFileExA(source.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING) != 0) {
    return true;
  }
  if (GetLastError() != ERROR_NOT_SAME_DEVICE) {
    return false;
  }
  // Another volume. MOVEFILE_COPY_ALLOWED would copy straight into the destination name, where
  // a crash or a full disk can leave part of the file; the copy goes through a temporary file
  // instead. A source that cannot be deleted makes the move fail, so the .tic stays and the
  // next run tries again; nothing is lost.
  return copyReplacing(source, destination, movedSize) && DeleteFileA(source.c_str()) != 0;
}

}  // namespace platform
