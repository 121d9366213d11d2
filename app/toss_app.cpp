#include "app/toss_app.h"

#include <iostream>

#include "app/config_check.h"
#include "app/config_reader.h"
#include "app/toss_run.h"
#include "platform/file_system.h"
#include "platform/system.h"
#include "res/messages.h"

namespace {

constexpr const char* kUsage =
    "Usage: quenfar [--help | --version]\n"
    "       quenfar --check\n"
    "\n"
    "Tosses every .tic file of the inbound directory: moves the file it names into its\n"
    "file-echo area, updates the area's description list, logs, runs the configured events\n"
    "and stores one netmail message announcing what arrived.\n"
    "\n"
    "All settings come from quenfar.cfg in the directory of the program file.\n"
    "\n"
    "  -h, --help     print this help and exit\n"
    "  -V, --version  print the version and exit\n"
    "      --check    read the configuration and report the settings in effect, the lists,\n"
    "                 whether the run can write where it writes, and every warning;\n"
    "                 touches nothing; exit 0 when there is nothing to warn about, else 1\n"
    "\n"
    "Exit status: 0 when the run completed, 1 when the configuration stopped it,\n"
    "2 for a wrong command line, 3 when the run completed but a .tic failed for another\n"
    "reason than waiting for its file, a flush or the message failed, or an event\n"
    "command could not be started or was stopped at its time limit.\n";

// What a command line with options asks for: help, the version, or a check of the settings.
int runOption(const std::vector<std::string>& arguments) {
  const std::string& option = arguments.front();
  if (arguments.size() == 1 && (option == "--help" || option == "-h")) {
    std::cout << kUsage << std::flush;
    return kExitDone;
  }
  if (arguments.size() == 1 && (option == "--version" || option == "-V")) {
    std::cout << "quenfar " << programVersion() << '\n' << std::flush;
    return kExitDone;
  }
  if (arguments.size() == 1 && option == "--check") {
    ConfigReading reading = readConfiguration(programDirectory());
    return reportConfiguration(reading, std::cout) == 0 ? kExitDone : kExitConfiguration;
  }
  // The word blamed is the first one that is not a known option alone.
  const bool known = option == "--help" || option == "-h" || option == "--version" ||
                     option == "-V" || option == "--check";
  const std::string& wrong = known ? arguments[1] : option;
  writeToStandardError(
      "quenfar: " +
      std::string(wrong.rfind('-', 0) == 0 ? "unknown option " : "unexpected argument ") + wrong +
      (known ? " after " + option : std::string()) + "\n\n" + kUsage);
  return kExitUsage;
}

}  // namespace

int runProgram(const std::vector<std::string>& arguments) {
  if (!arguments.empty()) {
    return runOption(arguments);
  }

  // A stop asked for lets the run finish the .tic in hand; a closed standard output (a pipe
  // whose reader went away) never ends it.
  platform::catchStopRequests();
  printMessage(msg::kBanner);
  printMessage(msg::kNotice);

  ConfigReading reading = readConfiguration(programDirectory());
  std::vector<std::string>& warnings = reading.warnings;
  TossConfig& settings = reading.settings;

  // Nothing is touched until the configuration is known to be usable.
  const platform::Status stop = configurationStop(settings);
  if (stop) {
    checkSurroundings(settings, warnings);
  }
  RunLog log(logSettingsOf(settings));
  for (const std::string& line : warnings) {
    log.writeWarning(line);
  }
  if (!stop) {
    // Standard output often goes nowhere (cron, a mailer): the stop is said where it is seen.
    log.writeWarning(stopLine(stop, reading.path));
    // A stop goes into an existing log, with the warnings that explain it; a stop creates
    // nothing, so a log that is not there yet stays so.
    if (platform::exists(settings.logFile)) {
      log.open().ignore();
      log.close();
    }
    std::cout << platform::toConsoleCharset(stop.text()) << '\n' << std::flush;
    return kExitConfiguration;
  }
  const RunReport report = tossInbound(settings, log);
  return report.troubled ? kExitTroubled : kExitDone;
}
