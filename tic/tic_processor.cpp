#include "tic/tic_processor.h"

#include <algorithm>
#include <functional>

#include "platform/durability.h"
#include "platform/file_system.h"
#include "platform/system.h"
#include "res/messages.h"
#include "tic/tic_file.h"
#include "util/paths.h"
#include "util/text.h"

bool isPlainFileName(const std::string& name) {
  return platform::isPlainEntryName(name);
}

bool isSafeAreaTag(const std::string& tag) {
  return tag.empty() || platform::isPlainEntryName(tag);
}

TicProcessor::TicProcessor(TossSettings tossSettings, TossServices runServices, MoveFile mover)
    : settings(std::move(tossSettings)),
      services(runServices),
      move(mover),
      inboundNames(settings.inboundDir),
      waitNotices(settings.inboundDir) {
  // Two batches are held at a time; room is left for the lists kept open, the log, the
  // journals and an event's command.
  const std::size_t allowed = platform::raiseOpenFileLimit();
  batchLimit = std::clamp<std::size_t>(allowed > 512 ? (allowed - 512) / 2 : 0, 64, kLargestBatch);
}

std::string TicProcessor::reservedNameReason(const std::string& fileName) const {
  // The area's own description list, the program's temporary and journal files, and the other
  // .tic files of the inbound are never taken from a remote system: a .tic could otherwise
  // publish another's password.
  if (toUpperAnsi(fileName) == toUpperAnsi(fileNameOf(settings.descFile))) {
    return "the name is that of the area's description list";
  }
  if (fileName.compare(0, platform::kOwnPrefix.size(), platform::kOwnPrefix) == 0) {
    return "the name is reserved for the program's own files";
  }
  if (endsWithIgnoringCase(fileName, ".tic")) {
    return "the name is that of a .tic control file";
  }
  return {};
}

std::string TicProcessor::refusal(Toss& toss) {
  // Both values come from a remote system: neither may name anything outside the inbound
  // directory and the area tree, nor a file that the program keeps there. Such a .tic fails
  // like a file that cannot be moved.
  if (!isPlainFileName(toss.fileName)) {
    return "the name is not a plain file name of the inbound";
  }
  if (std::string reason = reservedNameReason(toss.fileName); !reason.empty()) {
    return reason;
  }
  if (services.areaPaths.lookup(toss.area).empty() && !isSafeAreaTag(toss.area)) {
    return "the area tag " + maskControlCharacters(toss.area) + " is not a plain directory name";
  }
  if (const platform::Status located = locate(toss); !located) {
    return "cannot make the area directory " + toss.areaDir + ": " + located.text();
  }
  return {};
}

platform::Status TicProcessor::locate(Toss& toss) {
  toss.areaDir = services.areaPaths.lookup(toss.area);
  if (toss.areaDir.empty()) {
    toss.areaDir = settings.fileechoDir + toss.area;
  }
  const auto [made, first] = areaDirectories.try_emplace(toss.areaDir);
  if (first) {
    made->second = makeDirectoryPath(toss.areaDir);
  }
  toss.destination = toss.areaDir + platform::kSeparator + toss.fileName;
  return made->second;
}

TicProcessor::~TicProcessor() = default;

TossResult TicProcessor::queue(const std::string& ticPath) {
  Toss toss;
  toss.ticName = fileNameOf(ticPath);
  // Its file is tossed already; only the .tic is left, and this run has tried it.
  if (services.journal.isDisposalPending(toss.ticName)) {
    return TossResult::passedOver;
  }
  if (!toss.tic.read(ticPath)) {
    return TossResult::passedOver;
  }
  toss.area = toss.tic.valueOf("AREA");
  toss.description = toss.tic.valueOf("DESC");
  toss.fileName = toss.tic.valueOf("FILE");
  if (const std::string refused = refusal(toss); !refused.empty()) {
    return fail(toss, refused);
  }
  toss.facts = JournalEntry{toss.ticName,
                            toss.destination,
                            maskControlCharacters(toss.area),
                            maskControlCharacters(toss.tic.valueOf("Origin")),
                            services.lists.clean(toss.description),
                            {}};
  if (const TossResult found = findSource(toss); found != TossResult::queued) {
    return found;
  }
  if (const platform::Status noted = services.journal.noteToss(toss.facts); !noted) {
    return fail(toss, "cannot note the toss in the run's journal: " + noted.text());
  }
  batchBytes += toss.tic.stamp().size;
  batch.push_back(std::move(toss));
  return TossResult::queued;
}

bool TicProcessor::batchFull() const {
  return batch.size() >= batchLimit || batchBytes >= kBatchBytes;
}

TossResult TicProcessor::findSource(Toss& toss) {
  toss.facts.evidence.tic = toss.tic.stamp();
  toss.source = settings.inboundDir + toss.fileName;
  std::optional<platform::FileStamp> found = platform::entryStamp(toss.source);
  // Names in a .tic often differ in letter case from the file that arrived (FOO.ZIP for
  // foo.zip); a case-sensitive file system gets the one entry that matches ignoring case.
  if (!found) {
    const std::string other = inboundNames.find(toss.fileName);
    if (!other.empty() && other != toss.fileName) {
      toss.source = settings.inboundDir + other;
      found = platform::entryStamp(toss.source);
    }
  }
  if (found) {
    toss.facts.evidence.source = *found;
    return TossResult::queued;
  }
  // A run that died after moving the file left its .tic behind: the file is in place, and the
  // rest of the toss is done now. The file there counts as this toss's only when the journal
  // proves it the moved one or, where no journal tells, when it is the file the .tic
  // describes: a file of the same name from an earlier toss is not taken for the new one.
  if (const TossEvidence* moved = services.journal.placedBefore(toss.ticName, toss.destination)) {
    toss.facts.evidence = *moved;
    toss.inPlace = true;
    return TossResult::queued;
  }
  if (isDescribedFile(toss.tic, toss.destination)) {
    if (tossedHere.count(std::hash<std::string>{}(toss.destination)) != 0) {
      toss.result = TossResult::duplicate;
      batch.push_back(std::move(toss));
      return TossResult::queued;
    }
    if (const auto there = platform::entryStamp(toss.destination)) {
      toss.facts.evidence.source = *there;
    }
    toss.inPlace = true;
    return TossResult::queued;
  }
  return wait(toss);
}

std::vector<TossResult> TicProcessor::tossBatch() {
  std::vector<TossResult> results;
  const auto queued = [](const Toss& toss) { return toss.result == TossResult::queued; };
  if (std::any_of(batch.begin(), batch.end(), queued)) {
    // Every record of the batch is on the disk before any of its files moves.
    if (const platform::Status synced = services.journal.sync(); !synced) {
      for (Toss& toss : batch) {
        if (toss.result == TossResult::queued) {
          toss.result = fail(toss, "cannot put the run's journal on the disk: " + synced.text());
        }
      }
    }
  }
  for (Toss& toss : batch) {
    if (toss.result == TossResult::queued) {
      place(toss);
    }
    if (toss.result != TossResult::tossed && toss.result != TossResult::duplicate) {
      results.push_back(toss.result);
    }
  }
  // The batch before this one has been flushing while this one was read and placed: it is
  // completed now.
  completePlaced(results);
  if (std::any_of(batch.begin(), batch.end(),
                  [](const Toss& toss) { return toss.result == TossResult::tossed; })) {
    services.lists.releaseHolds();  // where a flush opens the lists, it must find them free
    flushing.start(batchPaths());
  }
  placed.swap(batch);
  batch.clear();
  batchBytes = 0;
  return results;
}

std::vector<TossResult> TicProcessor::finishTossing() {
  std::vector<TossResult> results;
  completePlaced(results);
  return results;
}

void TicProcessor::completePlaced(std::vector<TossResult>& results) {
  // The files and entries are on the disk before any .tic goes.
  bool flushed = true;
  for (const platform::SyncFailure& failure : flushing.wait()) {
    services.log.writeWarning("Warning: cannot flush " + failure.path + " to the disk: " +
                              failure.cause.text() + "; the next run finishes its tosses");
    flushed = false;
  }
  for (Toss& toss : placed) {
    if (toss.result == TossResult::tossed && !flushed) {
      services.journal.noteUnfinished(toss.facts);
      toss.result = TossResult::failed;
    } else if (toss.result == TossResult::tossed) {
      complete(toss);
    } else if (toss.result == TossResult::duplicate) {
      disposeTic(toss);
      services.log.writeLine("Duplicate " + maskControlCharacters(toss.ticName) + ": " +
                             maskControlCharacters(toss.fileName) + " was tossed in this run");
    } else {
      continue;  // reported when it was placed
    }
    results.push_back(toss.result);
  }
  placed.clear();
}

void TicProcessor::place(Toss& toss) {
  if (!toss.inPlace) {
    std::uint64_t moved = 0;
    const platform::Status status = move(toss.source, toss.destination, &moved);
    if (status) {
      services.journal.noteMoved(toss.ticName);
      toss.size = moved;
    } else if (toss.result = placedAfterAll(toss, status); toss.result != TossResult::tossed) {
      return;
    }
  }
  movedAny = true;
  tossedHere.insert(std::hash<std::string>{}(toss.destination));
  const std::string listPath = toss.areaDir + platform::kSeparator + settings.descFile;
  if (const platform::Status listed =
          services.lists.update(listPath, toss.fileName, toss.facts.description);
      !listed) {
    services.log.writeWarning("Warning: cannot update the description list " + listPath + " for " +
                              maskControlCharacters(toss.fileName) + " of " +
                              maskControlCharacters(toss.ticName) + ": " + listed.text() +
                              "; the next run tries again");
    services.journal.noteUnfinished(toss.facts);
    toss.result = TossResult::failed;
    return;
  }
  dropOtherCases(toss);
  toss.result = TossResult::tossed;
}

void TicProcessor::dropOtherCases(const Toss& toss) {
  // The list now holds one entry of the name in any letter case, as it always did; where the
  // file system tells cases apart, the file of the entry it replaced goes as well, as it would
  // where names ignore letter case. (There, it is the new file itself, and stays.)
  if (services.lists.otherCaseEntries().empty()) {
    return;
  }
  const auto moved = platform::entryStamp(toss.destination);
  for (const std::string& name : services.lists.otherCaseEntries()) {
    const std::string twin = toss.areaDir + platform::kSeparator + name;
    const auto found = platform::entryStamp(twin);
    if (moved && found && (found->device != moved->device || found->inode != moved->inode) &&
        platform::isPlainEntryName(name) && platform::checkRegularFile(twin)) {
      platform::deleteFile(twin).ignore();
    }
  }
}

TossResult TicProcessor::placedAfterAll(Toss& toss, const platform::Status& moved) {
  // A .tic that another run has tossed and moved to TICDir since this one read it describes a
  // file that is in place already: it is no toss of this run's.
  if (!toss.tic.stillInPlace()) {
    return TossResult::passedOver;
  }
  const auto there = platform::entryStamp(toss.destination);
  if (!platform::exists(toss.source) && there && toss.facts.evidence.isMovedFile(*there) &&
      tossedHere.count(std::hash<std::string>{}(toss.destination)) != 0) {
    return TossResult::duplicate;
  }
  return fail(toss, "cannot move " + toss.source + " to " + toss.destination + ": " + moved.text());
}

std::vector<std::string> TicProcessor::batchPaths() const {
  // The areas this batch wrote to, the inbound and TICDir (where .tic files are to go).
  std::vector<std::string> paths = {settings.inboundDir.empty() ? "." : settings.inboundDir};
  if (!settings.ticDir.empty()) {
    paths.push_back(settings.ticDir);
  }
  for (const Toss& toss : batch) {
    if (toss.result == TossResult::tossed &&
        std::find(paths.begin(), paths.end(), toss.areaDir) == paths.end()) {
      paths.push_back(toss.areaDir);
      paths.push_back(toss.areaDir + platform::kSeparator + settings.descFile);
    }
  }
  return paths;
}

void TicProcessor::complete(Toss& toss) {
  // Events find the .tic where it is kept (TICDir), or gone, as a tosser's events expect.
  disposeTic(toss);
  services.log.writeMove(toss.fileName, toss.facts.area, toss.facts.description);
  runEvents(toss.area, toss.fileName, toss.facts);
  services.announcer.addFile(AnnounceEntry{toss.facts.area, toss.fileName, toss.facts.description,
                                           toss.facts.origin, toss.destination, toss.size});
}

void TicProcessor::runEvents(const std::string& area, const std::string& fileName,
                             const JournalEntry& facts) {
  if (!services.events.list().empty()) {
    // Once a stop is asked for, the tosses in hand are completed and announced, and their
    // events left for the next run. A stop sent to the whole process group may have ended a
    // command too: the next run then carries its events out again, as events run at least
    // once.
    if (platform::stopRequested() != 0) {
      services.journal.noteEventsOwed(facts);
      return;
    }
    services.lists.releaseHolds();  // an event's command may read or change the lists
    if (services.events.runEvents(area, fileName, facts.destination).interrupted &&
        platform::stopRequested() != 0) {
      services.journal.noteEventsOwed(facts);
      return;
    }
  }
  services.journal.noteEventsRun(facts.ticName);
}

void TicProcessor::disposeTic(Toss& toss) {
  const std::string kept = settings.ticDir.empty() ? std::string() : settings.ticDir + toss.ticName;
  const platform::Status disposed = toss.tic.dispose(kept);
  if (disposed) {
    services.journal.noteDisposed(toss.ticName);
    return;
  }
  const std::string what = kept.empty() ? "cannot delete " + toss.tic.path()
                                        : "cannot move " + toss.tic.path() + " to " + kept;
  services.log.writeWarning("Warning: " + maskControlCharacters(what) + ": " + disposed.text() +
                            "; " + maskControlCharacters(toss.fileName) +
                            " is tossed, and the next run only disposes of the .tic");
  services.journal.noteDisposalPending(toss.facts);
}

void TicProcessor::disposeLeftover(const std::string& ticPath) {
  Toss toss;
  if (!toss.tic.read(ticPath)) {
    return;
  }
  toss.ticName = fileNameOf(ticPath);
  toss.fileName = toss.tic.valueOf("FILE");
  toss.facts.ticName = toss.ticName;
  disposeTic(toss);
}

TossResult TicProcessor::fail(const Toss& toss, const std::string& cause) {
  const std::string fileName = maskControlCharacters(toss.fileName);
  services.log.writeLine(loadMessage(msg::kCantMove) + " " + fileName);
  services.log.writeWarning("Warning: cannot toss " + fileName + " of " +
                            maskControlCharacters(toss.ticName) + ": " + cause);
  return TossResult::failed;
}

TossResult TicProcessor::wait(const Toss& toss) {
  const std::string fileName = maskControlCharacters(toss.fileName);
  services.log.writeLine(loadMessage(msg::kCantMove) + " " + fileName);
  // Waiting for a file still on its way is the normal case: it is only worth a word on
  // standard error once it has waited for more than a day, and then once a day.
  const std::string line = "Warning: " + maskControlCharacters(toss.ticName) + " waits for " +
                           fileName + ", which has not arrived in the inbound";
  if (waitNotices.due(toss.ticName, toss.tic.modifiedTime(), platform::now())) {
    services.log.writeWarning(line + " for more than a day");
  } else {
    services.log.writeLine(line);
  }
  return TossResult::waiting;
}

std::vector<std::string> TicProcessor::writtenPaths() const {
  std::vector<std::string> paths;
  for (const auto& [areaDir, made] : areaDirectories) {
    if (!made) {
      continue;
    }
    paths.push_back(areaDir);
    // Where files are flushed one by one, the lists appended to need it of their own.
    paths.push_back(areaDir + platform::kSeparator + settings.descFile);
  }
  paths.push_back(settings.inboundDir.empty() ? std::string(".") : settings.inboundDir);
  if (!settings.ticDir.empty()) {
    paths.push_back(settings.ticDir);
  }
  return paths;
}
