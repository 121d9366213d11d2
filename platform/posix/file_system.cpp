#include "platform/file_system.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/move_detail.h"
#include "platform/system.h"

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

std::string resolvedPath(const std::string& path) {
  if (char* full = realpath(path.c_str(), nullptr)) {
    std::string result(full);
    std::free(full);
    return result;
  }
  // Something is missing: follow the links that exist, so that a dangling link beside the
  // program is named by the file it points to (the one a sysop edits).
  std::string current = absolutePath(path);
  std::vector<char> buffer(PATH_MAX);
  for (int hop = 0; hop < 40; ++hop) {
    const ssize_t length = readlink(current.c_str(), buffer.data(), buffer.size());
    if (length < 0 || static_cast<std::size_t>(length) >= buffer.size()) {
      break;
    }
    std::string target(buffer.data(), static_cast<std::size_t>(length));
    if (target.empty() || target.front() != '/') {
      target = current.substr(0, current.rfind('/') + 1) + target;
    }
    current = absolutePath(target);
  }
  // The directory part may still resolve where the last name does not.
  const std::size_t last = current.rfind('/');
  if (last != std::string::npos && last > 0) {
    if (char* directory = realpath(current.substr(0, last).c_str(), nullptr)) {
      const std::string result = std::string(directory) + current.substr(last);
      std::free(directory);
      return result;
    }
  }
  return current;
}

Status checkReadableFile(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    return Status::lastSystemError();
  }
  if (S_ISDIR(info.st_mode)) {
    return Status::systemError(EISDIR);
  }
  if (!S_ISREG(info.st_mode)) {
    return Status::refused("Not a regular file");
  }
  // Opening says what access(2) cannot: the effective user's rights, ACLs and all. The file is
  // not held, and a regular file never blocks the open.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) {
    return Status::lastSystemError();
  }
  close(fd);
  return {};
}

Status checkWritable(const std::string& path) {
  const char* name = path.empty() ? "." : path.c_str();
  struct stat info {};
  if (stat(name, &info) != 0) {
    return Status::lastSystemError();
  }
  const int wanted = S_ISDIR(info.st_mode) ? (W_OK | X_OK) : W_OK;
  // The effective user decides, as it does for the run's own opens.
  if (faccessat(AT_FDCWD, name, wanted, AT_EACCESS) != 0) {
    return Status::lastSystemError();
  }
  return {};
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

Status notDirectory(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)
             ? Status::refused("the destination is a directory")
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
