#include "app/toss_run.h"

#include <iostream>

#include "announce/announcer.h"
#include "app/toss_app.h"
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

RunReport tossInbound(const TossConfig& settings, const std::vector<std::string>& warnings) {
  const AreaPathMap areaPaths(settings.areaPathFile);
  EventTable events(settings.eventsFile, settings.flagsDir, settings.processTimeMs);
  Announcer announcer(settings, platform::now());
  if (!settings.ticDir.empty()) {
    makeDirectoryPath(settings.ticDir);
  }
  RunLog log(settings);
  if (!log.open()) {
    std::cerr << "Warning: cannot open the log file " << settings.logFile << std::endl;
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
  RunReport report;
  report.tossed = tossed;
  return report;
}
