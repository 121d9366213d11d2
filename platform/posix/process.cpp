#include "platform/process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <utility>

extern char** environ;

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

// A file descriptor that is closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int value) : fd(value) {}
  ~Descriptor() {
    if (fd >= 0) {
      ::close(fd);
    }
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  Descriptor(Descriptor&& other) noexcept : fd(std::exchange(other.fd, -1)) {}
  Descriptor& operator=(Descriptor&&) = delete;

  int get() const { return fd; }
  bool valid() const { return fd >= 0; }

 private:
  int fd;
};

sigset_t childSignalOnly() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGCHLD);
  return set;
}

// Holds SIGCHLD blocked while a child runs, so that the wait without a pidfd cannot miss the
// child's end between looking at it and going to sleep. An inherited "ignore SIGCHLD" would let
// the kernel reap the child on its own, and its pid could name another process by the time it
// is killed; the default disposition is put in place meanwhile. Both are restored afterwards.
class ChildSignalGuard {
 public:
  ChildSignalGuard() {
    const sigset_t childOnly = childSignalOnly();
    pthread_sigmask(SIG_BLOCK, &childOnly, &savedMask);
    if (sigaction(SIGCHLD, nullptr, &savedAction) == 0 &&
        (savedAction.sa_handler == SIG_IGN || (savedAction.sa_flags & SA_NOCLDWAIT) != 0)) {
      struct sigaction defaults {};
      defaults.sa_handler = SIG_DFL;
      sigemptyset(&defaults.sa_mask);
      actionReplaced = sigaction(SIGCHLD, &defaults, nullptr) == 0;
    }
  }
  ~ChildSignalGuard() {
    if (actionReplaced) {
      sigaction(SIGCHLD, &savedAction, nullptr);
    }
    pthread_sigmask(SIG_SETMASK, &savedMask, nullptr);
  }
  ChildSignalGuard(const ChildSignalGuard&) = delete;
  ChildSignalGuard& operator=(const ChildSignalGuard&) = delete;

 private:
  sigset_t savedMask{};
  struct sigaction savedAction {};
  bool actionReplaced = false;
};

// Owns the attributes and file actions of one posix_spawn call.
class SpawnSetup {
 public:
  SpawnSetup() {
    attributesReady = posix_spawnattr_init(&attributes) == 0;
    actionsReady = posix_spawn_file_actions_init(&actions) == 0;
  }
  ~SpawnSetup() {
    if (actionsReady) {
      posix_spawn_file_actions_destroy(&actions);
    }
    if (attributesReady) {
      posix_spawnattr_destroy(&attributes);
    }
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // Sets up a child in a session of its own, with the signal state of a fresh process, reading
  // /dev/null and holding nothing of ours beyond standard output and error.
  bool prepare() {
    if (!attributesReady || !actionsReady) {
      return false;
    }
    sigset_t none;
    sigemptyset(&none);
    // A SIGPIPE that this program's parent chose to ignore would break pipelines in commands.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    bool ready =
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK |
                                                  POSIX_SPAWN_SETSIGDEF) == 0 &&
        posix_spawnattr_setsigmask(&attributes, &none) == 0 &&
        posix_spawnattr_setsigdefault(&attributes, &defaults) == 0 &&
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0;
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
    // Our own files are opened close-on-exec already; this also keeps back whatever the
    // program itself inherited, as the command should hold none of it.
    ready = ready && posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1) == 0;
#endif
    return ready;
  }

  const posix_spawnattr_t* attributesPtr() const {
    return &attributes;
  }
  const posix_spawn_file_actions_t* actionsPtr() const {
    return &actions;
  }

 private:
  posix_spawnattr_t attributes{};
  posix_spawn_file_actions_t actions{};
  bool attributesReady = false;
  bool actionsReady = false;
};

std::optional<pid_t> startInterpreter(const std::string& command,
                                      const std::string& destinationPath,
                                      const std::string& fileName) {
  SpawnSetup setup;
  if (!setup.prepare()) {
    return std::nullopt;
  }
  // The path and the name reach the shell as positional parameters, never as part of the
  // script, so no character in them is interpreted; "$@" hands them on as two words.
  std::string shell = "/bin/sh";
  std::string option = "-c";
  std::string script = command + " \"$@\"";
  std::string scriptName = "sh";
  std::string path = destinationPath;
  std::string name = fileName;
  char* arguments[] = {shell.data(), option.data(), script.data(), scriptName.data(),
                       path.data(),  name.data(),   nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, shell.c_str(), setup.actionsPtr(), setup.attributesPtr(), arguments,
                  environ) != 0) {
    return std::nullopt;
  }
  return pid;
}

Descriptor openPidfd(pid_t pid) {
#ifdef SYS_pidfd_open
  return Descriptor(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
#else
  (void)pid;
  return Descriptor(-1);
#endif
}

// Reaps the child if it has ended. True when it has (or when it is no longer ours to wait for).
// True when the child has ended and is reaped; `signalled` tells whether a signal ended it.
bool reapIfEnded(pid_t pid, bool& signalled) {
  int status = 0;
  pid_t result;
  do {
    result = waitpid(pid, &status, WNOHANG);
  } while (result < 0 && errno == EINTR);
  signalled = result == pid && WIFSIGNALED(status);
  return result == pid || (result < 0 && errno == ECHILD);
}

void reap(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

// Sleeps until the child ends or the deadline passes; true when it ended and has been reaped,
// with `signalled` telling whether a signal ended it. Every wake-up, whatever woke it, looks
// at the child again.
bool waitUntil(pid_t pid, Clock::time_point deadline, bool& signalled) {
  Descriptor pidfd = openPidfd(pid);
  bool usePidfd = pidfd.valid();
  const sigset_t childOnly = childSignalOnly();
  for (;;) {
    if (reapIfEnded(pid, signalled)) {
      return true;
    }
    const Clock::duration left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) {
      return false;
    }
    if (usePidfd) {
      // Rounded up, so that the last stretch does not turn into a run of zero-length polls.
      const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(left).count();
      pollfd entry{pidfd.get(), POLLIN, 0};
      if (poll(&entry, 1, static_cast<int>(milliseconds)) < 0 && errno != EINTR) {
        usePidfd = false;
      }
    } else {
      // Kernels without pidfds: SIGCHLD is blocked, so it waits here until taken.
      const auto seconds = std::chrono::floor<std::chrono::seconds>(left);
      timespec timeout{};
      timeout.tv_sec = static_cast<time_t>(seconds.count());
      timeout.tv_nsec = static_cast<long>(
          std::chrono::duration_cast<std::chrono::nanoseconds>(left - seconds).count());
      sigtimedwait(&childOnly, nullptr, &timeout);
    }
  }
}

}  // namespace

RunOutcome runWithTimeout(const std::string& command, const std::string& destinationPath,
                          const std::string& fileName, int milliseconds) {
  const ChildSignalGuard guard;
  const std::optional<pid_t> pid = startInterpreter(command, destinationPath, fileName);
  if (!pid) {
    return RunOutcome::notStarted;
  }
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  bool signalled = false;
  if (waitUntil(*pid, deadline, signalled)) {
    return signalled ? RunOutcome::signalled : RunOutcome::finished;
  }
  // Only the interpreter is killed, as on Windows; what it started in turn runs on. Not yet
  // reaped, the pid cannot have passed to another process. Reaping right after the kill leaves
  // no zombie behind and takes no noticeable time.
  kill(*pid, SIGKILL);
  reap(*pid);
  return RunOutcome::killed;
}

}  // namespace platform
