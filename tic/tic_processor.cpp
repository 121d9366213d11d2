#include "tic/tic_processor.h"

#include <algorithm>
#include <functional>

#include "platform/directory.h"
#include "platform/file_system.h"
#include "platform/system.h"
#include "res/messages.h"
#include "tic/tic_file.h"
#include "tic/verify.h"
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
      fileechoNames(settings.fileechoDir),
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

TicProcessor::Refusal TicProcessor::refusal(const TicFile& tic, Toss& toss) {
  // Both values come from a remote system: neither may name anything outside the inbound
  // directory and the area tree, nor a file that the program keeps there. Such a .tic fails
  // like a file that cannot be moved.
  if (!isPlainFileName(toss.fileName)) {
    return {"the name is not a plain file name of the inbound", true};
  }
  if (std::string reason = reservedNameReason(toss.fileName); !reason.empty()) {
    return {std::move(reason), true};
  }
  if (std::string reason = linkRefusal(tic); !reason.empty()) {
    // A list that cannot be read now may be readable by the next run.
    return {std::move(reason), settings.checks.linksUnreadable.empty()};
  }
  const std::string shownTag = maskControlCharacters(toss.area);
  const bool listed = !services.areaPaths.lookupIgnoringCase(toss.area).empty();
  if (!listed && !isSafeAreaTag(toss.area)) {
    return {"the area tag " + shownTag + " is not a plain directory name", true};
  }
  if (!settings.checks.autoCreate && !listed && !platform::isDirectory(folderOf(toss.area))) {
    return {"unknown area " + shownTag, true};
  }
  if (const platform::Status located = locate(toss); !located) {
    return {"cannot make the area directory " + toss.areaDir + ": " + located.text()};
  }
  return {};
}

std::string TicProcessor::linkRefusal(const TicFile& tic) const {
  const ArrivalChecks& checks = settings.checks;
  if (!checks.linksNamed) {
    return {};
  }
  if (!checks.linksUnreadable.empty()) {
    return checks.linksUnreadable;
  }
  // Addresses compare as zone:net/node.point; the password is never repeated anywhere.
  const std::string from = trimSpaces(tic.valueOf("From"), " \t");
  const std::optional<NodeAddress> sender = readNodeAddress(from);
  const Link* link = sender ? checks.links.find(*sender) : nullptr;
  if (link == nullptr) {
    return "unknown link " +
           (from.empty() ? std::string("(no From)") : maskControlCharacters(from));
  }
  if (!link->password.empty() &&
      !equalsIgnoringCase(trimSpaces(tic.valueOf("Pw"), " \t"), link->password)) {
    return "wrong password from " + maskControlCharacters(from);
  }
  const std::string to = trimSpaces(tic.valueOf("To"), " \t");
  if (!to.empty()) {
    const std::optional<NodeAddress> addressee = readNodeAddress(to);
    if (!addressee || std::find(checks.ownAddresses.begin(), checks.ownAddresses.end(),
                                *addressee) == checks.ownAddresses.end()) {
      return "addressed to " + maskControlCharacters(to) + ", not to this node";
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

  if (const Refusal refused = refusal(tic, toss); !refused.reason.empty()) {
    return refuse(tic, toss, refused);
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
  if (settings.checks.verifyFiles) {
    // The file moved is the one that fits the .tic's Size and Crc: under its name, or a copy
    // that the mailer renamed because that name was taken.
    const CheckedSource checked =
        checkSource(source, tic, toss.ticName, toss.fileName, inboundNames);
    if (checked.verdict == CheckedSource::Verdict::differs) {
      services.journal.noteNotTossed(toss.ticName);
      return wait(tic, toss, checked.difference);
    }
    source = checked.path;
  }
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
  if (const platform::Status listed =
          services.lists.update(listPath, toss.fileName, cleaned, longDescription(tic));
      !listed) {
    services.log.writeWarning("Warning: cannot update the description list " + listPath + " for " +
                              maskControlCharacters(toss.fileName) + " of " +
                              maskControlCharacters(toss.ticName) + ": " + listed.text() +
                              "; the next run tries again");
    services.journal.noteUnfinished(toss.ticName, toss.destination);
    return TossResult::failed;
  }
  // Older files go once the new one is listed and before the .tic does: a toss cut short in
  // between is tossed again, which finds what is left of them.
  if (const platform::Status replaced = replaceOlder(tic, toss); !replaced) {
    services.log.writeWarning("Warning: cannot replace older files in " + toss.areaDir + " for " +
                              maskControlCharacters(toss.ticName) + ": " + replaced.text() +
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
    if (services.events.runEvents(toss.area, toss.fileName, toss.destination) ||
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

TossResult TicProcessor::wait(const TicFile& tic, const Toss& toss, const std::string& difference) {
  const std::string fileName = maskControlCharacters(toss.fileName);
  services.log.writeLine(loadMessage(msg::kCantMove) + " " + fileName);
  // Waiting for a file still on its way is the normal case: it is only worth a word on
  // standard error once it has waited for more than a day, and then once a day. A file that
  // differs from its .tic waits the same way, for a good copy to arrive.
  const std::string line =
      "Warning: " + maskControlCharacters(toss.ticName) + " waits for " + fileName +
      (difference.empty() ? ", which has not arrived in the inbound" : ": " + difference);
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

TossResult TicProcessor::refuse(TicFile& tic, const Toss& toss, const Refusal& refused) {
  const std::string& badTicDir = settings.checks.badTicDir;
  if (!refused.forGood || badTicDir.empty()) {
    return fail(toss, refused.reason);
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
  if (isPlainFileName(toss.fileName) && reservedNameReason(toss.fileName).empty()) {
    std::string source = settings.inboundDir + toss.fileName;
    if (!platform::exists(source)) {
      if (const std::string found = inboundNames.find(toss.fileName); !found.empty()) {
        source = settings.inboundDir + found;
      }
    }
    if (platform::checkRegularFile(source).ok() &&
        !namedByOtherTic(toss.ticName, fileNameOf(source))) {
      if (const platform::Status moved = move(source, freeName(fileNameOf(source)), nullptr);
          !moved) {
        services.log.writeWarning("Warning: " + ticName + " refused (" + refused.reason +
                                  "); cannot move " + maskControlCharacters(source) + " to " +
                                  badTicDir + ": " + moved.text() + "; both stay");
        return TossResult::failed;
      }
    }
  }
  if (const platform::Status moved = tic.dispose(freeName(toss.ticName)); !moved) {
    services.log.writeWarning("Warning: " + ticName + " refused (" + refused.reason +
                              "); cannot move it to " + badTicDir + ": " + moved.text() +
                              "; it stays");
    return TossResult::failed;
  }
  services.log.writeWarning("Warning: " + ticName + " refused (" + refused.reason + "); moved to " +
                            badTicDir);
  return TossResult::failed;
}

bool TicProcessor::namedByOtherTic(const std::string& ticName, const std::string& fileName) const {
  platform::DirectorySearch search(settings.inboundDir);
  std::string entry;
  while (search.next(entry)) {
    if (!endsWithIgnoringCase(entry, ".tic") || entry == ticName) {
      continue;
    }
    TicFile other;
    if (!other.read(settings.inboundDir + entry)) {
      // Held by another run: taken as naming it, so that nothing it needs is moved.
      if (platform::exists(settings.inboundDir + entry)) {
        return true;
      }
      continue;
    }
    if (equalsIgnoringCase(other.valueOf("FILE"), fileName)) {
      return true;
    }
  }
  return false;
}

platform::Status TicProcessor::replaceOlder(const TicFile& tic, const Toss& toss) {
  if (!settings.checks.replaces) {
    return {};
  }
  std::vector<std::string> masks;
  for (const std::string& value : tic.valuesOf("Replaces")) {
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
        entry.compare(0, TossJournal::kOwnPrefix.size(), TossJournal::kOwnPrefix) == 0) {
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
  return {};
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
