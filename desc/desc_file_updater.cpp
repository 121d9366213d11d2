#include "desc/desc_file_updater.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

#include "platform/durability.h"
#include "platform/file_system.h"
#include "platform/system.h"
#include "util/byte_buffer.h"
#include "util/line_reader.h"
#include "util/text.h"

namespace {

// Names up to this many bytes are padded so that descriptions line up in one column.
constexpr std::size_t kNameColumns = 12;

// A list replaced by another run while this one waited is read again; this bounds how often.
constexpr int kMaxReopens = 50;

// A list is held across at most this many of its updates in a row, then let go until its next
// update, so that another run waiting for it (it tries every few milliseconds) gets its turn.
constexpr int kUpdatesPerHold = 8;

// Lists kept open between updates, at most; beyond that many areas a list is opened anew for
// each update, so a run never runs out of file descriptors.
constexpr std::size_t kMaxKeptOpen = 256;

std::string formatEntry(const std::string& fileName, const std::string& cleaned,
                        const std::vector<std::string>& more) {
  // A name with a space in it is quoted, as lists of long names do, so that its entry is
  // found again by its whole name and never taken for that of the name's first word.
  const std::string name =
      fileName.find(' ') == std::string::npos ? fileName : '"' + fileName + '"';
  std::string entry = name + "  ";
  if (name.size() < kNameColumns) {
    entry.append(kNameColumns - name.size(), ' ');
  }
  // Continuation lines start where the first line's description starts.
  const std::size_t column = entry.size();
  entry += cleaned;
  entry += "\r\n";
  for (const std::string& line : more) {
    if (!line.empty()) {
      entry.append(column, ' ');
      entry += line;
      entry += "\r\n";
    }
  }
  return entry;
}

// The key of an entry's name: a 64-bit FNV-1a hash of it in upper case. Two names that share
// a key only send an update down the rewriting path, which is right for any list.
std::uint64_t nameKey(std::string_view name) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (const char c : name) {
    hash = (hash ^ static_cast<unsigned char>(toUpperAscii(c))) * 0x100000001b3ULL;
  }
  return hash;
}

// How a pass over a list's lines ended, when the list could be read.
enum class LinePass { finished, stopped };

// Reads the held list from its start in chunks and hands every line ended by LF, without the
// LF, to `visit` until it returns false. `tail` gets the length of an unfinished last line.
template <typename Visit>
platform::Result<LinePass> forEachLine(platform::File& list, std::vector<char>& buffer,
                                       std::size_t& tail, Visit&& visit) {
  std::uint64_t offset = 0;
  std::size_t kept = 0;  // bytes of an unfinished line at the buffer's start
  for (;;) {
    if (kept == buffer.size()) {
      buffer.resize(buffer.size() * 2);  // a line longer than the buffer
    }
    const platform::Result<std::size_t> count =
        list.readAt(offset, buffer.data() + kept, buffer.size() - kept);
    if (!count) {
      return count.status();
    }
    if (*count == 0) {
      tail = kept;
      return LinePass::finished;
    }
    offset += *count;
    const std::string_view block(buffer.data(), kept + *count);
    std::size_t start = 0;
    for (std::size_t end = block.find('\n'); end != std::string_view::npos;
         end = block.find('\n', start)) {
      if (!visit(block.substr(start, end - start))) {
        return LinePass::stopped;
      }
      start = end + 1;
    }
    kept = block.size() - start;
    std::memmove(buffer.data(), buffer.data() + start, kept);
  }
}

// The name of the entry a line of the list is (the text between the quotes that open it and a
// space, or else before its first space), or nothing for a line without a space, which is
// nobody's entry.
std::optional<std::string_view> entryName(std::string_view line) {
  if (line.size() > 3 && line[0] == '"') {
    const std::size_t quote = line.find("\" ", 1);
    if (quote != std::string_view::npos && quote > 1) {
      return line.substr(1, quote - 1);
    }
  }
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos) {
    return std::nullopt;
  }
  return line.substr(0, space);
}

// Tells whether the held list is in the form an update writes: every line ended by CR LF,
// none empty, no lone CR or LF, no NUL byte. Fills `names` with the keys of its entries.
platform::Result<bool> scanWrittenForm(platform::File& list, std::vector<char>& buffer,
                                       NameKeys& names) {
  // An entry line is rarely shorter than this; the set grows if they are.
  names.reset(static_cast<std::size_t>(list.openedStamp().size / 40));
  std::size_t tail = 0;
  const auto pass = forEachLine(list, buffer, tail, [&names](std::string_view line) {
    if (line.size() < 2 || line.back() != '\r') {
      return false;
    }
    line.remove_suffix(1);
    // A NUL byte is what a write that a power cut tore leaves: the list is rewritten without.
    if (line.find('\r') != std::string_view::npos || line.find('\0') != std::string_view::npos) {
      return false;
    }
    if (const std::optional<std::string_view> name = entryName(line)) {
      names.insert(nameKey(*name));
    }
    return true;
  });
  if (!pass) {
    return pass.status();
  }
  return *pass == LinePass::finished && tail == 0;  // the last line must end in CR LF too
}

// Tells whether the held list, in the written form, holds an entry of `fileName` in any
// letter case.
platform::Result<bool> hasEntryOf(platform::File& list, std::vector<char>& buffer,
                                  const std::string& fileName) {
  std::size_t tail = 0;
  const auto pass = forEachLine(list, buffer, tail, [&fileName](std::string_view line) {
    const std::optional<std::string_view> name = entryName(line);
    return !name || !equalsIgnoringCase(*name, fileName);
  });
  if (!pass) {
    return pass.status();
  }
  return *pass == LinePass::stopped;
}

// Appends every non-empty line of the old list that is not an entry to drop, each ended by
// CR LF. An entry's name is as entryName reads it; `isDropped` says whether the entry of that
// name goes. With Continuations::goWithEntry the lines that begin with a space and follow a
// dropped entry go too. `droppedAny` tells whether an entry went. NUL bytes are dropped: they
// are what a write that a power cut tore leaves.
template <typename IsDropped>
bool appendOtherLines(std::string_view oldList, IsDropped&& isDropped, Continuations continuations,
                      ByteBuffer& output, bool* droppedAny = nullptr) {
  const auto length = static_cast<std::uint32_t>(oldList.size());
  std::uint32_t position = 0;
  bool droppingContinuations = false;
  do {
    std::string line = readLine(oldList, position);
    line.erase(std::remove(line.begin(), line.end(), '\0'), line.end());
    if (line.empty()) {
      continue;
    }
    if (droppingContinuations && line.front() == ' ') {
      continue;
    }
    droppingContinuations = false;
    if (const std::optional<std::string_view> name = entryName(line); name && isDropped(*name)) {
      droppingContinuations = continuations == Continuations::goWithEntry;
      if (droppedAny != nullptr) {
        *droppedAny = true;
      }
      continue;
    }
    line += "\r\n";
    if (!output.append(line)) {
      return false;
    }
  } while (position < length);
  return true;
}

// Opens the list for updating, held; a missing list is created empty. Nothing when it is held
// past the wait, or is not a regular file (a dangling link is never followed to create one).
platform::File openList(const std::string& listPath, std::chrono::milliseconds wait) {
  platform::File list = platform::File::open(listPath, platform::OpenMode::updateExisting, wait);
  if (list.isOpen() || platform::exists(listPath)) {
    return list;
  }
  list = platform::File::open(listPath, platform::OpenMode::updateNew);
  if (list.isOpen()) {
    return list;
  }
  // Another run created it in the meantime.
  return platform::File::open(listPath, platform::OpenMode::updateExisting, wait);
}

// True when the stamps name the same file at the same length.
bool sameFile(const platform::FileStamp& a, const platform::FileStamp& b) {
  return a.device == b.device && a.inode == b.inode && a.size == b.size;
}

}  // namespace

void NameKeys::reset(std::size_t expected) {
  // Kept at most three quarters full, so that probes stay short. The set takes no more room
  // than that: every page of it is written, and a page first written costs more than the
  // probes.
  slots.assign(std::max<std::size_t>(64, expected + expected / 3 + 1), 0);
  used = 0;
  hasZero = false;
}

void NameKeys::insert(std::uint64_t key) {
  insertFolded(fold(key));
}

std::size_t NameKeys::home(std::uint32_t key) const {
  // Maps the key onto the slots by multiplying, so that any number of slots works.
  return static_cast<std::size_t>((static_cast<std::uint64_t>(key) * slots.size()) >> 32);
}

void NameKeys::insertFolded(std::uint32_t key) {
  if (key == 0) {
    hasZero = true;
    return;
  }
  if (slots.empty() || (used + 1) * 4 > slots.size() * 3) {
    std::vector<std::uint32_t> old = std::move(slots);
    slots.assign(std::max<std::size_t>(64, old.size() * 2), 0);
    used = 0;
    for (const std::uint32_t kept : old) {
      if (kept != 0) {
        insertFolded(kept);
      }
    }
  }
  for (std::size_t at = home(key);; at = at + 1 == slots.size() ? 0 : at + 1) {
    if (slots[at] == key) {
      return;
    }
    if (slots[at] == 0) {
      slots[at] = key;
      ++used;
      return;
    }
  }
}

bool NameKeys::contains(std::uint64_t key) const {
  const std::uint32_t folded = fold(key);
  if (folded == 0) {
    return hasZero;
  }
  if (slots.empty()) {
    return false;
  }
  for (std::size_t at = home(folded);; at = at + 1 == slots.size() ? 0 : at + 1) {
    if (slots[at] == folded) {
      return true;
    }
    if (slots[at] == 0) {
      return false;
    }
  }
}

std::string DescFileUpdater::clean(const std::string& description) const {
  return maskControlCharacters(cleaner(description));
}

template <typename Write>
platform::Status DescFileUpdater::withList(const std::string& listPath, Write&& write) {
  std::chrono::milliseconds wait = lockWait;
  std::optional<std::chrono::steady_clock::time_point> deadline;
  for (int attempt = 0; attempt < kMaxReopens; ++attempt) {
    if (attempt > 0) {
      // The list was replaced while this run waited: what is left of the wait goes on.
      const auto now = std::chrono::steady_clock::now();
      deadline = deadline.value_or(now + lockWait);
      wait = std::max(std::chrono::milliseconds(0),
                      std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - now));
    }
    KnownList& state = known[listPath];
    platform::File list;
    if (const platform::Status taken = takeList(state, listPath, wait, list); !taken) {
      return taken;
    }
    // Another run may have replaced the list while this one waited for its hold: the file
    // held is then no longer the list (it has no name left), and the list is opened again.
    const std::uint32_t links = list.openedStamp().links;
    if (links != 1 && (links == 0 || !list.isAt(listPath))) {
      continue;
    }
    platform::Status written = learnList(list, state, listPath);
    if (written) {
      written = write(list, state);
    }
    if (written) {
      keepHold(state, std::move(list));
    }
    return written;
  }
  return platform::Status::refused("it was replaced by other programs again and again");
}

platform::Status DescFileUpdater::update(const std::string& listPath, const std::string& fileName,
                                         const std::string& cleaned,
                                         const std::vector<std::string>& more) {
  otherCases.clear();
  // An empty name would make every continuation line (which starts with a space) look like
  // its entry.
  if (listPath.empty() || fileName.empty()) {
    return platform::Status::refused("the entry has no name");
  }
  const Entry entry{listPath, fileName, formatEntry(fileName, cleaned, more)};
  return withList(listPath, [this, &entry](platform::File& list, KnownList& state) {
    return putEntry(list, state, entry);
  });
}

platform::Status DescFileUpdater::removeEntries(const std::string& listPath,
                                                const std::vector<std::string>& fileNames) {
  if (fileNames.empty() || !platform::exists(listPath)) {
    return {};
  }
  return withList(
      listPath,
      [this, &listPath, &fileNames](platform::File& list, KnownList& state) -> platform::Status {
        // The list is replaced whole, by another file: it is read again when next updated.
        state = KnownList();
        const platform::Result<std::string> read = list.readAll();
        if (!read) {
          return read.status();
        }
        const std::string& contents = *read;
        ByteBuffer output(static_cast<std::uint32_t>(contents.size()));
        bool dropped = false;
        const auto isDropped = [&fileNames](std::string_view name) {
          return std::any_of(fileNames.begin(), fileNames.end(), [name](const std::string& file) {
            return equalsIgnoringCase(name, file);
          });
        };
        if (!contents.empty() &&
            (output.data() == nullptr ||
             !appendOtherLines(contents, isDropped, continuations, output, &dropped))) {
          return platform::Status::refused("it does not fit in memory");
        }
        if (!dropped) {
          return {};
        }
        return platform::writeWhole(listPath, output.view(), &list);
      });
}

platform::Status DescFileUpdater::takeList(KnownList& state, const std::string& listPath,
                                           std::chrono::milliseconds wait, platform::File& list) {
  if (state.held) {
    // Held since its last update: only what other writers did meanwhile is looked up.
    state.held = false;
    --heldLists;
    list = std::move(state.kept);
    if (platform::Status restamped = list.restamp(); !restamped) {
      state = KnownList();
      return restamped;
    }
    return {};
  }
  if (state.kept.isOpen()) {
    // Never waits for one list while holding others: two runs would wait on each other.
    if (!state.kept.retakeHold(std::chrono::milliseconds(0))) {
      releaseHolds();
      if (platform::Status retaken = state.kept.retakeHold(wait); !retaken) {
        return retaken;
      }
    }
    list = std::move(state.kept);
    return {};
  }
  releaseHolds();
  list = openList(listPath, wait);
  return list.why();
}

void DescFileUpdater::keepHold(KnownList& state, platform::File list) {
  if (!state.seen || known.size() > kMaxKeptOpen) {
    return;
  }
  if (++state.updatesHeld < kUpdatesPerHold) {
    state.held = true;
    ++heldLists;
    state.kept = std::move(list);
  } else if (list.releaseHold()) {
    state.updatesHeld = 0;
    state.kept = std::move(list);
  }
}

void DescFileUpdater::releaseHolds() {
  if (heldLists == 0) {
    return;
  }
  for (auto& [path, state] : known) {
    if (state.held) {
      state.held = false;
      state.updatesHeld = 0;
      // Where a hold cannot be let go alone, the list is closed, and opened anew next time.
      static_cast<void>(state.kept.releaseHold());
    }
  }
  heldLists = 0;
}

platform::Status DescFileUpdater::learnList(platform::File& list, KnownList& state,
                                            const std::string& listPath) {
  // The stamp taken with the hold already holds what any other writer did before. A list this
  // updater has not seen, or that changed since it last wrote it, is read.
  const platform::FileStamp& stamp = list.openedStamp();
  if (state.seen && sameFile(state.stamp, stamp)) {
    return {};
  }
  const platform::Result<bool> inForm = scanWrittenForm(list, scratch, state.names);
  if (!inForm) {
    state = KnownList();
    return inForm.status();
  }
  if (!state.seen) {
    // An area whose directory is closed to new files gets no new list either way.
    state.directoryWritable = platform::checkWritable(platform::directoryOf(listPath)).ok();
  }
  state.inWrittenForm = *inForm;
  state.stamp = stamp;
  state.seen = true;
  return {};
}

platform::Status DescFileUpdater::putEntry(platform::File& list, KnownList& state,
                                           const Entry& entry) {
  const std::uint64_t key = nameKey(entry.fileName);
  if (!state.inWrittenForm || !state.directoryWritable) {
    return rewriteList(list, state, entry);
  }
  if (state.names.contains(key)) {
    // Keys are short: in a long list another name now and then has this one's key. The list
    // itself tells, at the cost of reading it rather than writing it anew.
    const platform::Result<bool> found = hasEntryOf(list, scratch, entry.fileName);
    if (!found) {
      state = KnownList();
      return found.status();
    }
    if (*found) {
      return rewriteList(list, state, entry);
    }
  }
  return appendEntry(list, state, entry, key);
}

platform::Status DescFileUpdater::appendEntry(platform::File& list, KnownList& state,
                                              const Entry& entry, std::uint64_t key) {
  const std::uint64_t size = state.stamp.size;
  if (platform::Status written = list.writeAt(size, entry.line); !written) {
    // A write cut short (a full disk) is taken back, so the list ends on a whole line.
    list.truncateTo(size).ignore();
    state = KnownList();
    return written;
  }
  // The list as this updater left it. Its time of change is not looked up again: a list that
  // another program changed in place without changing its length is taken for unchanged until
  // this run ends.
  state.stamp.size += entry.line.size();
  state.names.insert(key);
  return {};
}

platform::Status DescFileUpdater::rewriteList(platform::File& list, KnownList& state,
                                              const Entry& entry) {
  // The new list replaces the old one whole; it is another file, so it is read again when
  // next updated.
  state = KnownList();
  const platform::Result<std::string> read = list.readAll();
  if (!read) {
    return read.status();
  }
  const std::string& contents = *read;
  if (contents.size() > std::numeric_limits<std::uint32_t>::max() - entry.line.size()) {
    return platform::Status::refused("it would grow past 4 GiB");
  }
  ByteBuffer output(static_cast<std::uint32_t>(contents.size() + entry.line.size()));
  // The entries of the name in another letter case are noted: where the file system tells
  // cases apart, they are other files.
  const auto isEntry = [this, &entry](std::string_view name) {
    if (!equalsIgnoringCase(name, entry.fileName)) {
      return false;
    }
    if (name != entry.fileName) {
      otherCases.emplace_back(name);
    }
    return true;
  };
  if (output.data() == nullptr || !appendOtherLines(contents, isEntry, continuations, output) ||
      !output.append(entry.line)) {
    return platform::Status::refused("it does not fit in memory");
  }
  return platform::writeWhole(entry.listPath, output.view(), &list);
}
