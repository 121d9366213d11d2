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

// How the running system moves a file, for the mover of a run: `nt` where a rename may replace
// an existing file (Windows NT and every other system), `win9x` on the Windows 95/98 family,
// whose rename refuses to.
enum class MoverFamily { nt, win9x };

// Returns the mover family of the running system.
MoverFamily moverFamily();

// The words that name the running system on the log's system line: after the words for
// "running under Windows " when `windows` is set (else after "running under "), `name`; then,
// when `build` is not empty, the word for a build and `build`. Windows gives "98 " and the
// service-pack text, or "NT 4.0" and "1381 Service Pack 6"; another system the kernel's name
// and release ("Linux 6.1.0-18-amd64"). A Windows that cannot be asked gives no words.
struct SystemName {
  bool windows = false;
  std::string name;
  std::string build;
};

// Returns the words that name the running system.
SystemName systemName();

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
