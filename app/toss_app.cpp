#include "app/toss_app.h"

#include <chrono>
#include <iostream>

#include "announce/announcer.h"
#include "announce/ftn_address.h"
#include "app/config_reader.h"
#include "desc/desc_cleaner.h"
#include "desc/desc_file_updater.h"
#include "events/event_table.h"
#include "log/run_log.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "platform/system.h"
#include "res/messages.h"
#include "tic/area_path_map.h"
#include "tic/tic_processor.h"
#include "tic/toss_journal.h"
#include "util/paths.h"
#include "util/text.h"

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

  printMessage(msg::kBanner);
  printMessage(msg::kNotice);

  std::vector<std::string> warnings;
  TossConfig settings = readConfigFrom(programDirectory(), &warnings);
  settings.osVersion = platform::queryOsVersion();

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
  tossInbound(settings, warnings);
  return kExitDone;
}

std::int32_t tossInbound(const TossConfig& settings, const std::vector<std::string>& warnings) {
  const AreaPathMap areaPaths(settings.areaPathFile);
  EventTable events(settings.eventsFile, settings.flagsDir, settings.processTimeMs);
  Announcer announcer(settings, platform::now());
  if (!settings.ticDir.empty()) {
    makeDirectoryPath(settings.ticDir);
  }
  RunLog log(settings);
  if (!log.open()) {
    warn("Warning: cannot open the log file " + settings.logFile);
  }
  for (const std::string& line : warnings) {
    log.writeLine(line);
  }
  DescFileUpdater lists(settings.descFilter ? cutDescription : keepDescription, kHoldWait);
  const MoveFile mover =
      settings.osVersion.dwPlatformId == platform::kPlatformWin9x ? moveLikeWin9x : moveLikeNt;

  // The journal is kept in the inbound directory, by its absolute path, as are the .tic paths.
  const std::string inbound = withTrailingBackslash(settings.inboundDir);
  const std::string inboundPath = withTrailingBackslash(platform::absolutePath(inbound));
  TossJournal journal(inboundPath);
  journal.clearDeadRunsFiles({settings.netmailDir, settings.ticDir});
  // What runs that died tossed is announced in this run's message.
  for (const JournalEntry& earlier : journal.unannounced()) {
    announcer.addFile(AnnounceEntry{earlier.area, fileNameOf(earlier.destination),
                                    earlier.description, earlier.origin, earlier.destination});
  }

  TicProcessor processor(settings, {log, areaPaths, lists, events, announcer, journal}, mover);
  std::int32_t tossed = 0;
  // Tosses that a run cut short come first, then every .tic as the directory yields it, one at
  // a time, so memory does not grow with the inbound directory.
  for (const std::string& name : journal.unfinishedTics()) {
    if (processor.processTic(inboundPath + name) == TossResult::tossed) {
      ++tossed;
    }
  }
  platform::DirectorySearch search(inbound);
  std::string name;
  // Once there is work, what the mailer wrote goes to the disk while the run tosses.
  platform::FlushAhead flushAhead;
  while (search.next(name)) {
    if (endsWithIgnoringCase(name, ".tic") &&
        processor.processTic(inboundPath + name) == TossResult::tossed) {
      ++tossed;
      flushAhead.start(inboundPath);
    }
  }

  lists.releaseHolds();

  const bool announcing = announcer.active();
  bool staged = false;
  if (announcer.fileCount() > 0) {
    announcer.addText("File proceded " + std::to_string(announcer.fileCount()) + "\r\n");
    staged = announcer.stage();
  }
  if (tossed == 0) {
    log.writeLine(loadMessage(msg::kNothingToToss));
    printMessage(msg::kNothingToToss);
  }
  log.close();
  // Everything written is put on the disk once, at the end, rather than file by file: the
  // message too, which gets its name only after that.
  flushAhead.wait();
  if (processor.placedAny() || announcer.fileCount() > 0) {
    std::vector<std::string> written = processor.writtenPaths();
    if (!settings.netmailDir.empty()) {
      written.push_back(settings.netmailDir);
    }
    if (!settings.logFile.empty()) {
      written.push_back(settings.logFile);
    }
    platform::syncToDisk(written);
  }
  const bool announced = announcer.fileCount() == 0 || (staged && announcer.publish());
  // A message that could not be stored leaves the journals for the next run to announce from.
  if (announced || !announcing) {
    journal.finish();
  }
  return tossed;
}
