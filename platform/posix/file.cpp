#include "platform/file.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace platform {
namespace {

// Takes the exclusive hold that stands in for opening without sharing.
bool lockExclusive(int fd) {
  int result;
  do {
    result = flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  return result == 0;
}

// Takes the hold, trying again until `wait` has passed while another opener has it. The pauses
// grow from one millisecond, so a hold that ends soon costs little and a long one few wake-ups.
Status lockWaiting(int fd, std::chrono::milliseconds wait) {
  if (lockExclusive(fd)) {
    return {};
  }
  const auto deadline = std::chrono::steady_clock::now() + wait;
  auto pause = std::chrono::milliseconds(1);
  while (!lockExclusive(fd)) {
    if (errno != EWOULDBLOCK) {
      return Status::lastSystemError();
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      return Status::refused("it is held by another process");
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(32));
  }
  return {};
}

FileStamp stampOf(const struct stat& info) {
  FileStamp result;
  result.device = static_cast<std::uint64_t>(info.st_dev);
  result.inode = static_cast<std::uint64_t>(info.st_ino);
  result.size = static_cast<std::uint64_t>(info.st_size);
  result.modified = static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 +
                    static_cast<std::int64_t>(info.st_mtim.tv_nsec);
  result.modifiedTime = static_cast<std::int64_t>(info.st_mtim.tv_sec);
  result.links = static_cast<std::uint32_t>(info.st_nlink);
  result.kind = S_ISREG(info.st_mode)   ? EntryKind::regular
                : S_ISDIR(info.st_mode) ? EntryKind::directory
                : S_ISLNK(info.st_mode) ? EntryKind::link
                                        : EntryKind::other;
  return result;
}

int openRetrying(const char* path, int flags, mode_t mode) {
  int fd;
  do {
    fd = ::open(path, flags, mode);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

File::~File() {
  close().ignore();
}

File::File(File&& other) noexcept
    : fd(std::exchange(other.fd, -1)), opened(other.opened), failure(other.failure) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close().ignore();
    fd = std::exchange(other.fd, -1);
    opened = other.opened;
    failure = other.failure;
  }
  return *this;
}

File File::open(const std::string& path, OpenMode mode, std::chrono::milliseconds wait) {
  int flags = O_CLOEXEC | O_NOCTTY;
  bool regularOnly = false;
  switch (mode) {
    case OpenMode::readExisting:
    case OpenMode::readToDispose:
      // Without O_NONBLOCK, opening a FIFO would wait for a writer that may never come.
      flags |= O_RDONLY | O_NONBLOCK;
      regularOnly = true;
      break;
    case OpenMode::updateExisting:
      flags |= O_RDWR | O_NONBLOCK;
      regularOnly = true;
      break;
    case OpenMode::updateNew:
      flags |= O_RDWR | O_CREAT | O_EXCL;
      break;
    case OpenMode::writeKeep:
    case OpenMode::createTruncate:
      flags |= O_WRONLY | O_CREAT;
      break;
  }
  const int fd = openRetrying(path.c_str(), flags, 0666);
  if (fd < 0) {
    return failed(Status::lastSystemError());
  }
  File file(fd);
  // The stamp is taken once the hold is: what another holder wrote before is in it. A
  // directory opens for reading on POSIX but never on Windows; it is treated as unopenable.
  if (Status locked = lockWaiting(fd, wait); !locked) {
    return failed(std::move(locked));
  }
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    return failed(Status::lastSystemError());
  }
  if (S_ISDIR(info.st_mode)) {
    return failed(Status::refused("it is a directory"));
  }
  if (regularOnly && !S_ISREG(info.st_mode)) {
    return failed(Status::refused("it is not a regular file"));
  }
  file.opened = stampOf(info);
  // Emptying only after the hold is taken, so a file held elsewhere keeps its contents.
  if (mode == OpenMode::createTruncate && ftruncate(fd, 0) != 0) {
    return failed(Status::lastSystemError());
  }
  return file;
}

File File::createTemporary(const std::string& directory, std::string& pathOut,
                           std::string_view stem) {
  std::string pattern = directory;
  pattern += stem;
  pattern += "XXXXXX";
  pathOut.clear();
  // Another run that clears away leftovers may take up a new file in the moment before its
  // creator holds it; the name is then given up and another one drawn.
  for (int attempt = 0; attempt < 10; ++attempt) {
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = mkostemp(buffer.data(), O_CLOEXEC);
    if (fd < 0) {
      return failed(Status::lastSystemError());
    }
    File file(fd);
    if (lockExclusive(fd)) {
      pathOut.assign(buffer.data());
      return file;
    }
    unlink(buffer.data());
  }
  return failed(Status::refused("no temporary name is free"));
}

Result<std::uint64_t> File::size() const {
  struct stat info {};
  if (fd < 0) {
    return Status::systemError(EBADF);
  }
  if (fstat(fd, &info) != 0) {
    return Status::lastSystemError();
  }
  return static_cast<std::uint64_t>(info.st_size);
}

Result<FileStamp> File::stamp() const {
  struct stat info {};
  if (fd < 0) {
    return Status::systemError(EBADF);
  }
  if (fstat(fd, &info) != 0) {
    return Status::lastSystemError();
  }
  return stampOf(info);
}

Result<std::string> File::readAll() const {
  if (fd < 0) {
    return Status::systemError(EBADF);
  }
  // Read straight into the string, sized for the whole file plus room to notice that it ends;
  // a file that grew meanwhile is read on.
  const Result<std::uint64_t> known = size();
  std::string out(static_cast<std::size_t>(known ? *known : 0) + 1, '\0');
  std::size_t filled = 0;
  for (;;) {
    if (filled == out.size()) {
      out.resize(out.size() * 2);
    }
    const ssize_t count =
        pread(fd, out.data() + filled, out.size() - filled, static_cast<off_t>(filled));
    if (count < 0) {
      if (errno == EINTR) {
        continue;
      }
      return Status::lastSystemError();
    }
    if (count == 0) {
      out.resize(filled);
      return out;
    }
    filled += static_cast<std::size_t>(count);
  }
}

Result<std::size_t> File::readAt(std::uint64_t offset, void* buffer, std::size_t capacity) {
  if (fd < 0) {
    return Status::systemError(EBADF);
  }
  for (;;) {
    const ssize_t count = pread(fd, buffer, capacity, static_cast<off_t>(offset));
    if (count >= 0) {
      return static_cast<std::size_t>(count);
    }
    if (errno != EINTR) {
      return Status::lastSystemError();
    }
  }
}

Result<std::size_t> File::read(void* buffer, std::size_t capacity) {
  if (fd < 0) {
    return Status::systemError(EBADF);
  }
  for (;;) {
    const ssize_t count = ::read(fd, buffer, capacity);
    if (count >= 0) {
      return static_cast<std::size_t>(count);
    }
    if (errno != EINTR) {
      return Status::lastSystemError();
    }
  }
}

Status File::write(std::string_view bytes) {
  return write(bytes.data(), bytes.size());
}

Status File::write(const void* bytes, std::size_t count) {
  if (fd < 0) {
    return Status::systemError(EBADF);
  }
  const char* next = static_cast<const char*>(bytes);
  while (count > 0) {
    const ssize_t written = ::write(fd, next, count);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return Status::lastSystemError();
    }
    next += written;
    count -= static_cast<std::size_t>(written);
  }
  return {};
}

Status File::writeAt(std::uint64_t offset, std::string_view bytes) {
  if (fd < 0) {
    return Status::systemError(EBADF);
  }
  auto position = static_cast<off_t>(offset);
  const char* next = bytes.data();
  std::size_t count = bytes.size();
  while (count > 0) {
    const ssize_t written = pwrite(fd, next, count, position);
    if (written < 0) {
      if (errno == EINTR) {
        continue;
      }
      return Status::lastSystemError();
    }
    next += written;
    position += written;
    count -= static_cast<std::size_t>(written);
  }
  return {};
}

Status File::seekToEnd() {
  if (fd < 0) {
    return Status::systemError(EBADF);
  }
  return lseek(fd, 0, SEEK_END) >= 0 ? Status() : Status::lastSystemError();
}

Status File::truncateTo(std::uint64_t length) {
  const auto size = static_cast<off_t>(length);
  if (fd < 0) {
    return Status::systemError(EBADF);
  }
  return ftruncate(fd, size) == 0 && lseek(fd, size, SEEK_SET) == size ? Status()
                                                                       : Status::lastSystemError();
}

Status File::sync() {
  if (fd < 0) {
    return Status::systemError(EBADF);
  }
  return fsync(fd) == 0 ? Status() : Status::lastSystemError();
}

Status File::copyPermissionsFrom(const std::string& path) {
  struct stat info {};
  if (fd < 0) {
    return Status::systemError(EBADF);
  }
  if (stat(path.c_str(), &info) != 0 || fchmod(fd, info.st_mode & 07777) != 0) {
    return Status::lastSystemError();
  }
  return {};
}

Status File::copyAttributesFrom(const File& other) {
  struct stat info {};
  if (fd < 0 || other.fd < 0) {
    return Status::systemError(EBADF);
  }
  if (fstat(other.fd, &info) != 0 || fchmod(fd, info.st_mode & 07777) != 0) {
    return Status::lastSystemError();
  }
  const struct timespec times[2] = {info.st_atim, info.st_mtim};
  return futimens(fd, times) == 0 ? Status() : Status::lastSystemError();
}

Result<FileStamp> entryStamp(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) != 0) {
    return Status::lastSystemError();
  }
  return stampOf(info);
}

Status File::deleteHeld(const std::string& path) {
  if (unlink(path.c_str()) != 0) {
    return Status::lastSystemError();
  }
  return close();
}

Status File::renameHeld(const std::string& path, const std::string& destination) {
  // The hold is the descriptor's: a rename by name keeps it.
  return rename(path.c_str(), destination.c_str()) == 0 ? Status() : Status::lastSystemError();
}

Status File::close() {
  if (fd < 0) {
    return {};
  }
  // The hold goes with the descriptor; close is not retried on EINTR (Linux frees it anyway).
  const int result = ::close(std::exchange(fd, -1));
  return result == 0 ? Status() : Status::lastSystemError();
}

bool File::releaseHold() {
  if (fd < 0) {
    return false;
  }
  if (flock(fd, LOCK_UN) != 0) {
    close().ignore();
    return false;
  }
  return true;
}

Status File::retakeHold(std::chrono::milliseconds wait) {
  if (fd < 0) {
    return Status::systemError(EBADF);
  }
  if (Status locked = lockWaiting(fd, wait); !locked) {
    return locked;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0) {
    return Status::lastSystemError();
  }
  opened = stampOf(info);
  return {};
}

Status File::setNewFilePermissions() {
  if (fd < 0) {
    return Status::systemError(EBADF);
  }
  // The mask can only be read by setting it; no other thread of the program makes files, so
  // putting it straight back is safe.
  const mode_t mask = umask(0);
  umask(mask);
  return fchmod(fd, 0666 & ~mask) == 0 ? Status() : Status::lastSystemError();
}

bool File::isAt(const std::string& path) const {
  struct stat named {};
  if (fd < 0 || stat(path.c_str(), &named) != 0) {
    return false;
  }
  if (opened.inode == 0) {
    const Result<FileStamp> now = stamp();
    return now && now->device == static_cast<std::uint64_t>(named.st_dev) &&
           now->inode == static_cast<std::uint64_t>(named.st_ino);
  }
  return opened.device == static_cast<std::uint64_t>(named.st_dev) &&
         opened.inode == static_cast<std::uint64_t>(named.st_ino);
}

}  // namespace platform
