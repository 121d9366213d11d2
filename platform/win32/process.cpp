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

RunResult runWithTimeout(const std::string& command, const std::string& destinationPath,
                         const std::string& fileName, int milliseconds) {
  RunResult result;
  if (holdsInterpretedCharacter(destinationPath) || holdsInterpretedCharacter(fileName)) {
    result.why = Status::refused("the path or the name holds \" or %");
    return result;
  }
  const std::optional<std::string> interpreter = environment("ComSpec");
  if (!interpreter || interpreter->empty()) {
    result.why = Status::refused("ComSpec names no command interpreter");
    return result;
  }
  // CreateProcessA may write into the command line, so it gets a buffer of its own.
  std::string line = commandLine(*interpreter, command, destinationPath, fileName);

  // The interpreter starts suspended and joins a job of its own before it runs, so that
  // whatever it starts belongs to the job too and the time limit can end them all. Where the
  // job cannot be had (a program already in a job that forbids nesting, before Windows 8), the
  // time limit ends the interpreter alone.
  const win32::UniqueHandle job(CreateJobObjectA(nullptr, nullptr));
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE,
                     CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS | CREATE_SUSPENDED, nullptr,
                     nullptr, &startup, &started) == 0) {
    result.why = Status::lastSystemError();
    return result;
  }
  const win32::UniqueHandle process(started.hProcess);
  const win32::UniqueHandle thread(started.hThread);
  const bool inJob = job && AssignProcessToJobObject(job.get(), process.get()) != 0;
  ResumeThread(thread.get());

  const DWORD limit = milliseconds > 0 ? static_cast<DWORD>(milliseconds) : 0;
  if (WaitForSingleObject(process.get(), limit) == WAIT_OBJECT_0) {
    DWORD code = 0;
    GetExitCodeProcess(process.get(), &code);
    result.status = static_cast<int>(code);
    // cmd.exe's status for a command it does not recognise.
    result.outcome = code == 9009 ? RunOutcome::cannotRun : RunOutcome::finished;
    return result;
  }
  // A time-out (or a wait that failed, which must not leave the command running unwatched).
  // The job ends with everything in it; the interpreter is not waited for.
  if (!inJob || TerminateJobObject(job.get(), 255) == 0) {
    TerminateProcess(process.get(), 255);
  }
  result.outcome = RunOutcome::killed;
  return result;
}

Status checkCommandFound(const std::string&) {
  // cmd.exe finds programs by PATH, PATHEXT, the current directory and its own commands.
  return {};
}

}  // namespace platform
