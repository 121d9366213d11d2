#include "platform/system.h"

#include <errno.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
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

MoverFamily moverFamily() {
  return MoverFamily::nt;
}

SystemName systemName() {
  SystemName words;
  struct utsname names {};
  if (uname(&names) == 0) {
    words.name = std::string(names.sysname) + " " + names.release;
  }
  return words;
}

std::size_t raiseOpenFileLimit(std::size_t wanted) {
  struct rlimit limit {};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
    return 1024;
  }
  const rlim_t target = std::min<rlim_t>(static_cast<rlim_t>(wanted), limit.rlim_max);
  if (limit.rlim_cur < target) {
    struct rlimit raised = limit;
    raised.rlim_cur = target;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) {
      limit = raised;
    }
  }
  return limit.rlim_cur == RLIM_INFINITY ? SIZE_MAX : static_cast<std::size_t>(limit.rlim_cur);
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
