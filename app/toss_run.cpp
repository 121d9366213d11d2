#include "app/toss_run.h"

#include "announce/ftn_address.h"
#include "desc/desc_cleaner.h"
#include "platform/directory.h"
#include "platform/file_system.h"
#include "platform/system.h"
#include "res/messages.h"
#include "tic/arrival_order.h"
#include "util/paths.h"
#include "util/text.h"

LogSettings logSettingsOf(const TossConfig& settings) {
  return {settings.logFile, settings.onScreen, settings.descInLog, settings.cutSymbols};
}

namespace {

AnnounceSettings announceSettings(const TossConfig& settings) {
  return {settings.netmailDir, settings.ftnAddress, settings.userName};
}

// The checks of what arrives, as the settings turn them on.
ArrivalChecks arrivalChecks(const TossConfig& settings) {
  ArrivalChecks checks;
  checks.linksNamed = !settings.linksFile.empty();
  if (checks.linksNamed) {
    if (const platform::Status read = loadLinkList(settings.linksFile, checks.links); !read) {
      checks.linksRead = platform::Status::refused("cannot read the links list " +
                                                   settings.linksFile + ": " + read.text());
    }
  }
  // The node's own address as the announcement takes it, and every readable one of the Akas.
  if (const FtnAddress own = parseFtnAddress(settings.ftnAddress); own.numbersRead >= 3) {
    checks.ownAddresses.push_back({own.zone, own.net, own.node, own.point});
  }
  std::size_t start = settings.akas.find_first_not_of(" \t");
  while (start != std::string::npos) {
    const std::size_t end = settings.akas.find_first_of(" \t", start);
    if (const auto aka = readNodeAddress(settings.akas.substr(start, end - start))) {
      checks.ownAddresses.push_back(*aka);
    }
    start = end == std::string::npos ? end : settings.akas.find_first_not_of(" \t", end);
  }
  checks.verifyFiles = settings.verifyFiles;
  checks.badTicDir = settings.badTicDir;
  checks.autoCreate = settings.autoCreate;
  checks.replaces = settings.replaces;
  checks.longDesc = settings.longDesc;
  return checks;
}

TossSettings tossSettings(const TossConfig& settings, const std::string& inboundPath) {
  return {inboundPath, withTrailingBackslash(settings.fileechoDir), settings.descFile,
          settings.ticDir, arrivalChecks(settings)};
}

std::string absoluteInbound(const TossConfig& settings) {
  return withTrailingBackslash(platform::absolutePath(withTrailingBackslash(settings.inboundDir)));
}

// Commands that could not start or were stopped go to the log and standard error; other
// statuses to the log alone.
EventReports eventReportsTo(RunLog& log) {
  return {[&log](const std::string& line) { log.writeWarning(line); },
          [&log](const std::string& line) { log.writeLine(line); }};
}

MoveFile moverOfThisSystem() {
  return platform::moverFamily() == platform::MoverFamily::win9x ? moveLikeWin9x : moveLikeNt;
}

}  // namespace

TossRun::TossRun(const TossConfig& config, RunLog& runLog)
    : settings(config),
      inboundPath(absoluteInbound(config)),
      log(runLog),
      areaPaths(config.areaPathFile),
      events(config.eventsFile, config.flagsDir, config.processTimeMs, eventReportsTo(log)),
      announcer(announceSettings(config), platform::now()),
      lists(config.descFilter ? cutDescription : keepDescription, platform::kHoldWait,
            config.longDesc ? Continuations::goWithEntry : Continuations::stay),
      // The journal is kept in the inbound directory, by its absolute path, as are the .tic
      // paths; adopting dead runs' journals clears their temporary files here too.
      journal(inboundPath, {config.netmailDir, config.ticDir}),
      processor(tossSettings(config, inboundPath),
                {log, areaPaths, lists, events, announcer, journal}, moverOfThisSystem()) {
  // The directory that receives tossed .tic files exists before the first one is tossed.
  platform::Status ticDirMade;
  if (!settings.ticDir.empty()) {
    ticDirMade = makeDirectoryPath(settings.ticDir);
  }
  if (const platform::Status opened = log.open(); !opened) {
    warn("Warning: cannot open the log file " + settings.logFile + ": " + opened.text());
  }
  if (!ticDirMade) {
    warn("Warning: cannot make TICDir " + settings.ticDir + ": " + ticDirMade.text() +
         "; tossed .tic files stay in the inbound");
  }
}

RunReport TossRun::run() {
  recover();
  tossInbound();
  stage();
  flushAndPublish();
  // A command that could not start, or that its time limit stopped, left its work undone.
  if (events.anyTroubled()) {
    report.troubled = true;
  }
  return report;
}

void TossRun::recover() {
  if (journal.adoptedCount() != 0) {
    log.writeLine(
        "Recovering " + std::to_string(journal.adoptedCount()) + " journal(s) of runs that died: " +
        std::to_string(journal.unfinishedTics().size()) + " toss(es) to finish, " +
        std::to_string(journal.pendingDisposals().size()) + " .tic file(s) to dispose of, " +
        std::to_string(journal.withoutEvents().size()) + " file(s) whose events to run, " +
        std::to_string(journal.unannounced().size()) + " file(s) to announce");
  }
  // What runs that died tossed and never announced is announced in this run's message.
  for (const JournalEntry& earlier : journal.unannounced()) {
    announcer.addFile(AnnounceEntry{earlier.area, fileNameOf(earlier.destination),
                                    earlier.description, earlier.origin, earlier.destination});
  }
  for (const std::string& name : journal.pendingDisposals()) {
    processor.disposeLeftover(inboundPath + name);
  }
  // Events run at least once: those that a dead run did not get to are carried out now.
  for (const JournalEntry& earlier : journal.withoutEvents()) {
    processor.runEvents(earlier.area, fileNameOf(earlier.destination), earlier);
  }
  // Tosses that a run cut short come before everything new.
  for (const std::string& name : journal.unfinishedTics()) {
    count(processor.queue(inboundPath + name));
  }
  tossBatch();
}

void TossRun::tossInbound() {
  // In the order they arrived, so that an older nodediff is tossed, and its events run, before
  // a newer one. A stop asked for ends the tossing between two .tic files.
  ArrivalOrder search(inboundPath);
  std::string name;
  while (platform::stopRequested() == 0 && search.next(name)) {
    if (endsWithIgnoringCase(name, ".tic")) {
      count(processor.queue(inboundPath + name));
      if (processor.batchFull()) {
        tossBatch();
      }
    }
  }
  for (const TossResult result : processor.finishTossing()) {
    count(result);
  }
  if (const int signal = platform::stopRequested(); signal != 0) {
    log.writeLine("Stopped by signal " + std::to_string(signal) +
                  "; the .tic files left are tossed by the next run");
  } else {
    processor.saveWaitNotices();
  }
  lists.releaseHolds();
}

void TossRun::tossBatch() {
  for (const TossResult result : processor.tossBatch()) {
    count(result);
  }
}

void TossRun::count(TossResult result) {
  switch (result) {
    case TossResult::tossed:
      ++report.tossed;
      break;
    case TossResult::failed:
      report.troubled = true;
      break;
    case TossResult::queued:
    case TossResult::waiting:
    case TossResult::duplicate:
    case TossResult::passedOver:
      break;
  }
}

void TossRun::stage() {
  if (announcer.fileCount() == 0) {
    return;
  }
  announcer.addText("File proceded " + std::to_string(announcer.fileCount()) + "\r\n");
  if (const platform::Status written = announcer.stage(); !written) {
    warn("Warning: cannot write the announcement in " + settings.netmailDir + ": " +
         written.text() + "; the next run announces its files");
    report.troubled = true;
    return;
  }
  staged = true;
  journal.noteMessageStaged(announcer.stagedPath()).ignore();
}

void TossRun::flushAndPublish() {
  if (report.tossed == 0) {
    log.writeLine(loadMessage(msg::kNothingToToss));
    printMessage(msg::kNothingToToss);
  }
  const bool flushed = flushWritten();
  const bool announced = publishMessage(flushed);
  if (!flushed || !announced) {
    report.troubled = true;
  }
  log.close();
  // A flush that failed, or a message not stored, leaves the journal for the next run.
  if (announced && flushed) {
    journal.finish();
  }
}

bool TossRun::flushWritten() {
  // Everything written is put on the disk once, at the end, rather than file by file: the
  // message too, which gets its name only after that.
  if (!processor.placedAny() && announcer.fileCount() == 0) {
    return true;
  }
  std::vector<std::string> written = processor.writtenPaths();
  if (!settings.netmailDir.empty()) {
    written.push_back(settings.netmailDir);  // and the staged message in it
  }
  // Where a flush covers a whole file system, the log is covered with the rest; elsewhere it
  // is flushed through its own hold.
  if (platform::kFlushCoversFileSystem) {
    written.push_back(settings.logFile);
  }
  bool flushed = flush(written);
  if (platform::kFlushCoversFileSystem) {
    return flushed;
  }
  if (const platform::Status synced = log.sync(); !synced) {
    warn("Warning: cannot flush " + settings.logFile + " to the disk: " + synced.text());
    flushed = false;
  }
  return flushed;
}

bool TossRun::flush(const std::vector<std::string>& paths) {
  bool flushed = true;
  for (const platform::SyncFailure& failure : platform::syncToDisk(paths)) {
    warn("Warning: cannot flush " + failure.path + " to the disk: " + failure.cause.text());
    flushed = false;
  }
  return flushed;
}

bool TossRun::publishMessage(bool flushed) {
  if (!staged) {
    return !announcer.active() || announcer.fileCount() == 0;
  }
  const std::string later = "; the next run announces its files";
  if (!flushed) {
    warn("Warning: the announcement is not stored, as what it announces may not be on the disk" +
         later);
  } else if (const platform::Status stored = announcer.publish(platform::kFlushCoversFileSystem);
             !stored) {
    warn("Warning: cannot store the announcement in " + settings.netmailDir + ": " + stored.text() +
         later);
  } else {
    // The name is on the disk before the run lets go of what it announces.
    if (!flush({settings.netmailDir})) {
      report.troubled = true;
    }
    return true;
  }
  // Noted before the temporary file goes, so that the next run does not take its absence for
  // a stored message.
  journal.noteMessageNotStored().ignore();
  announcer.discard();
  return false;
}

void TossRun::warn(const std::string& line) {
  log.writeWarning(line);
}

RunReport tossInbound(const TossConfig& settings, RunLog& log) {
  TossRun run(settings, log);
  return run.run();
}
