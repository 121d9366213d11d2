#pragma once

#include <string>

// Running an operator's command for a tossed file.
namespace platform {

enum class RunOutcome {
  notStarted,  // the command interpreter could not be started
  finished,    // the process ended within the time limit (its exit code is not looked at)
  signalled,   // the process was ended by a signal that this program did not send (a stop
               // sent to the whole process group, say) before it could finish
  killed,      // the time limit passed; the process was killed and reaped
};

// Runs `command` through the command interpreter with `destinationPath` and `fileName` as its
// last two arguments, each passed as exactly one argument that the interpreter never parses.
// The child gets a session of its own and an empty standard input. Waits at most
// `milliseconds`, then kills that process alone. No child is left behind unreaped.
// On Windows the interpreter is the one that ComSpec names, and the child gets a console of its
// own in place of a session and an empty input. The two arguments are quoted there, and a path
// or name holding `"` or `%` is not run at all (notStarted).
RunOutcome runWithTimeout(const std::string& command, const std::string& destinationPath,
                          const std::string& fileName, int milliseconds);

}  // namespace platform
