#pragma once

#include <string>

#include "platform/status.h"

// Running an operator's command for a tossed file.
namespace platform {

enum class RunOutcome {
  notStarted,  // the command interpreter could not be started, or was not asked to (`why`)
  cannotRun,   // the interpreter started but could not run the command: not found or not
               // executable (status 127 or 126 of /bin/sh, 9009 of cmd.exe)
  finished,    // the process ended within the time limit, with `status`
  signalled,   // the process was ended by a signal that this program did not send (a stop
               // sent to the whole process group, say) before it could finish; `status` holds
               // the signal
  killed,      // the time limit passed; the command and everything it started were killed
};

// How a command's run ended.
struct RunResult {
  RunOutcome outcome = RunOutcome::notStarted;
  int status = 0;  // the exit status of a finished or unrunnable command, the signal of a
                   // signalled one
  Status why;      // why it was not started
};

// Runs `command` through the command interpreter with `destinationPath` and `fileName` as its
// last two arguments, each passed as exactly one argument that the interpreter never parses.
// The child gets a session of its own and an empty standard input. Waits at most
// `milliseconds`, then kills the child's whole process group, so that what the command
// started ends with it. No child is left behind unreaped. What a command that ends in time
// leaves running in the background is left alone.
// On Windows the interpreter is the one that ComSpec names, and the child gets a console of its
// own in place of a session and an empty input, and runs in a job object that the time limit
// ends as a whole. The two arguments are quoted there, and a path or name holding `"` or `%` is
// not run at all (notStarted).
RunResult runWithTimeout(const std::string& command, const std::string& destinationPath,
                         const std::string& fileName, int milliseconds);

// Checks, without running anything, that the interpreter can find the program that `command`
// starts with: a path must name an executable file, a bare name must be one of the
// interpreter's own commands or an executable file in a directory of PATH. Succeeds where it
// cannot tell (a first word with quotes or expansions in it, and on Windows, whose interpreter
// looks for programs its own way).
Status checkCommandFound(const std::string& command);

}  // namespace platform
