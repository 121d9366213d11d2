#include "platform/durability.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <system_error>
#include <utility>

namespace platform {
namespace {

int openForFlush(const std::string& path) {
  int fd;
  do {
    fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

}  // namespace

std::vector<SyncFailure> syncToDisk(const std::vector<std::string>& paths) {
  std::vector<SyncFailure> failures;
#ifdef __linux__
  // One flush per file system covers every file and directory entry written there.
  std::set<dev_t> done;
  for (const std::string& path : paths) {
    struct stat info {};
    if (stat(path.c_str(), &info) != 0) {
      // What is not there has nothing to put on the disk.
      if (errno != ENOENT && errno != ENOTDIR) {
        failures.push_back({path, Status::lastSystemError()});
      }
      continue;
    }
    if (done.count(info.st_dev) != 0) {
      continue;
    }
    const int fd = openForFlush(path);
    if (fd < 0 || syncfs(fd) != 0) {
      failures.push_back({path, Status::lastSystemError()});
    } else {
      done.insert(info.st_dev);
    }
    if (fd >= 0) {
      ::close(fd);
    }
  }
#else
  for (const std::string& path : paths) {
    const int fd = openForFlush(path);
    if (fd < 0 && (errno == ENOENT || errno == ENOTDIR)) {
      continue;  // what is not there has nothing to put on the disk
    }
    if (fd < 0 || fsync(fd) != 0) {
      failures.push_back({path, Status::lastSystemError()});
    }
    if (fd >= 0) {
      ::close(fd);
    }
  }
#endif
  return failures;
}

Status syncDirectory(const std::string& directory) {
  const int fd = openForFlush(directory.empty() ? "." : directory);
  if (fd < 0) {
    return Status::lastSystemError();
  }
  const Status synced = fsync(fd) == 0 ? Status() : Status::lastSystemError();
  ::close(fd);
  return synced;
}

void BackgroundFlush::start(std::vector<std::string> paths) {
  std::vector<SyncFailure> before = wait();
  failures.swap(before);
  // The flushing thread takes no signals: the end of an event's command must reach the thread
  // that waits for it, which blocks that signal to wait for it.
  sigset_t all;
  sigset_t saved;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &saved);
  auto work = [this, flushed = std::move(paths)] {
    const std::vector<SyncFailure> found = syncToDisk(flushed);
    failures.insert(failures.end(), found.begin(), found.end());
  };
  try {
    worker = std::thread(work);
  } catch (const std::system_error&) {
    work();  // no thread to be had: flushed here and now
  }
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
}

std::vector<SyncFailure> BackgroundFlush::wait() {
  if (worker.joinable()) {
    worker.join();
  }
  return std::exchange(failures, {});
}

}  // namespace platform
