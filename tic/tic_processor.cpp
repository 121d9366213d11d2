#include "tic/tic_processor.h"

#include <algorithm>
#include <functional>

#include "platform/directory.h"
#include "platform/durability.h"
#include "platform/file_system.h"
#include "platform/system.h"
#include "res/messages.h"
#include "tic/tic_file.h"
#include "tic/verify.h"
#include "util/paths.h"
#include "util/text.h"

TicProcessor::TicProcessor(TossSettings tossSettings, TossServices runServices, MoveFile mover)
    : settings(std::move(tossSettings)),
      services(runServices),
      move(mover),
      inboundNames(settings.inboundDir),
      fileechoNames(settings.fileechoDir),
      waitNotices(settings.inboundDir) {
  // Two batches are held at a time; room is left for the lists kept open, the log, the
  // journals and an event's command.
  const std::size_t allowed = platform::raiseOpenFileLimit(2 * kLargestBatch + 512);
  batchLimit = std::clamp<std::size_t>(allowed > 512 ? (allowed - 512) / 2 : 0, 64, kLargestBatch);
}

platform::Status TicProcessor::checkNotReserved(const std::string& fileName) const {
  // The area's own description list, the program's temporary and journal files, and the other
  // .tic files of the inbound are never taken from a remote system: a .tic could otherwise
  // publish another's password.
  if (toUpperAnsi(fileName) == toUpperAnsi(fileNameOf(settings.descFile))) {
    return platform::Status::refused("the name is that of the area's description list");
  }
  if (fileName.compare(0, platform::kOwnPrefix.size(), platform::kOwnPrefix) == 0) {
    return platform::Status::refused("the name is reserved for the program's own files");
  }
  if (endsWithIgnoringCase(fileName, ".tic")) {
    return platform::Status::refused("the name is that of a .tic control file");
  }
  return {};
}

TicProcessor::Refusal TicProcessor::refusal(Toss& toss) {
  // Both values come from a remote system: neither may name anything outside the inbound
  // directory and the area tree, nor a file that the program keeps there. Such a .tic fails
  // like a file that cannot be moved.
  if (!platform::isPlainEntryName(toss.fileName)) {
    return {platform::Status::refused("the name is not a plain file name of the inbound"), true};
  }
  if (platform::Status reserved = checkNotReserved(toss.fileName); !reserved) {
    return {std::move(reserved), true};
  }
  if (platform::Status link = checkLink(toss.tic); !link) {
    // A list that cannot be read now may be readable by the next run.
    return {std::move(link), settings.checks.linksRead.ok()};
  }
  const std::string shownTag = maskControlCharacters(toss.area);
  const bool listed = !services.areaPaths.lookupIgnoringCase(toss.area).empty();
  // An empty tag stands for the Fileecho directory itself.
  if (!listed && !toss.area.empty() && !platform::isPlainEntryName(toss.area)) {
    return {
        platform::Status::refused("the area tag " + shownTag + " is not a plain directory name"),
        true};
  }
  if (!settings.checks.autoCreate && !listed && !platform::isDirectory(folderOf(toss.area))) {
    return {platform::Status::refused("unknown area " + shownTag), true};
  }
  if (const platform::Status located = locate(toss); !located) {
    return {platform::Status::refused("cannot make the area directory " + toss.areaDir + ": " +
                                      located.text())};
  }
  return {};
}

platform::Status TicProcessor::checkLink(const TicFile& tic) const {
  const ArrivalChecks& checks = settings.checks;
  if (!checks.linksNamed || !checks.linksRead) {
    return checks.linksRead;
  }
  // Addresses compare as zone:net/node.point; the password is never repeated anywhere.
  const std::string from = trimSpaces(tic.valueOf("From"), " \t");
  const std::optional<NodeAddress> sender = readNodeAddress(from);
  const Link* link = sender ? checks.links.find(*sender) : nullptr;
  if (link == nullptr) {
    return platform::Status::refused(
        "unknown link " + (from.empty() ? std::string("(no From)") : maskControlCharacters(from)));
  }
  if (!link->password.empty() &&
      !equalsIgnoringCase(trimSpaces(tic.valueOf("Pw"), " \t"), link->password)) {
    return platform::Status::refused("wrong password from " + maskControlCharacters(from));
  }
  const std::string to = trimSpaces(tic.valueOf("To"), " \t");
  if (!to.empty()) {
    const std::optional<NodeAddress> addressee = readNodeAddress(to);
    if (!addressee || std::find(checks.ownAddresses.begin(), checks.ownAddresses.end(),
                                *addressee) == checks.ownAddresses.end()) {
      return platform::Status::refused("addressed to " + maskControlCharacters(to) +
                                       ", not to this node");
    }
  }
  return {};
}

const std::string& TicProcessor::folderOf(const std::string& tag) {
  const auto [folder, first] = folders.try_emplace(tag);
  if (!first) {
    return folder->second;
  }
  // FTN area tags ignore letter case: one echo keeps one folder, whichever case its .tic
  // files write. A folder of exactly the tag wins; else one made in this run, or found in
  // Fileecho, in another case.
  std::string directory = settings.fileechoDir + tag;
  const std::string upper = toUpperAnsi(tag);
  if (!tag.empty() && !platform::isDirectory(directory)) {
    if (const auto made = foldersMade.find(upper); made != foldersMade.end()) {
      directory = made->second;
    } else if (const std::string found = fileechoNames.find(tag);
               !found.empty() && platform::isDirectory(settings.fileechoDir + found)) {
      directory = settings.fileechoDir + found;
    }
  }
  foldersMade.try_emplace(upper, directory);
  folder->second = std::move(directory);
  return folder->second;
}

platform::Status TicProcessor::locate(Toss& toss) {
  toss.areaDir = services.areaPaths.lookupIgnoringCase(toss.area);
  if (toss.areaDir.empty()) {
    toss.areaDir = folderOf(toss.area);
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
  if (const Refusal refused = refusal(toss); !refused.reason) {
    return refuse(toss, refused);
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
  if (settings.checks.verifyFiles) {
    // The file moved is the one that fits the .tic's Size and Crc: under its name, or a copy
    // that the mailer renamed because that name was taken.
    const CheckedSource checked =
        checkSource(toss.source, toss.tic, toss.ticName, toss.fileName, inboundNames);
    if (checked.verdict == CheckedSource::Verdict::differs) {
      return wait(toss, checked.difference);
    }
    toss.source = checked.path;
  }
  platform::Result<platform::FileStamp> found = platform::entryStamp(toss.source);
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
  syncNoted();
  placeEach(0, batch.size(), results);
  // The batch before this one has been flushing while this one was read and placed: it is
  // completed now.
  completeEach(placed, 0, placed.size(), takeFlush(), results);
  startFlush(0, batch.size());
  placed.swap(batch);
  batch.clear();
  batchBytes = 0;
  return results;
}

std::vector<TossResult> TicProcessor::finishTossing() {
  // The last batch is placed and flushed in two halves: the first half is completed while the
  // second is flushing, so that the run waits only for what is left of that flush. A small
  // batch is not worth a flush more.
  std::vector<TossResult> results;
  const std::size_t half = batch.size() >= kSplitBatch ? batch.size() / 2 : batch.size();
  syncNoted();
  placeEach(0, half, results);
  completeEach(placed, 0, placed.size(), takeFlush(), results);
  placed.clear();
  startFlush(0, half);
  placeEach(half, batch.size(), results);
  const bool firstFlushed = takeFlush();
  startFlush(half, batch.size());
  completeEach(batch, 0, half, firstFlushed, results);
  completeEach(batch, half, batch.size(), takeFlush(), results);
  batch.clear();
  batchBytes = 0;
  return results;
}

void TicProcessor::syncNoted() {
  const auto queued = [](const Toss& toss) { return toss.result == TossResult::queued; };
  if (!std::any_of(batch.begin(), batch.end(), queued)) {
    return;
  }
  // Every record of the batch is on the disk before any of its files moves.
  if (const platform::Status synced = services.journal.sync(); !synced) {
    for (Toss& toss : batch) {
      if (toss.result == TossResult::queued) {
        toss.result = fail(toss, "cannot put the run's journal on the disk: " + synced.text());
      }
    }
  }
}

void TicProcessor::placeEach(std::size_t from, std::size_t to, std::vector<TossResult>& results) {
  for (std::size_t i = from; i < to; ++i) {
    Toss& toss = batch[i];
    if (toss.result == TossResult::queued) {
      place(toss);
    }
    if (toss.result != TossResult::tossed && toss.result != TossResult::duplicate) {
      results.push_back(toss.result);
    }
  }
}

void TicProcessor::startFlush(std::size_t from, std::size_t to) {
  // The areas these tosses wrote to, the inbound and TICDir (where .tic files are to go).
  std::vector<std::string> paths = {settings.inboundDir.empty() ? "." : settings.inboundDir};
  if (!settings.ticDir.empty()) {
    paths.push_back(settings.ticDir);
  }
  bool tossed = false;
  for (std::size_t i = from; i < to; ++i) {
    const Toss& toss = batch[i];
    tossed |= toss.result == TossResult::tossed;
    if (toss.result == TossResult::tossed &&
        std::find(paths.begin(), paths.end(), toss.areaDir) == paths.end()) {
      paths.push_back(toss.areaDir);
      paths.push_back(toss.areaDir + platform::kSeparator + settings.descFile);
    }
  }
  if (tossed) {
    services.lists.releaseHolds();  // where a flush opens the lists, it must find them free
    flushing.start(std::move(paths));
  }
}

bool TicProcessor::takeFlush() {
  bool flushed = true;
  for (const platform::SyncFailure& failure : flushing.wait()) {
    services.log.writeWarning("Warning: cannot flush " + failure.path + " to the disk: " +
                              failure.cause.text() + "; the next run finishes its tosses");
    flushed = false;
  }
  return flushed;
}

void TicProcessor::completeEach(std::vector<Toss>& tosses, std::size_t from, std::size_t to,
                                bool flushed, std::vector<TossResult>& results) {
  // The files and entries are on the disk before any .tic goes.
  for (std::size_t i = from; i < to; ++i) {
    Toss& toss = tosses[i];
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
}

void TicProcessor::place(Toss& toss) {
  if (!toss.inPlace) {
    std::uint64_t moved = 0;
    const platform::Status status =
        move(toss.source, toss.destination, &moved, &toss.facts.evidence.source);
    if (status) {
      if (!toss.facts.evidence.known()) {
        services.journal.noteMoved(toss.ticName).ignore();  // the file's identity cannot tell
      }
      toss.size = moved;
    } else if (toss.result = placedAfterAll(toss, status); toss.result != TossResult::tossed) {
      return;
    }
  }
  movedAny = true;
  tossedHere.insert(std::hash<std::string>{}(toss.destination));
  const std::string listPath = toss.areaDir + platform::kSeparator + settings.descFile;
  if (const platform::Status listed = services.lists.update(
          listPath, toss.fileName, toss.facts.description, longDescription(toss.tic));
      !listed) {
    leaveUnfinished(toss,
                    "update the description list " + listPath + " for " +
                        maskControlCharacters(toss.fileName) + " of " +
                        maskControlCharacters(toss.ticName),
                    listed);
    return;
  }
  dropOtherCases(toss);
  toss.result = TossResult::tossed;
}

void TicProcessor::leaveUnfinished(Toss& toss, const std::string& what,
                                   const platform::Status& cause) {
  services.log.writeWarning("Warning: cannot " + what + ": " + cause.text() +
                            "; the next run tries again");
  services.journal.noteUnfinished(toss.facts);
  toss.result = TossResult::failed;
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

void TicProcessor::complete(Toss& toss) {
  // Older files go once the new one and its entry are on the disk, and before the .tic goes:
  // a toss cut short in between is tossed again, which finds what is left of them.
  if (const platform::Status replaced = replaceOlder(toss); !replaced) {
    leaveUnfinished(
        toss,
        "replace older files in " + toss.areaDir + " for " + maskControlCharacters(toss.ticName),
        replaced);
    return;
  }
  // Events find the .tic where it is kept (TICDir), or gone, as a tosser's events expect.
  disposeTic(toss);
  services.log.writeMove(toss.fileName, toss.facts.area, toss.facts.description);
  runEvents(toss.area, toss.fileName, toss.facts);
  services.announcer.addFile(AnnounceEntry{toss.facts.area, toss.fileName, toss.facts.description,
                                           toss.facts.origin, toss.destination, toss.size});
}

void TicProcessor::runEvents(const std::string& area, const std::string& fileName,
                             const JournalEntry& facts) {
  if (services.events.list().empty()) {
    services.journal.noteEventsRun(facts.ticName, TossJournal::Events::none).ignore();
    return;
  }
  // Once a stop is asked for, the tosses in hand are completed and announced, and their events
  // left for the next run. A stop sent to the whole process group may have ended a command
  // too: the next run then carries its events out again, as events run at least once.
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
  services.journal.noteEventsRun(facts.ticName).ignore();
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
  services.journal.noteDisposalPending(toss.facts).ignore();
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

TossResult TicProcessor::wait(const Toss& toss, const std::string& difference) {
  const std::string fileName = maskControlCharacters(toss.fileName);
  services.log.writeLine(loadMessage(msg::kCantMove) + " " + fileName);
  // Waiting for a file still on its way is the normal case: it is only worth a word on
  // standard error once it has waited for more than a day, and then once a day. A file that
  // differs from its .tic waits the same way, for a good copy to arrive.
  const std::string line =
      "Warning: " + maskControlCharacters(toss.ticName) + " waits for " + fileName +
      (difference.empty() ? ", which has not arrived in the inbound" : ": " + difference);
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

TossResult TicProcessor::refuse(Toss& toss, const Refusal& refused) {
  const std::string& badTicDir = settings.checks.badTicDir;
  if (!refused.forGood || badTicDir.empty()) {
    return fail(toss, refused.reason.text());
  }
  const std::string ticName = maskControlCharacters(toss.ticName);
  services.log.writeLine(loadMessage(msg::kCantMove) + " " + maskControlCharacters(toss.fileName));
  if (!badTicDirMade) {
    badTicDirMade = makeDirectoryPath(badTicDir);
  }
  // A free name in BadTicDir: the name itself, else the name with ".1", ".2", ... added.
  const auto freeName = [&badTicDir](const std::string& name) {
    std::string path = badTicDir + name;
    for (int number = 1; platform::exists(path) && number < 10000; ++number) {
      path = badTicDir + name + "." + std::to_string(number);
    }
    return path;
  };
  // The file goes first, so that a run cut short in between leaves the .tic to be refused
  // again, never a file without its .tic. Only a plain file of the inbound goes, and only when
  // no other .tic waits for it; a name that the name rules refuse is never touched.
  if (platform::isPlainEntryName(toss.fileName) && checkNotReserved(toss.fileName).ok()) {
    std::string source = settings.inboundDir + toss.fileName;
    if (!platform::exists(source)) {
      if (const std::string found = inboundNames.find(toss.fileName); !found.empty()) {
        source = settings.inboundDir + found;
      }
    }
    if (platform::checkRegularFile(source).ok() &&
        !namedByOtherTic(toss.ticName, fileNameOf(source))) {
      if (const platform::Status moved =
              move(source, freeName(fileNameOf(source)), nullptr, nullptr);
          !moved) {
        services.log.writeWarning("Warning: " + ticName + " refused (" + refused.reason.text() +
                                  "); cannot move " + maskControlCharacters(source) + " to " +
                                  badTicDir + ": " + moved.text() + "; both stay");
        return TossResult::failed;
      }
    }
  }
  if (const platform::Status moved = toss.tic.dispose(freeName(toss.ticName)); !moved) {
    services.log.writeWarning("Warning: " + ticName + " refused (" + refused.reason.text() +
                              "); cannot move it to " + badTicDir + ": " + moved.text() +
                              "; it stays");
    return TossResult::failed;
  }
  services.log.writeWarning("Warning: " + ticName + " refused (" + refused.reason.text() +
                            "); moved to " + badTicDir);
  return TossResult::failed;
}

bool TicProcessor::namedByOtherTic(const std::string& ticName, const std::string& fileName) {
  // The inbound's .tic files are read once, at the first refusal that needs them: a run with
  // many refusals reads the inbound once, not once for each.
  if (!ticsByFile) {
    ticsByFile.emplace();
    for (const std::vector<Toss>* tosses : {&batch, &placed}) {
      for (const Toss& toss : *tosses) {
        (*ticsByFile)[toUpperAnsi(toss.fileName)].push_back(toss.ticName);
      }
    }
    platform::DirectorySearch search(settings.inboundDir);
    std::string entry;
    while (search.next(entry)) {
      TicFile other;
      if (!endsWithIgnoringCase(entry, ".tic") || entry == ticName) {
        continue;
      }
      if (!other.read(settings.inboundDir + entry)) {
        // One held by this run is in its batches; one held by another run names what it may:
        // nothing is moved away from under it.
        heldElsewhere =
            heldElsewhere ||
            (endsWithIgnoringCase(entry, ".tic") && platform::exists(settings.inboundDir + entry) &&
             !std::any_of(batch.begin(), batch.end(),
                          [&entry](const Toss& toss) { return toss.ticName == entry; }) &&
             !std::any_of(placed.begin(), placed.end(),
                          [&entry](const Toss& toss) { return toss.ticName == entry; }));
        continue;
      }
      (*ticsByFile)[toUpperAnsi(other.valueOf("FILE"))].push_back(entry);
    }
  }
  if (heldElsewhere) {
    return true;
  }
  const auto found = ticsByFile->find(toUpperAnsi(fileName));
  return found != ticsByFile->end() &&
         std::any_of(found->second.begin(), found->second.end(),
                     [&ticName](const std::string& other) { return other != ticName; });
}

platform::Status TicProcessor::replaceOlder(const Toss& toss) {
  if (!settings.checks.replaces) {
    return {};
  }
  std::vector<std::string> masks;
  for (const std::string& value : toss.tic.valuesOf("Replaces")) {
    if (std::string mask = trimSpaces(value, " \t"); !mask.empty()) {
      masks.push_back(std::move(mask));
    }
  }
  if (masks.empty()) {
    return {};
  }
  // Only regular files of the area directory itself, never the file just tossed, the list,
  // or the program's own hidden files.
  const std::string listName = fileNameOf(settings.descFile);
  std::vector<std::string> older;
  platform::DirectorySearch search(toss.areaDir);
  std::string entry;
  while (search.next(entry)) {
    if (equalsIgnoringCase(entry, toss.fileName) || equalsIgnoringCase(entry, listName) ||
        entry.compare(0, platform::kOwnPrefix.size(), platform::kOwnPrefix) == 0) {
      continue;
    }
    const bool named = std::any_of(masks.begin(), masks.end(), [&entry](const std::string& mask) {
      return matchesWildcard(mask, entry);
    });
    if (named && platform::checkRegularFile(toss.areaDir + platform::kSeparator + entry).ok()) {
      older.push_back(entry);
    }
  }
  if (older.empty()) {
    return {};
  }
  std::sort(older.begin(), older.end());
  // The entries go first, in one rewrite of the list; a file is deleted only once it is no
  // longer listed, so a run cut short leaves files without entries, never entries without
  // files, and the toss done again deletes what is left.
  const std::string listPath = toss.areaDir + platform::kSeparator + settings.descFile;
  if (platform::Status removed = services.lists.removeEntries(listPath, older); !removed) {
    return removed;
  }
  const std::string shownArea = maskControlCharacters(toss.area);
  for (const std::string& name : older) {
    const std::string path = toss.areaDir + platform::kSeparator + name;
    if (const platform::Status deleted = platform::deleteFile(path); !deleted) {
      services.log.writeWarning("Warning: cannot delete " + maskControlCharacters(path) +
                                ", which " + maskControlCharacters(toss.ticName) +
                                " replaces: " + deleted.text());
      continue;
    }
    services.log.writeLine("Replaced " + maskControlCharacters(name) + " in " + shownArea);
  }
  // The deletions are on the disk before the .tic goes: after a power cut there would be no
  // toss left to finish them.
  return platform::syncDirectory(toss.areaDir);
}

std::vector<std::string> TicProcessor::longDescription(const TicFile& tic) const {
  std::vector<std::string> lines;
  if (!settings.checks.longDesc) {
    return lines;
  }
  std::vector<std::string> written = tic.valuesOf("LDesc");
  if (written.empty()) {
    written = tic.valuesOf("Desc");
    if (!written.empty()) {
      written.erase(written.begin());
    }
  }
  for (const std::string& line : written) {
    if (std::string cleaned = services.lists.clean(line); !cleaned.empty()) {
      lines.push_back(std::move(cleaned));
    }
  }
  return lines;
}
