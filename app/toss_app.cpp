#include "app/toss_app.h"

#include <iostream>

#include "announce/ftn_address.h"
#include "app/config_reader.h"
#include "app/toss_run.h"
#include "platform/file_system.h"
#include "platform/system.h"
#include "res/messages.h"

#ifndef QUENFAR_VERSION
#define QUENFAR_VERSION "unknown"
#endif

namespace {

constexpr const char* kUsage =
    "Usage: quenfar [--help | --version]\n"
    "\n"
    "Tosses every .tic file of the inbound directory: moves the file it names into its\n"
    "file-echo area, updates the area's description list, logs, runs the configured events\n"
    "and stores one netmail message announcing what arrived.\n"
    "\n"
    "All settings come from quenfar.cfg in the directory of the program file.\n"
    "\n"
    "  -h, --help     print this help and exit\n"
    "  -V, --version  print the version and exit\n"
    "\n"
    "Exit status: 0 when the run completed, 1 when the configuration stopped it,\n"
    "2 for a wrong command line.\n";

void warn(const std::string& line) {
  std::cerr << line << '\n' << std::flush;
}

// What a sysop should hear about a configuration that passed the checks but looks wrong.
void checkSurroundings(const TossConfig& settings, std::vector<std::string>& warnings) {
  if (!platform::isDirectory(settings.inboundDir)) {
    warnings.push_back("Warning: the inbound directory " + settings.inboundDir + " does not exist");
  }
  if (!settings.netmailDir.empty() && !platform::isDirectory(settings.netmailDir)) {
    warnings.push_back("Warning: the netmail directory " + settings.netmailDir +
                       " does not exist; no announcement is stored");
  }
  if (!settings.ftnAddress.empty() && !isFtnAddress(settings.ftnAddress)) {
    warnings.push_back("Warning: FTNAddress " + settings.ftnAddress +
                       " does not read as zone:net/node[.point]");
  }
}

}  // namespace

void printMessage(int number) {
  std::cout << platform::toConsoleCharset(loadMessage(number)) << '\n' << std::flush;
}

int runProgram(const std::vector<std::string>& arguments) {
  if (!arguments.empty()) {
    const std::string& option = arguments.front();
    if (arguments.size() == 1 && (option == "--help" || option == "-h")) {
      std::cout << kUsage << std::flush;
      return kExitDone;
    }
    if (arguments.size() == 1 && (option == "--version" || option == "-V")) {
      std::cout << "quenfar " << QUENFAR_VERSION << '\n' << std::flush;
      return kExitDone;
    }
    std::cerr << "quenfar: unknown option " << option << "\n\n" << kUsage << std::flush;
    return kExitUsage;
  }

  // A stop asked for lets the run finish the .tic in hand; a closed standard output (a pipe
  // whose reader went away) never ends it.
  platform::catchStopRequests();
  printMessage(msg::kBanner);
  printMessage(msg::kNotice);

  std::vector<std::string> warnings;
  TossConfig settings = readConfigFrom(programDirectory(), &warnings);

  // Nothing is touched until the configuration is known to be usable.
  int stop = 0;
  if (settings.inboundDir.empty()) {
    stop = msg::kNoInbound;
  } else if (settings.fileechoDir.empty()) {
    stop = msg::kNoFileecho;
  } else if (!settings.netmailDir.empty() && settings.ftnAddress.empty()) {
    stop = msg::kNoFtnAddress;
  }
  if (stop == 0) {
    checkSurroundings(settings, warnings);
  }
  for (const std::string& line : warnings) {
    warn(line);
  }
  if (stop != 0) {
    printMessage(stop);
    return kExitConfiguration;
  }
  const RunReport report = tossInbound(settings, warnings);
  return report.troubled ? kExitTroubled : kExitDone;
}
