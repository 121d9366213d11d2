#include "tic/toss_journal.h"

#include <charconv>

#include "platform/directory.h"
#include "platform/system.h"

namespace {

constexpr std::string_view kJournalStem = ".quenfar-journal-";

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

// One record: a kind letter, the lengths of its two fields, a line end, then the two fields.
// Lengths rather than separators, because a .tic name may hold any character.
std::string record(char kind, std::string_view first, std::string_view second) {
  std::string text(1, kind);
  text += ' ' + std::to_string(first.size()) + ' ' + std::to_string(second.size()) + '\n';
  text += first;
  text += second;
  return text;
}

struct Record {
  char kind = 0;
  std::string_view first;
  std::string_view second;
};

// Reads the record at `position` and moves past it. Nothing at the end, or for a record that
// a dying run did not finish writing.
std::optional<Record> nextRecord(std::string_view text, std::size_t& position) {
  const std::size_t lineEnd = text.find('\n', position);
  if (lineEnd == std::string_view::npos || lineEnd - position < 5) {
    return std::nullopt;
  }
  Record result;
  result.kind = text[position];
  std::size_t lengths[2] = {0, 0};
  const char* at = text.data() + position + 1;
  const char* end = text.data() + lineEnd;
  for (std::size_t& length : lengths) {
    if (at >= end || *at != ' ') {
      return std::nullopt;
    }
    const auto [next, error] = std::from_chars(at + 1, end, length);
    if (error != std::errc()) {
      return std::nullopt;
    }
    at = next;
  }
  const std::size_t start = lineEnd + 1;
  if (at != end || lengths[0] > text.size() - start ||
      lengths[1] > text.size() - start - lengths[0]) {
    return std::nullopt;
  }
  result.first = text.substr(start, lengths[0]);
  result.second = text.substr(start + lengths[0], lengths[1]);
  position = start + lengths[0] + lengths[1];
  return result;
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
  while (const std::optional<Record> entry = nextRecord(text, position)) {
    const std::string ticName(entry->first);
    switch (entry->kind) {
      case 'M':
      case 'U':
        // Only a .tic that is still there can have been cut short after its move.
        if (platform::exists(inbound + ticName)) {
          interrupted[ticName] = std::string(entry->second);
        }
        sweepDirectories.insert(platform::directoryOf(std::string(entry->second)));
        break;
      case 'A':
        announced.insert(ticName);
        blocks.emplace_back(entry->second);
        break;
      default:
        break;
    }
  }
  adopted.push_back(std::move(journal));
  adoptedPaths.push_back(path);
}

void TossJournal::append(char kind, std::string_view first, std::string_view second) {
  if (own.isOpen() && !own.write(record(kind, first, second))) {
    // A journal that cannot be written (a full disk) is given up; the run goes on.
    removeHeld(own, ownPath);
  }
}

void TossJournal::noteMove(const std::string& ticName, const std::string& destination) {
  append('M', ticName, destination);
}

void TossJournal::noteAnnouncement(const std::string& ticName, std::string_view block) {
  append('A', ticName, block);
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

bool TossJournal::announcedBefore(const std::string& ticName) const {
  return announced.count(ticName) != 0;
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
        append('U', ticName, destination);
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
