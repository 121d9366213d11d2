#include "platform/durability.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <system_error>

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
      failures.push_back({path, Status::lastSystemError()});
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

void FlushAhead::start(const std::string& path) {
  if (begun) {
    return;
  }
  begun = true;
#ifdef __linux__
  const int fd = openForFlush(path);
  if (fd < 0) {
    return;
  }
  // The flushing thread takes no signals: the end of an event's command must reach the thread
  // that waits for it, which blocks that signal to wait for it.
  sigset_t all;
  sigset_t saved;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &saved);
  // The flush only shortens the final one, which reports what failed; its result is not needed.
  try {
    worker = std::thread([fd] {
      (void)syncfs(fd);
      ::close(fd);
    });
  } catch (const std::system_error&) {
    ::close(fd);  // no thread to be had: the final flush does it all
  }
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
#else
  (void)path;
#endif
}

void FlushAhead::wait() {
  if (worker.joinable()) {
    worker.join();
  }
}

}  // namespace platform
