#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/status.h"

// What the program needs to know about the system it runs on, and its clock.
namespace platform {

#ifdef _WIN32
inline constexpr char kSeparator = '\\';
#else
inline constexpr char kSeparator = '/';
#endif

// The platform identifiers of the two Windows families; any other value means neither.
inline constexpr std::uint32_t kPlatformWin9x = 1;
inline constexpr std::uint32_t kPlatformNt = 2;

// The system's version record. On Windows it is filled from the version query; elsewhere
// dwPlatformId is 0 and systemName names the kernel and its release ("Linux 6.1.0-18-amd64").
struct OsVersionInfo {
  std::uint32_t dwMajorVersion = 0;
  std::uint32_t dwMinorVersion = 0;
  std::uint32_t dwBuildNumber = 0;
  std::uint32_t dwPlatformId = 0;
  std::string szCSDVersion;
  std::string systemName;
};

// Fills the version record of the running system.
OsVersionInfo queryOsVersion();

// Returns the full path of the running program file, or the empty string when unknown.
std::string programFilePath();

// Raises the number of files this process may hold open to `wanted`, or to the most the system
// allows where that is less (never lowers it), and returns the number now allowed. Commands it
// starts inherit the limit: it is raised only as far as the run needs.
std::size_t raiseOpenFileLimit(std::size_t wanted);

// Returns the text converted to the console's character set (the identity outside Windows).
std::string toConsoleCharset(std::string text);

// Returns the value of an environment variable, or nothing when it is not set.
std::optional<std::string> environment(const std::string& name);

// Returns the current time as seconds since 1970-01-01 00:00:00 UTC.
std::int64_t now();

// Formats a time, converted to local time, with strftime conversions in the "C" locale.
// The result is at most 127 characters; a longer one comes back empty.
std::string formatLocalTime(const char* format, std::int64_t time);

// Makes the signals that ask a program to stop (SIGTERM, SIGINT, SIGHUP; on Windows Ctrl+C,
// Ctrl+Break and the console's close) only set a flag that stopRequested() reads, so that a
// run finishes the .tic in hand, stores what there is to store and stops; and ignores SIGPIPE,
// so that a closed standard output never ends a run. Commands that the run starts get the
// system's defaults back.
void catchStopRequests();

// The number of the signal that asked the program to stop, or 0 while none did.
int stopRequested();

// Returns the path made absolute against the current directory; "." components are dropped.
std::string absolutePath(const std::string& path);

// Returns the name of the user that the program runs as (the user number in words when it has
// no name); empty where the system does not say (Windows).
std::string runningUserName();

// The users of a path that the running user does not own.
struct ForeignOwner {
  std::string runningUser;  // in the form of runningUserName
  std::string owner;
};

// Returns both users when `path` belongs to another user than the one the program runs as.
// Nothing when the running user owns it, when the path cannot be looked at, or where the
// system does not say (Windows). The names are looked up only when the users differ.
std::optional<ForeignOwner> foreignOwner(const std::string& path);

}  // namespace platform
