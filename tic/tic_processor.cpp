#include "tic/tic_processor.h"

#include <functional>

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
      waitNotices(settings.inboundDir) {}

std::string TicProcessor::reservedNameReason(const std::string& fileName) const {
  // The area's own description list, the program's temporary and journal files, and the other
  // .tic files of the inbound are never taken from a remote system: a .tic could otherwise
  // publish another's password.
  if (toUpperAnsi(fileName) == toUpperAnsi(fileNameOf(settings.descFile))) {
    return "the name is that of the area's description list";
  }
  if (fileName.compare(0, TossJournal::kOwnPrefix.size(), TossJournal::kOwnPrefix) == 0) {
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

TossResult TicProcessor::processTic(const std::string& ticPath) {
  Toss toss;
  toss.ticName = fileNameOf(ticPath);
  // Its file is tossed already; only the .tic is left, and this run has tried it.
  if (services.journal.isDisposalPending(toss.ticName)) {
    return TossResult::passedOver;
  }
  TicFile tic;
  if (!tic.read(ticPath)) {
    return TossResult::passedOver;
  }
  toss.area = tic.valueOf("AREA");
  toss.description = tic.valueOf("DESC");
  toss.fileName = tic.valueOf("FILE");

  if (const std::string refused = refusal(toss); !refused.empty()) {
    return fail(toss, refused);
  }
  std::optional<std::uint64_t> size;
  const TossResult placed = place(tic, toss, size);
  if (placed == TossResult::tossed) {
    return finishToss(tic, toss, size);
  }
  if (placed == TossResult::duplicate) {
    disposeTic(tic, toss);
    services.log.writeLine("Duplicate " + maskControlCharacters(toss.ticName) + ": " +
                           maskControlCharacters(toss.fileName) + " was tossed in this run");
  }
  return placed;
}

TossResult TicProcessor::place(const TicFile& tic, const Toss& toss,
                               std::optional<std::uint64_t>& size) {
  const JournalEntry entry{toss.ticName, toss.destination, maskControlCharacters(toss.area),
                           maskControlCharacters(tic.valueOf("Origin")),
                           services.lists.clean(toss.description)};
  if (const platform::Status noted = services.journal.noteToss(entry); !noted) {
    return fail(toss, "cannot note the toss in the run's journal: " + noted.text());
  }
  std::string source = settings.inboundDir + toss.fileName;
  std::uint64_t moved = 0;
  platform::Status status = move(source, toss.destination, &moved);
  // Names in a .tic often differ in letter case from the file that arrived (FOO.ZIP for
  // foo.zip); a case-sensitive file system gets the one entry that matches ignoring case.
  if (!status && !platform::exists(source) && tic.stillInPlace()) {
    const std::string found = inboundNames.find(toss.fileName);
    if (!found.empty() && found != toss.fileName) {
      source = settings.inboundDir + found;
      status = move(source, toss.destination, &moved);
    }
  }
  if (status) {
    services.journal.noteMoved(toss.ticName);
    size = moved;
    return TossResult::tossed;
  }
  const TossResult result = placedBefore(tic, toss, source, status);
  if (result != TossResult::tossed) {
    services.journal.noteNotTossed(toss.ticName);
  }
  return result;
}

TossResult TicProcessor::placedBefore(const TicFile& tic, const Toss& toss,
                                      const std::string& source, const platform::Status& moved) {
  // A .tic that another run has tossed and moved to TICDir since this one read it describes a
  // file that is in place already: it is no toss of this run's.
  if (!tic.stillInPlace()) {
    return TossResult::passedOver;
  }
  if (platform::exists(source)) {
    return fail(toss, "cannot move " + source + " to " + toss.destination + ": " + moved.text());
  }
  // A run that died after moving the file left its .tic behind: the file is already in place,
  // and the rest of the toss is done now. The file there counts as this toss's only when the
  // journal recorded the move as done or, after a power loss that the journal need not
  // survive, when it is the file the .tic describes: a file of the same name from an earlier
  // toss is not taken for the new one.
  if (services.journal.moveRecorded(toss.ticName, toss.destination) &&
      platform::exists(toss.destination)) {
    return TossResult::tossed;
  }
  if (isDescribedFile(tic, toss.destination)) {
    return tossedHere.count(std::hash<std::string>{}(toss.destination)) != 0 ? TossResult::duplicate
                                                                             : TossResult::tossed;
  }
  return wait(tic, toss);
}

TossResult TicProcessor::finishToss(TicFile& tic, const Toss& toss,
                                    std::optional<std::uint64_t> size) {
  movedAny = true;
  tossedHere.insert(std::hash<std::string>{}(toss.destination));
  const std::string shownArea = maskControlCharacters(toss.area);
  const std::string cleaned = services.lists.clean(toss.description);
  // The entry is in the list before the .tic goes, so that a toss cut short anywhere is
  // finished by the next run.
  const std::string listPath = toss.areaDir + platform::kSeparator + settings.descFile;
  if (const platform::Status listed = services.lists.update(listPath, toss.fileName, cleaned);
      !listed) {
    services.log.writeWarning("Warning: cannot update the description list " + listPath + " for " +
                              maskControlCharacters(toss.fileName) + " of " +
                              maskControlCharacters(toss.ticName) + ": " + listed.text() +
                              "; the next run tries again");
    services.journal.noteUnfinished(toss.ticName, toss.destination);
    return TossResult::failed;
  }
  // Events find the .tic where it is kept (TICDir), or gone, as a tosser's events expect.
  disposeTic(tic, toss);
  services.log.writeMove(toss.fileName, shownArea, cleaned);
  if (!services.events.list().empty()) {
    services.lists.releaseHolds();  // an event's command may read or change the lists
    // A stop sent to the whole process group may have ended a command too: the next run then
    // carries the events out again, as events run at least once.
    if (!services.events.runEvents(toss.area, toss.fileName, toss.destination).interrupted ||
        platform::stopRequested() == 0) {
      services.journal.noteEventsRun(toss.ticName);
    } else {
      services.journal.noteEventsOwed(toss.ticName);
    }
  }
  services.announcer.addFile(AnnounceEntry{shownArea, toss.fileName, cleaned,
                                           maskControlCharacters(tic.valueOf("Origin")),
                                           toss.destination, size});
  return TossResult::tossed;
}

void TicProcessor::disposeTic(TicFile& tic, const Toss& toss) {
  const std::string kept = settings.ticDir.empty() ? std::string() : settings.ticDir + toss.ticName;
  const platform::Status disposed = tic.dispose(kept);
  if (disposed) {
    services.journal.noteDone(toss.ticName);
    return;
  }
  const std::string what =
      kept.empty() ? "cannot delete " + tic.path() : "cannot move " + tic.path() + " to " + kept;
  services.log.writeWarning("Warning: " + maskControlCharacters(what) + ": " + disposed.text() +
                            "; " + maskControlCharacters(toss.fileName) +
                            " is tossed, and the next run only disposes of the .tic");
  services.journal.noteDisposalPending(toss.ticName);
}

void TicProcessor::disposeLeftover(const std::string& ticPath) {
  TicFile tic;
  if (!tic.read(ticPath)) {
    return;
  }
  Toss toss;
  toss.ticName = fileNameOf(ticPath);
  toss.fileName = tic.valueOf("FILE");
  disposeTic(tic, toss);
}

TossResult TicProcessor::fail(const Toss& toss, const std::string& cause) {
  const std::string fileName = maskControlCharacters(toss.fileName);
  services.log.writeLine(loadMessage(msg::kCantMove) + " " + fileName);
  services.log.writeWarning("Warning: cannot toss " + fileName + " of " +
                            maskControlCharacters(toss.ticName) + ": " + cause);
  return TossResult::failed;
}

TossResult TicProcessor::wait(const TicFile& tic, const Toss& toss) {
  const std::string fileName = maskControlCharacters(toss.fileName);
  services.log.writeLine(loadMessage(msg::kCantMove) + " " + fileName);
  // Waiting for a file still on its way is the normal case: it is only worth a word on
  // standard error once it has waited for more than a day, and then once a day.
  const std::string line = "Warning: " + maskControlCharacters(toss.ticName) + " waits for " +
                           fileName + ", which has not arrived in the inbound";
  if (waitNotices.due(toss.ticName, tic.modifiedTime(), platform::now())) {
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
