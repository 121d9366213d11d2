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
#include <cstdlib>
#include <set>
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

// Starts the interpreter; its pid, or why it did not start.
pid_t startInterpreter(const std::string& command, const std::string& destinationPath,
                       const std::string& fileName, Status& why) {
  SpawnSetup setup;
  if (!setup.prepare()) {
    why = Status::refused("the child's surroundings could not be prepared");
    return -1;
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
  if (const int failed = posix_spawn(&pid, shell.c_str(), setup.actionsPtr(), setup.attributesPtr(),
                                     arguments, environ);
      failed != 0) {
    why = Status::systemError(failed);
    return -1;
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

// True when the child has ended and is reaped (or is no longer ours to wait for); `ended`
// tells how.
bool reapIfEnded(pid_t pid, RunResult& ended) {
  int status = 0;
  pid_t result;
  do {
    result = waitpid(pid, &status, WNOHANG);
  } while (result < 0 && errno == EINTR);
  if (result == pid && WIFSIGNALED(status)) {
    ended.outcome = RunOutcome::signalled;
    ended.status = WTERMSIG(status);
  } else if (result == pid && WIFEXITED(status)) {
    ended.status = WEXITSTATUS(status);
    // The shell's own statuses for a command it could not find (127) or not execute (126).
    ended.outcome =
        ended.status == 126 || ended.status == 127 ? RunOutcome::cannotRun : RunOutcome::finished;
  } else {
    ended.outcome = RunOutcome::finished;
  }
  return result == pid || (result < 0 && errno == ECHILD);
}

void reap(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

// Sleeps until the child ends or the deadline passes; true when it ended and has been reaped,
// with `ended` telling how. Every wake-up, whatever woke it, looks at the child again.
bool waitUntil(pid_t pid, Clock::time_point deadline, RunResult& ended) {
  Descriptor pidfd = openPidfd(pid);
  bool usePidfd = pidfd.valid();
  const sigset_t childOnly = childSignalOnly();
  for (;;) {
    if (reapIfEnded(pid, ended)) {
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

RunResult runWithTimeout(const std::string& command, const std::string& destinationPath,
                         const std::string& fileName, int milliseconds) {
  const ChildSignalGuard guard;
  RunResult result;
  const pid_t pid = startInterpreter(command, destinationPath, fileName, result.why);
  if (pid < 0) {
    return result;
  }
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  if (waitUntil(pid, deadline, result)) {
    return result;
  }
  // The interpreter leads a session and a process group of its own, which everything it
  // started shares unless it left on purpose: the whole group is killed, so that no command
  // runs on past its time. Not yet reaped, the interpreter keeps its pid, and with it the
  // group's id, from passing to another process. Reaping right after the kill leaves no zombie
  // behind and takes no noticeable time; the group's other members are reaped by init.
  kill(-pid, SIGKILL);
  kill(pid, SIGKILL);
  reap(pid);
  result.outcome = RunOutcome::killed;
  result.status = 0;
  return result;
}

Status checkCommandFound(const std::string& command) {
  const std::size_t start = command.find_first_not_of(" \t");
  if (start == std::string::npos) {
    return {};
  }
  const std::string word =
      command.substr(start, command.find_first_of(" \t;&|<>()", start) - start);
  // Quotes, expansions and assignments make the word something the shell works out itself.
  if (word.empty() || word.find_first_of("'\"$`\\=*?[{~") != std::string::npos) {
    return {};
  }
  if (word.find('/') != std::string::npos) {
    return access(word.c_str(), X_OK) == 0 ? Status() : Status::lastSystemError();
  }
  // The POSIX shell's special and regular built-in commands and reserved words.
  static const std::set<std::string> kBuiltIn = {
      ".",        ":",       "[",       "alias", "bg",    "break",  "case",   "cd",   "command",
      "continue", "echo",    "eval",    "exec",  "exit",  "export", "false",  "fc",   "fg",
      "for",      "getopts", "hash",    "if",    "jobs",  "kill",   "printf", "pwd",  "read",
      "readonly", "return",  "set",     "shift", "test",  "times",  "trap",   "true", "type",
      "ulimit",   "umask",   "unalias", "unset", "until", "wait",   "while",  "!"};
  if (kBuiltIn.count(word) != 0) {
    return {};
  }
  const char* path = std::getenv("PATH");
  std::string directories = path != nullptr ? path : "/usr/bin:/bin";
  std::size_t from = 0;
  for (;;) {
    const std::size_t end = directories.find(':', from);
    std::string directory = directories.substr(from, end - from);
    if (directory.empty()) {
      directory = ".";
    }
    if (access((directory + "/" + word).c_str(), X_OK) == 0) {
      return {};
    }
    if (end == std::string::npos) {
      return Status::refused("no executable file of that name in any directory of PATH");
    }
    from = end + 1;
  }
}

}  // namespace platform
