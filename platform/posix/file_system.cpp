#include "platform/file_system.h"

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/move_detail.h"

namespace platform {

std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool isPlainEntryName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") {
    return false;
  }
  for (const char c : name) {
    const auto code = static_cast<unsigned char>(c);
    // A backslash is an ordinary character here, but a name that holds one would be a path on
    // Windows: the same .tic must mean the same on every node.
    if (c == '/' || c == '\\' || code < 32 || code == 127) {
      return false;
    }
  }
  return true;
}

bool exists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

bool isDirectory(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool isWritableDirectory(const std::string& path) {
  return access(path.empty() ? "." : path.c_str(), W_OK | X_OK) == 0;
}

Status checkRegularFile(const std::string& path) {
  return detail::regularFileEntry(path);
}

Status createDirectory(const std::string& path) {
  return mkdir(path.c_str(), 0777) == 0 ? Status() : Status::lastSystemError();
}

Status deleteFile(const std::string& path) {
  // Like the Windows call, deleting never removes a directory: unlink refuses one.
  return unlink(path.c_str()) == 0 ? Status() : Status::lastSystemError();
}

namespace detail {

Status regularFileEntry(const std::string& path, std::uint64_t* size) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) {
    return Status::lastSystemError();
  }
  if (S_ISLNK(info.st_mode)) {
    return Status::refused("is a symbolic link");
  }
  if (S_ISDIR(info.st_mode)) {
    return Status::refused("is a directory");
  }
  if (!S_ISREG(info.st_mode)) {
    return Status::refused("is not a regular file");
  }
  if (size != nullptr) {
    *size = static_cast<std::uint64_t>(info.st_size);
  }
  return {};
}

Status notDirectory(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)
             ? Status::refused("is a directory")
             : Status();
}

bool isCrossDevice(const Status& renamed) {
  return renamed.is(EXDEV);
}

void releaseBeforeRename(File&) {
  // POSIX renames and deletes open files: the hold stays until the file has its new name.
}

}  // namespace detail
}  // namespace platform
