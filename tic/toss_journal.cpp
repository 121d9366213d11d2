#include "tic/toss_journal.h"

#include <algorithm>
#include <charconv>
#include <iterator>
#include <set>
#include <utility>

#include "platform/directory.h"
#include "platform/file_system.h"
#include "platform/system.h"
#include "tic/wait_notices.h"

namespace {

constexpr std::string_view kJournalStem = ".quenfar-journal-";

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// One record: a kind letter, the lengths of its fields, a line end, then the fields. Lengths
// rather than separators, because a .tic name may hold any character.
std::string record(char kind, const JournalEntry& entry) {
  const std::string_view fields[] = {entry.ticName, entry.destination, entry.area, entry.origin,
                                     entry.description};
  std::string text(1, kind);
  for (const std::string_view field : fields) {
    text += ' ' + std::to_string(field.size());
  }
  text += '\n';
  for (const std::string_view field : fields) {
    text += field;
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
  std::string* const fields[] = {&entry.ticName, &entry.destination, &entry.area, &entry.origin,
                                 &entry.description};
  std::size_t lengths[std::size(fields)] = {};
  const char* at = text.data() + position + 1;
  const char* end = text.data() + lineEnd;
  std::size_t total = 0;
  for (std::size_t& length : lengths) {
    if (at >= end || *at != ' ') {
      return 0;
    }
    const auto [next, error] = std::from_chars(at + 1, end, length);
    if (error != std::errc() || length > text.size()) {
      return 0;
    }
    at = next;
    total += length;
  }
  std::size_t start = lineEnd + 1;
  if (at != end || total > text.size() - start) {
    return 0;
  }
  for (std::size_t i = 0; i < std::size(fields); ++i) {
    fields[i]->assign(text.substr(start, lengths[i]));
    start += lengths[i];
  }
  const char kind = text[position];
  position = start;
  return kind;
}

// The kinds of record. A toss's record holds its whole entry; the others name its .tic and
// add to what is known of its latest toss.
constexpr char kToss = 'T';             // a toss, before its file is moved
constexpr char kMoved = 'V';            // its file is moved
constexpr char kUnfinished = 'U';       // moved, its list entry still to come
constexpr char kDisposalPending = 'D';  // tossed, the .tic still to go
constexpr char kEventsRun = 'E';        // its events are carried out
constexpr char kAnnounced = 'S';        // its announcement is stored
constexpr char kStaged = 'A';           // the message is complete under this temporary name
constexpr char kNotStored = 'X';        // the staged message will not be stored

JournalEntry named(const std::string& name, const std::string& destination = {}) {
  return JournalEntry{name, destination, "", "", ""};
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
      found.push_back(name);
    }
  }
  std::map<std::string, Toss> tosses;
  std::vector<platform::File> held;
  std::vector<std::string> heldPaths;
  for (const std::string& entry : found) {
    platform::File journal =
        platform::File::open(directory + entry, platform::OpenMode::updateExisting);
    // A journal that its run still holds is alive; one that another run adopted first is
    // held by that run, or gone.
    if (journal.isOpen() && journal.isAt(directory + entry)) {
      std::string text;
      if (journal.readAll(text)) {
        readJournal(text, tosses);
      }
      held.push_back(std::move(journal));
      heldPaths.push_back(directory + entry);
    }
  }
  own = platform::File::createTemporary(directory, ownPath, kJournalStem);
  if (!held.empty()) {
    carryOver(tosses, held, heldPaths);
    clearDeadRunsFiles(sweep);
  }
}

TossJournal::~TossJournal() = default;

void TossJournal::readJournal(std::string_view text, std::map<std::string, Toss>& tosses) {
  // Records of one journal, keyed by .tic name and destination: a name comes back over time.
  std::map<std::string, Toss> read;
  std::map<std::string, std::string> latest;  // .tic name to its latest key
  std::string staged;
  bool notStored = false;
  std::size_t position = 0;
  JournalEntry entry;
  while (const char kind = nextRecord(text, position, entry)) {
    if (kind == kStaged) {
      staged = entry.ticName;
      notStored = false;
      continue;
    }
    if (kind == kNotStored) {
      notStored = true;
      continue;
    }
    if (kind == kToss) {
      const std::string key = entry.ticName + '\0' + entry.destination;
      Toss& toss = read[key];
      toss.entry = entry;
      toss.order = order++;
      latest[entry.ticName] = key;
      continue;
    }
    const auto key = latest.find(entry.ticName);
    if (key == latest.end()) {
      continue;
    }
    read[key->second].add(kind);
  }
  // A message whose temporary file is gone has its name: what the journal noted before it is
  // announced.
  const bool stored = !staged.empty() && !notStored && !platform::exists(staged);
  for (auto& [key, toss] : read) {
    toss.announced = toss.announced || stored;
    sweepDirectories.insert(platform::directoryOf(toss.entry.destination));
    tosses[key].merge(toss);
  }
}

void TossJournal::Toss::add(char kind) {
  moved = moved || kind == kMoved || kind == kUnfinished || kind == kDisposalPending;
  disposalPending = disposalPending || kind == kDisposalPending;
  eventsRun = eventsRun || kind == kEventsRun;
  announced = announced || kind == kAnnounced;
}

void TossJournal::Toss::merge(const Toss& other) {
  // The same toss in two journals: a dead run's, and the copy that a run which adopted it
  // and died too made of it.
  entry = other.entry;
  order = order == 0 ? other.order : std::min(order, other.order);
  moved = moved || other.moved;
  disposalPending = disposalPending || other.disposalPending;
  eventsRun = eventsRun || other.eventsRun;
  announced = announced || other.announced;
}

void TossJournal::carryOver(const std::map<std::string, Toss>& tosses,
                            std::vector<platform::File>& held,
                            const std::vector<std::string>& paths) {
  std::vector<const Toss*> ordered;
  for (const auto& [key, toss] : tosses) {
    ordered.push_back(&toss);
  }
  std::sort(ordered.begin(), ordered.end(),
            [](const Toss* a, const Toss* b) { return a->order < b->order; });
  for (const Toss* toss : ordered) {
    const std::string& ticName = toss->entry.ticName;
    const bool ticThere = platform::exists(inbound + ticName);
    const bool tossed = !ticThere || toss->disposalPending;
    if (!ticThere && toss->announced && toss->eventsRun) {
      continue;  // complete: nothing is owed
    }
    if (ticThere && !toss->moved && !toss->disposalPending) {
      continue;  // nothing was moved: the .tic is tossed as any other
    }
    if (tossed && !toss->announced) {
      completed.push_back(toss->entry);
    }
    if (tossed && !toss->eventsRun) {
      eventsOwed.push_back(toss->entry);
    }
    if (ticThere) {
      interrupted[ticName] = *toss;
    }
    // This run's journal stands for the dead runs' from here on.
    writeToss(*toss);
  }
  for (std::size_t i = 0; i < held.size(); ++i) {
    platform::disposeHeld(held[i], paths[i]).ignore();  // adopted again next time otherwise
  }
}

platform::Status TossJournal::write(char kind, const JournalEntry& entry) {
  if (!own.isOpen()) {
    return platform::Status::refused("the run has no journal");
  }
  const std::string bytes = record(kind, entry);
  const platform::Status written = own.write(bytes);
  if (written) {
    length += bytes.size();
  } else {
    // A record cut short (a full disk) is taken back, so that the journal still reads whole;
    // what this run knows stays in memory, and the journal is written anew when it ends.
    own.truncateTo(length).ignore();
  }
  return written;
}

void TossJournal::writeName(char kind, const std::string& name) {
  write(kind, named(name)).ignore();
}

void TossJournal::writeToss(const Toss& toss) {
  write(kToss, toss.entry).ignore();
  const std::string& ticName = toss.entry.ticName;
  if (toss.disposalPending) {
    writeName(kDisposalPending, ticName);
  } else if (toss.unfinished) {
    writeName(kUnfinished, ticName);
  } else if (toss.moved) {
    writeName(kMoved, ticName);
  }
  if (toss.eventsRun) {
    writeName(kEventsRun, ticName);
  }
  if (toss.announced) {
    writeName(kAnnounced, ticName);
  }
}

void TossJournal::noteEventsRun(const std::string& ticName) {
  writeName(kEventsRun, ticName);
  const auto ours = ownTosses.find(ticName);
  if (ours != ownTosses.end()) {
    ours->second.eventsRun = true;
  }
}

platform::Status TossJournal::noteToss(const JournalEntry& entry) {
  const platform::Status noted = write(kToss, entry);
  if (!noted) {
    return noted;
  }
  Toss& toss = ownTosses[entry.ticName];
  toss.entry = entry;
  toss.moved = false;
  toss.disposalPending = false;
  toss.unfinished = false;
  toss.eventsRun = false;
  toss.announced = false;
  return {};
}

void TossJournal::noteNotTossed(const std::string& ticName) {
  ownTosses.erase(ticName);
}

void TossJournal::noteMoved(const std::string& ticName) {
  writeName(kMoved, ticName);
  ownTosses[ticName].moved = true;
}

void TossJournal::noteUnfinished(const std::string& ticName, const std::string& destination) {
  Toss& toss = ownTosses[ticName];
  toss.entry.ticName = ticName;
  toss.entry.destination = destination;
  toss.moved = true;
  toss.unfinished = true;
}

void TossJournal::noteDisposalPending(const std::string& ticName) {
  writeName(kDisposalPending, ticName);
  auto found = interrupted.find(ticName);
  Toss& toss = ownTosses[ticName];
  if (found != interrupted.end() && toss.entry.ticName.empty()) {
    toss = found->second;  // a leftover of a dead run's, carried on
  }
  toss.entry.ticName = ticName;
  toss.moved = true;
  toss.disposalPending = true;
  interrupted.erase(ticName);
}

void TossJournal::noteDone(const std::string& ticName) {
  interrupted.erase(ticName);
  const auto ours = ownTosses.find(ticName);
  if (ours != ownTosses.end()) {
    lastDone = std::move(ours->second);
    ownTosses.erase(ours);
  }
}

void TossJournal::noteEventsOwed(const std::string& ticName) {
  if (lastDone.entry.ticName == ticName) {
    Toss& toss = ownTosses[ticName];
    toss = lastDone;
    toss.eventsOwed = true;
  }
}

void TossJournal::noteMessageStaged(const std::string& stagedPath) {
  writeName(kStaged, stagedPath);
}

void TossJournal::noteMessageNotStored() {
  writeName(kNotStored, "");
}

bool TossJournal::moveRecorded(const std::string& ticName, const std::string& destination) const {
  const auto found = interrupted.find(ticName);
  if (found != interrupted.end() && found->second.moved &&
      found->second.entry.destination == destination) {
    return true;
  }
  const auto ours = ownTosses.find(ticName);
  return ours != ownTosses.end() && ours->second.moved &&
         ours->second.entry.destination == destination;
}

std::vector<std::string> TossJournal::unfinishedTics() const {
  std::vector<std::string> names;
  for (const auto& [ticName, toss] : interrupted) {
    if (!toss.disposalPending) {
      names.push_back(ticName);
    }
  }
  return names;
}

bool TossJournal::isDisposalPending(const std::string& ticName) const {
  const auto found = interrupted.find(ticName);
  if (found != interrupted.end() && found->second.disposalPending) {
    return true;
  }
  const auto ours = ownTosses.find(ticName);
  return ours != ownTosses.end() && ours->second.disposalPending;
}

std::vector<std::string> TossJournal::pendingDisposals() const {
  std::vector<std::string> names;
  for (const auto& [ticName, toss] : interrupted) {
    if (toss.disposalPending) {
      names.push_back(ticName);
    }
  }
  return names;
}

void TossJournal::clearDeadRunsFiles(const std::vector<std::string>& directories) const {
  std::set<std::string> all(sweepDirectories);
  all.insert(inbound);
  all.insert(directories.begin(), directories.end());
  for (const std::string& directory : all) {
    if (directory.empty()) {
      continue;
    }
    std::vector<std::string> leftovers;
    platform::DirectorySearch search(directory);
    std::string name;
    while (search.next(name)) {
      if (startsWith(name, kOwnPrefix) && !startsWith(name, kJournalStem) &&
          name != WaitNotices::kFileName) {
        leftovers.push_back(directory + name);
      }
    }
    // A temporary file that a live run is writing is held by it; one that already took its
    // final name is no longer under this one.
    for (const std::string& path : leftovers) {
      platform::File leftover = platform::File::open(path, platform::OpenMode::updateExisting);
      if (leftover.isOpen() && leftover.isAt(path)) {
        platform::disposeHeld(leftover, path).ignore();
      }
    }
  }
}

void TossJournal::finish() {
  // What is still owed stays noted for the next run, in place of everything else.
  for (const auto& [ticName, toss] : interrupted) {
    if (platform::exists(inbound + ticName) && ownTosses.count(ticName) == 0) {
      ownTosses[ticName] = toss;
    }
  }
  if (!own.isOpen()) {
    return;
  }
  if (ownTosses.empty() || !own.truncateTo(0)) {
    platform::disposeHeld(own, ownPath).ignore();
    return;
  }
  length = 0;
  // The message is stored, or there is none: what is carried is announced.
  for (auto& [ticName, toss] : ownTosses) {
    toss.announced = toss.announced || toss.disposalPending || toss.eventsOwed;
    writeToss(toss);
  }
  own.close().ignore();
}
