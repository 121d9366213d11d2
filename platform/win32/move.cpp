#include "platform/win32/windows_config.h"

#include "platform/move.h"

#include "platform/file.h"
#include "platform/move_detail.h"

namespace platform {
namespace detail {

bool isDirectoryEntry(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
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

bool renameNoReplace(const std::string& source, const std::string& destination) {
  // MoveFileA renames directories as well; nothing here ever moves one, or onto one.
  if (isDirectoryEntry(source) || isDirectoryEntry(destination)) {
    return false;
  }
  return MoveFileA(source.c_str(), destination.c_str()) != 0;
}

bool moveReplacing(const std::string& source, const std::string& destination) {
  if (isDirectoryEntry(source) || isDirectoryEntry(destination)) {
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
  return copyReplacing(source, destination) && DeleteFileA(source.c_str()) != 0;
}

}  // namespace platform
