#include "platform/win32/windows_config.h"

#include "platform/process.h"

#include <optional>

#include "platform/system.h"
#include "platform/win32/unique_handle.h"

namespace platform {
namespace {

// Characters that cmd.exe acts on even between quotes: `"` would end the quoting, `%` expands
// variables, and a line break ends the command line.
bool holdsInterpretedCharacter(const std::string& text) {
  return text.find_first_of("\"%\r\n") != std::string::npos;
}

// "<ComSpec> /c <command> "<path>" "<name>"": the command with its own arguments, then the path
// and the name, each quoted so that spaces, &, |, <, > or ^ in them are plain text.
std::string commandLine(const std::string& interpreter, const std::string& command,
                        const std::string& destinationPath, const std::string& fileName) {
  std::string line;
  // An interpreter path with a space would leave CreateProcessA guessing where it ends.
  if (interpreter.find(' ') != std::string::npos && interpreter.front() != '"') {
    line = '"' + interpreter + '"';
  } else {
    line = interpreter;
  }
  line += " /c ";
  const std::string arguments = command + " \"" + destinationPath + "\" \"" + fileName + "\"";
  // When what follows /c starts with a quote (a command path in quotes), cmd.exe removes that
  // quote and the last one on the line, which here closes the file name. An outer pair of
  // quotes is what it then removes instead.
  if (!command.empty() && command.front() == '"') {
    line += '"' + arguments + '"';
  } else {
    line += arguments;
  }
  return line;
}

}  // namespace

RunOutcome runWithTimeout(const std::string& command, const std::string& destinationPath,
                          const std::string& fileName, int milliseconds) {
  if (holdsInterpretedCharacter(destinationPath) || holdsInterpretedCharacter(fileName)) {
    return RunOutcome::notStarted;
  }
  const std::optional<std::string> interpreter = environment("ComSpec");
  if (!interpreter || interpreter->empty()) {
    return RunOutcome::notStarted;
  }
  // CreateProcessA may write into the command line, so it gets a buffer of its own.
  std::string line = commandLine(*interpreter, command, destinationPath, fileName);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE,
                     CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS, nullptr, nullptr, &startup,
                     &started) == 0) {
    return RunOutcome::notStarted;
  }
  const win32::UniqueHandle process(started.hProcess);
  const win32::UniqueHandle thread(started.hThread);

  const DWORD limit = milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0;
  if (WaitForSingleObject(process.get(), limit) == WAIT_OBJECT_0) {
    return RunOutcome::finished;
  }
  // A time-out (or a wait that failed, which must not leave the command running unwatched).
  // Only the interpreter is ended; what it started in turn runs on. It is not waited for.
  TerminateProcess(process.get(), 255);
  return RunOutcome::killed;
}

}  // namespace platform
