#include "tic/toss_journal.h"

#include <charconv>
#include <iterator>
#include <set>

#include "platform/directory.h"
#include "platform/system.h"

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

// Deletes a file that this run holds. POSIX deletes it while it is still held, so that no other
// run can take it up in between; Windows deletes nothing that is open.
void removeHeld(platform::File& file, const std::string& path) {
#ifdef _WIN32
  file.close();
  platform::deleteFile(path);
#else
  platform::deleteFile(path);
  file.close();
#endif
}

}  // namespace

TossJournal::TossJournal(const std::string& directory) : inbound(directory) {
  // Journals are adopted before this run's own exists, so it never adopts itself.
  std::vector<std::string> found;
  platform::DirectorySearch search(directory);
  std::string name;
  while (search.next(name)) {
    if (startsWith(name, kJournalStem)) {
      found.push_back(name);
    }
  }
  for (const std::string& entry : found) {
    adopt(directory + entry);
  }
  own = platform::File::createTemporary(directory, ownPath, kJournalStem);
}

TossJournal::~TossJournal() = default;

void TossJournal::adopt(const std::string& path) {
  // A journal that its run still holds is alive; one that another run adopted first is held
  // by that run, or gone.
  platform::File journal = platform::File::open(path, platform::OpenMode::updateExisting);
  std::string text;
  if (!journal.isOpen() || !journal.isAt(path) || !journal.readAll(text)) {
    return;
  }
  std::size_t position = 0;
  JournalEntry entry;
  while (const char kind = nextRecord(text, position, entry)) {
    sweepDirectories.insert(platform::directoryOf(entry.destination));
    if (platform::exists(inbound + entry.ticName)) {
      // The .tic is still there: its file may have been moved before the run died.
      interrupted[entry.ticName] = entry.destination;
    } else if (kind == 'T') {
      // Tossed and disposed of, but the run died before its announcement was stored.
      completed.push_back(entry);
    }
  }
  adopted.push_back(std::move(journal));
  adoptedPaths.push_back(path);
}

void TossJournal::write(const JournalEntry& entry, char kind) {
  if (own.isOpen() && !own.write(record(kind, entry))) {
    // A journal that cannot be written (a full disk) is given up; the run goes on.
    removeHeld(own, ownPath);
  }
}

void TossJournal::noteToss(const JournalEntry& entry) {
  write(entry, 'T');
}

void TossJournal::noteUnfinished(const std::string& ticName, const std::string& destination) {
  unfinished[ticName] = destination;
}

void TossJournal::noteDone(const std::string& ticName) {
  interrupted.erase(ticName);
  unfinished.erase(ticName);
}

std::string TossJournal::interruptedMove(const std::string& ticName) const {
  const auto found = interrupted.find(ticName);
  if (found != interrupted.end()) {
    return found->second;
  }
  const auto ours = unfinished.find(ticName);
  return ours == unfinished.end() ? std::string() : ours->second;
}

std::vector<std::string> TossJournal::unfinishedTics() const {
  std::vector<std::string> names;
  for (const auto& [ticName, destination] : interrupted) {
    names.push_back(ticName);
  }
  return names;
}

void TossJournal::clearDeadRunsFiles(const std::vector<std::string>& directories) const {
  if (adoptedPaths.empty()) {
    return;
  }
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
      if (startsWith(name, kOwnPrefix) && !startsWith(name, kJournalStem)) {
        leftovers.push_back(directory + name);
      }
    }
    // A temporary file that a live run is writing is held by it; one that already took its
    // final name is no longer under this one.
    for (const std::string& path : leftovers) {
      const platform::File leftover =
          platform::File::open(path, platform::OpenMode::updateExisting);
      if (leftover.isOpen() && leftover.isAt(path)) {
        platform::deleteFile(path);
      }
    }
  }
}

void TossJournal::finish() {
  // Tosses still cut short stay noted for the next run, in place of everything else.
  std::map<std::string, std::string> carried = unfinished;
  for (const auto& [ticName, destination] : interrupted) {
    if (platform::exists(inbound + ticName)) {
      carried.emplace(ticName, destination);
    }
  }
  if (own.isOpen()) {
    if (carried.empty() || !own.truncateTo(0)) {
      removeHeld(own, ownPath);
    } else {
      for (const auto& [ticName, destination] : carried) {
        write(JournalEntry{ticName, destination, "", "", ""}, 'U');
      }
      own.close();
    }
  }
  for (std::size_t i = 0; i < adopted.size(); ++i) {
    removeHeld(adopted[i], adoptedPaths[i]);
  }
  adopted.clear();
  adoptedPaths.clear();
}
