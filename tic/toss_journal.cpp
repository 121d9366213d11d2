#include "tic/toss_journal.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <utility>

#include "platform/directory.h"
#include "platform/durability.h"
#include "platform/file_system.h"
#include "tic/wait_notices.h"

namespace {

constexpr std::string_view kJournalStem = ".quenfar-journal-";

// The kinds of record. A toss's record holds its whole entry; the others name its .tic and
// add to what is known of the latest toss of that name in the same journal.
constexpr char kToss = 'T';             // a toss, before its file is moved
constexpr char kMoved = 'V';            // its file is moved
constexpr char kDisposalPending = 'D';  // tossed, the .tic still to go
constexpr char kEventsRun = 'E';        // its events are carried out
constexpr char kAnnounced = 'S';        // its announcement is stored
constexpr char kStaged = 'A';           // the message is complete under this temporary name
constexpr char kNotStored = 'X';        // the staged message will not be stored

// A toss's record has this many fields; the others have one, the .tic name (older runs gave
// them five).
constexpr std::size_t kMaxFields = 6;

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// The evidence as seven numbers: the .tic's device, inode and time, the file's device, inode,
// size and time.
std::string evidenceText(const TossEvidence& evidence) {
  std::string text;
  for (const std::int64_t number :
       {static_cast<std::int64_t>(evidence.tic.device),
        static_cast<std::int64_t>(evidence.tic.inode), evidence.tic.modified,
        static_cast<std::int64_t>(evidence.source.device),
        static_cast<std::int64_t>(evidence.source.inode),
        static_cast<std::int64_t>(evidence.source.size), evidence.source.modified}) {
    text += std::to_string(number) + ' ';
  }
  return text;
}

TossEvidence evidenceOf(std::string_view text) {
  std::int64_t numbers[7] = {};
  for (std::size_t i = 0, at = 0; i < std::size(numbers) && at < text.size(); ++i) {
    at = static_cast<std::size_t>(
             std::from_chars(text.data() + at, text.data() + text.size(), numbers[i]).ptr -
             text.data()) +
         1;
  }
  const auto count = [](std::int64_t number) { return static_cast<std::uint64_t>(number); };
  TossEvidence evidence;
  evidence.tic = {count(numbers[0]), count(numbers[1]), 0, numbers[2], 0, 0};
  evidence.source = {count(numbers[3]), count(numbers[4]), count(numbers[5]), numbers[6], 0, 0};
  return evidence;
}

// One record: a kind letter, the lengths of its fields, a line end, then the fields. Lengths
// rather than separators, because a .tic name may hold any character.
std::string record(char kind, const std::string_view* fields, std::size_t count) {
  std::string text(1, kind);
  for (std::size_t i = 0; i < count; ++i) {
    text += ' ' + std::to_string(fields[i].size());
  }
  text += '\n';
  for (std::size_t i = 0; i < count; ++i) {
    text += fields[i];
  }
  return text;
}

// Reads the record at `position` into `entry` and moves past it. Nothing at the end, or for a
// record that a dying run did not finish writing.
char nextRecord(std::string_view text, std::size_t& position, JournalEntry& entry) {
  const std::size_t lineEnd = text.find('\n', position);
  if (lineEnd == std::string_view::npos || lineEnd == position) {
    return 0;
  }
  std::size_t lengths[kMaxFields] = {};
  std::size_t count = 0;
  std::size_t total = 0;
  const char* at = text.data() + position + 1;
  const char* const end = text.data() + lineEnd;
  while (at < end) {
    if (*at != ' ' || count == kMaxFields) {
      return 0;
    }
    const auto [next, error] = std::from_chars(at + 1, end, lengths[count]);
    if (error != std::errc() || lengths[count] > text.size()) {
      return 0;
    }
    total += lengths[count++];
    at = next;
  }
  std::size_t start = lineEnd + 1;
  if (count == 0 || total > text.size() - start) {
    return 0;
  }
  std::string_view fields[kMaxFields];
  for (std::size_t i = 0; i < count; ++i) {
    fields[i] = text.substr(start, lengths[i]);
    start += lengths[i];
  }
  entry = JournalEntry{std::string(fields[0]), std::string(fields[1]), std::string(fields[2]),
                       std::string(fields[3]), std::string(fields[4]), evidenceOf(fields[5])};
  const char kind = text[position];
  position = start;
  return kind;
}

}  // namespace

TossJournal::TossJournal(const std::string& directory, const std::vector<std::string>& sweep)
    : inbound(directory) {
  // Journals are adopted before this run's own exists, so it never adopts itself.
  std::vector<std::string> found;
  platform::DirectorySearch search(directory);
  std::string name;
  while (search.next(name)) {
    if (startsWith(name, kJournalStem)) {
      found.push_back(directory + name);
    }
  }
  std::map<std::string, Toss> tosses;
  for (const std::string& path : found) {
    platform::File journal = platform::File::open(path, platform::OpenMode::readExisting);
    // A journal that its run still holds is alive; one that another run adopted first is
    // held by that run, or gone. One that cannot be read stays for a later run.
    if (!journal.isOpen() || !journal.isAt(path)) {
      continue;
    }
    if (const platform::Result<std::string> text = journal.readAll()) {
      readJournal(*text, tosses);
      adopted.push_back(std::move(journal));
      adoptedPaths.push_back(path);
    }
  }
  own = platform::File::createTemporary(directory, ownPath, kJournalStem);
  if (!adopted.empty()) {
    recover(tosses);
    clearDeadRunsFiles(sweep);
  }
}

void TossJournal::readJournal(std::string_view text, std::map<std::string, Toss>& tosses) {
  // Records of one journal, keyed by the whole toss: a .tic name comes back over time.
  std::map<std::string, Toss> read;
  std::map<std::string, std::string> latest;  // .tic name to the key of its latest toss
  std::string staged;
  bool notStored = false;
  std::size_t position = 0;
  JournalEntry entry;
  while (const char kind = nextRecord(text, position, entry)) {
    if (kind == kStaged || kind == kNotStored) {
      staged = kind == kStaged ? entry.ticName : staged;
      notStored = kind == kNotStored;
    } else if (kind == kToss) {
      const std::string key =
          entry.ticName + '\0' + entry.destination + '\0' + evidenceText(entry.evidence);
      read[key].entry = entry;
      read[key].order = read[key].order == 0 ? order++ : read[key].order;
      latest[entry.ticName] = key;
    } else if (const auto key = latest.find(entry.ticName); key != latest.end()) {
      Toss& toss = read[key->second];
      // U: a journal that the previous release left (moved, its list entry still to come).
      toss.moved |= kind == kMoved || kind == kDisposalPending || kind == 'U';
      toss.disposalPending |= kind == kDisposalPending;
      toss.eventsRun |= kind == kEventsRun;
      toss.announced |= kind == kAnnounced;
    }
  }
  // A message whose temporary file is gone has its name: what the journal noted before it is
  // announced. One still there stays until this journal goes, so that it keeps saying so.
  const bool stored = !staged.empty() && !notStored && !platform::exists(staged);
  if (!staged.empty() && !stored) {
    unstored.push_back(staged);
  }
  // The same toss may be in two journals: a dead run's, and the copy that a run which adopted
  // it and died too made of it. What either tells holds.
  for (const auto& [key, toss] : read) {
    sweepDirectories.push_back(platform::directoryOf(toss.entry.destination));
    Toss& merged = tosses[key];
    merged.order = merged.order == 0 ? toss.order : std::min(merged.order, toss.order);
    merged.entry = toss.entry;
    merged.moved |= toss.moved;
    merged.disposalPending |= toss.disposalPending;
    merged.eventsRun |= toss.eventsRun;
    merged.announced |= toss.announced || stored;
  }
}

void TossJournal::recover(std::map<std::string, Toss>& tosses) {
  std::vector<Toss*> ordered;
  for (auto& [key, toss] : tosses) {
    ordered.push_back(&toss);
  }
  std::sort(ordered.begin(), ordered.end(),
            [](const Toss* a, const Toss* b) { return a->order < b->order; });
  for (Toss* toss : ordered) {
    const JournalEntry& entry = toss->entry;
    const auto ticFound = platform::entryStamp(inbound + entry.ticName);
    const auto fileFound = platform::entryStamp(entry.destination);
    const bool ticThere = ticFound && entry.evidence.isTic(*ticFound);
    const bool placed =
        fileFound &&
        (entry.evidence.known() ? entry.evidence.isMovedFile(*fileFound) : toss->moved);
    if (!placed) {
      continue;  // nothing was moved, or what was moved is gone: nothing is owed
    }
    toss->moved = true;
    toss->unfinished = ticThere && !toss->disposalPending;
    toss->disposalPending = ticThere && toss->disposalPending;
    toss->eventsOwed = !toss->eventsRun && !toss->unfinished;
    if (toss->unfinished) {
      toFinish.push_back(entry.ticName);
    } else if (toss->disposalPending) {
      toDispose.push_back(entry.ticName);
    }
    if (toss->eventsOwed) {
      toRunEvents.push_back(entry);
    }
    if (!toss->announced && !toss->unfinished) {
      toAnnounce.push_back(entry);
    }
    if (toss->owesSomething() || !toss->announced) {
      // This run's journal stands for the dead runs' from here on: a toss to announce is
      // noted before the message that announces it.
      // What is still owed is written again, whole, when the run finishes.
      writeToss(*toss, toss->announced).ignore();
    }
    if (toss->owesSomething()) {
      owed[entry.ticName] = *toss;
    }
  }
  // Carried and on the disk before anything of it is done again.
  sync().ignore();
}

platform::Status TossJournal::write(char kind, const JournalEntry& entry) {
  if (!own.isOpen()) {
    return platform::Status::refused("the run has no journal");
  }
  const std::string evidence = evidenceText(entry.evidence);
  const std::string_view fields[] = {entry.ticName, entry.destination, entry.area,
                                     entry.origin,  entry.description, evidence};
  pending += record(kind, fields, kind == kToss ? kMaxFields : 1);
  // A batch's tosses are written together when the batch is put on the disk: no file of
  // theirs moves before that. Any other record goes out at once, behind them, in order.
  return kind == kToss ? platform::Status() : writePending();
}

platform::Status TossJournal::writePending() {
  if (pending.empty()) {
    return {};
  }
  const platform::Status written = own.write(pending);
  if (written) {
    length += pending.size();
    pending.clear();
  } else {
    // Records cut short (a full disk) are taken back, so that the journal still reads whole,
    // and written with the next ones; the batch's sync fails meanwhile, so no file of theirs
    // moves.
    own.truncateTo(length).ignore();
  }
  return written;
}

platform::Status TossJournal::writeName(char kind, const std::string& ticName) {
  JournalEntry entry;
  entry.ticName = ticName;
  return write(kind, entry);
}

platform::Status TossJournal::writeToss(const Toss& toss, bool announced) {
  platform::Status written = write(kToss, toss.entry);
  const auto then = [&](bool wanted, char kind) {
    written = written && wanted ? writeName(kind, toss.entry.ticName) : written;
  };
  then(true, toss.disposalPending ? kDisposalPending : kMoved);
  then(!toss.eventsOwed && !toss.unfinished, kEventsRun);
  then(announced, kAnnounced);
  return written;
}

platform::Status TossJournal::noteToss(const JournalEntry& entry) {
  return write(kToss, entry);
}

platform::Status TossJournal::sync() {
  if (!own.isOpen()) {
    return platform::Status::refused("the run has no journal");
  }
  if (platform::Status written = writePending(); !written) {
    return written;
  }
  if (platform::Status synced = own.sync(); !synced) {
    return synced;
  }
  // The journal's name too, once: a record on the disk is no use in a file without a name.
  platform::Status named = nameSynced ? platform::Status() : platform::syncDirectory(inbound);
  nameSynced = named.ok();
  return named;
}

platform::Status TossJournal::noteMoved(const std::string& ticName) {
  return writeName(kMoved, ticName);
}

TossJournal::Toss& TossJournal::owedToss(const JournalEntry& entry) {
  Toss& toss = owed[entry.ticName];
  if (toss.entry.ticName.empty()) {
    toss.entry = entry;
    toss.moved = true;
  }
  return toss;
}

void TossJournal::forgetIfSettled(const std::string& ticName) {
  const auto found = owed.find(ticName);
  if (found != owed.end() && !found->second.owesSomething()) {
    owed.erase(found);
  }
}

void TossJournal::noteUnfinished(const JournalEntry& entry) {
  owedToss(entry).unfinished = true;
}

platform::Status TossJournal::noteDisposalPending(const JournalEntry& entry) {
  Toss& toss = owedToss(entry);
  toss.unfinished = false;
  toss.disposalPending = true;
  return writeName(kDisposalPending, entry.ticName);
}

void TossJournal::noteDisposed(const std::string& ticName) {
  if (const auto found = owed.find(ticName); found != owed.end()) {
    found->second.unfinished = false;
    found->second.disposalPending = false;
    forgetIfSettled(ticName);
  }
}

platform::Status TossJournal::noteEventsRun(const std::string& ticName, Events events) {
  if (const auto found = owed.find(ticName); found != owed.end()) {
    found->second.eventsOwed = false;
    forgetIfSettled(ticName);
  }
  return events == Events::ran ? writeName(kEventsRun, ticName) : platform::Status();
}

void TossJournal::noteEventsOwed(const JournalEntry& entry) {
  owedToss(entry).eventsOwed = true;
}

platform::Status TossJournal::noteMessageStaged(const std::string& stagedPath) {
  return writeName(kStaged, stagedPath);
}

platform::Status TossJournal::noteMessageNotStored() {
  return writeName(kNotStored, "");
}

bool TossJournal::isDisposalPending(const std::string& ticName) const {
  const auto found = owed.find(ticName);
  return found != owed.end() && found->second.disposalPending;
}

const TossEvidence* TossJournal::placedBefore(const std::string& ticName,
                                              const std::string& destination) const {
  const auto found = owed.find(ticName);
  return found != owed.end() && found->second.unfinished &&
                 found->second.entry.destination == destination
             ? &found->second.entry.evidence
             : nullptr;
}

void TossJournal::clearDeadRunsFiles(const std::vector<std::string>& directories) const {
  std::set<std::string> all(sweepDirectories.begin(), sweepDirectories.end());
  all.insert(inbound);
  all.insert(directories.begin(), directories.end());
  for (const std::string& directory : all) {
    if (directory.empty()) {
      continue;
    }
    std::vector<std::string_view> kept = {kJournalStem, WaitNotices::kFileName};
    for (const std::string& path : unstored) {
      kept.push_back(std::string_view(path).substr(platform::directoryOf(path).size()));
    }
    platform::clearLeftovers(directory, kept);
  }
}

void TossJournal::finish() {
  // Tosses noted but never tossed (a stop came first) moved nothing: nothing is owed for them.
  pending.clear();
  if (!owed.empty()) {
    // What is still owed goes into a journal of its own, whole and on the disk, before the
    // journals that stand for it now go. The message is stored: everything is announced.
    std::string path;
    platform::File next = platform::File::createTemporary(inbound, path, kJournalStem);
    std::swap(next, own);
    length = 0;
    bool written = own.isOpen();
    for (auto toss = owed.begin(); written && toss != owed.end(); ++toss) {
      // A toss left unfinished was not in the message; all others were.
      written = writeToss(toss->second, !toss->second.unfinished).ok();
    }
    written = written && own.sync() && own.close() && platform::syncDirectory(inbound);
    std::swap(next, own);
    if (!written) {
      if (next.isOpen()) {
        platform::disposeHeld(next, path).ignore();
      }
      return;  // every journal stays for the next run
    }
  }
  for (std::size_t i = 0; i < adopted.size(); ++i) {
    platform::disposeHeld(adopted[i], adoptedPaths[i]).ignore();
  }
  for (const std::string& path : unstored) {
    platform::deleteFile(path).ignore();
  }
  if (own.isOpen()) {
    platform::disposeHeld(own, ownPath).ignore();
  }
}
