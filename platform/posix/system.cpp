#include "platform/system.h"

#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <system_error>
#include <vector>

#include "platform/status.h"

namespace platform {
namespace {

volatile sig_atomic_t stopSignal = 0;

extern "C" void noteStopSignal(int number) {
  stopSignal = number;
}

}  // namespace

void catchStopRequests() {
  struct sigaction action {};
  action.sa_handler = noteStopSignal;
  sigemptyset(&action.sa_mask);
  // Restarted where the system can: the run goes on to a point where it can stop cleanly.
  action.sa_flags = SA_RESTART;
  for (const int number : {SIGTERM, SIGINT, SIGHUP}) {
    sigaction(number, &action, nullptr);
  }
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
}

int stopRequested() {
  return stopSignal;
}

OsVersionInfo queryOsVersion() {
  OsVersionInfo info;
  struct utsname names {};
  if (uname(&names) == 0) {
    info.systemName = std::string(names.sysname) + " " + names.release;
  }
  return info;
}

std::string programFilePath() {
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) {
      return {};
    }
    if (static_cast<std::size_t>(length) < buffer.size()) {
      return std::string(buffer.data(), static_cast<std::size_t>(length));
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string toConsoleCharset(std::string text) {
  return text;
}

std::optional<std::string> environment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) {
    return std::nullopt;
  }
  return std::string(value);
}

std::int64_t now() {
  return static_cast<std::int64_t>(std::time(nullptr));
}

std::string formatLocalTime(const char* format, std::int64_t time) {
  // The program never calls setlocale, so strftime works in the "C" locale: English names.
  const std::time_t value = static_cast<std::time_t>(time);
  struct tm local {};
  if (localtime_r(&value, &local) == nullptr) {
    return {};
  }
  char buffer[128];
  const std::size_t length = std::strftime(buffer, sizeof buffer, format, &local);
  return std::string(buffer, length);
}

std::string absolutePath(const std::string& path) {
  std::string full;
  if (!path.empty() && path.front() == '/') {
    full = path;
  } else {
    std::vector<char> buffer(4096);
    while (getcwd(buffer.data(), buffer.size()) == nullptr) {
      if (buffer.size() > (1U << 20)) {
        return path;
      }
      buffer.resize(buffer.size() * 2);
    }
    full = std::string(buffer.data());
    if (!path.empty()) {
      full += "/" + path;
    }
  }
  // Drop "." components and doubled separators, as the Windows full-path call does.
  std::string result;
  std::size_t start = 0;
  while (start <= full.size()) {
    std::size_t end = full.find('/', start);
    if (end == std::string::npos) {
      end = full.size();
    }
    const std::string part = full.substr(start, end - start);
    if (!part.empty() && part != ".") {
      result += "/" + part;
    }
    start = end + 1;
  }
  if (result.empty()) {
    result.push_back('/');
  }
  if (full.size() > 1 && full.back() == '/' && result.back() != '/') {
    result += '/';
  }
  return result;
}

Status Status::lastSystemError() {
  return systemError(errno);
}

std::string systemErrorText(int code) {
  // The generic category words errno values as strerror does, and safely from any thread.
  return std::generic_category().message(code);
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

namespace {

std::string userNameOf(uid_t uid) {
  std::vector<char> buffer(1024);
  for (;;) {
    struct passwd entry {};
    struct passwd* found = nullptr;
    const int error = getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found);
    if (error == ERANGE && buffer.size() < (1U << 20)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (error == 0 && found != nullptr && found->pw_name != nullptr) {
      return found->pw_name;
    }
    return "uid " + std::to_string(uid);
  }
}

}  // namespace

std::string runningUserName() {
  return userNameOf(geteuid());
}

std::optional<ForeignOwner> foreignOwner(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || info.st_uid == geteuid()) {
    return std::nullopt;
  }
  return ForeignOwner{runningUserName(), userNameOf(info.st_uid)};
}

}  // namespace platform
