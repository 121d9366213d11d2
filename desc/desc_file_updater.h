#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "desc/desc_cleaner.h"
#include "platform/file.h"
#include "platform/status.h"

// A set of keys of entry names: open addressing, no allocation per key, four bytes a slot. A
// key found in the set is only a hint: the list itself is then read for the name, since two
// names may share a key. The key 0 stands for an empty slot, so a name whose key is 0 is kept
// apart.
class NameKeys {
 public:
  // Starts again with room for `expected` keys.
  void reset(std::size_t expected);
  void insert(std::uint64_t key);
  bool contains(std::uint64_t key) const;

 private:
  static std::uint32_t fold(std::uint64_t key) {
    return static_cast<std::uint32_t>(key ^ (key >> 32));
  }
  void insertFolded(std::uint32_t key);
  std::size_t home(std::uint32_t key) const;

  std::vector<std::uint32_t> slots;
  std::size_t used = 0;
  bool hasZero = false;
};

// What becomes of the continuation lines (lines that begin with a space) that follow an entry
// that is dropped.
enum class Continuations {
  stay,         // they stay where they stood
  goWithEntry,  // they go with their entry
};

// Puts tossed files' entries into their areas' description lists. One updater serves a whole
// run and remembers what each list held when it last wrote it, so that a list in the form it
// writes (every line ended by CR LF, no empty line) that holds no entry of a file gets the new
// entry appended, while any other list is rewritten whole. Both ways give the same bytes.
class DescFileUpdater {
 public:
  // `descriptionCleaner` makes a description fit for the list; a list that another program
  // holds is waited for up to `listWait`.
  DescFileUpdater(DescriptionCleaner descriptionCleaner, std::chrono::milliseconds listWait,
                  Continuations continuationLines = Continuations::stay)
      : cleaner(descriptionCleaner), lockWait(listWait), continuations(continuationLines) {}

  // Returns the description as the list gets it: cleaned, control characters made harmless.
  std::string clean(const std::string& description) const;

  // Drops the file's old entries (the lines whose text before the first space is the name, in
  // any letter case) from the list at `listPath`, ends every other non-empty line with CR LF and
  // adds one new entry with the `cleaned` description at the end; a missing list is created
  // with that entry alone. A list replaced whole keeps its permission bits. On failure (held by
  // another program past the wait, unreadable, disk full, ...), with the cause, the list stays
  // exactly as it was and no temporary file is left.
  // `more` are further lines of the description, cleaned: each follows the entry as a
  // continuation line, indented with spaces to the column where its description starts.
  platform::Status update(const std::string& listPath, const std::string& fileName,
                          const std::string& cleaned, const std::vector<std::string>& more = {});

  // Drops the entries of the files `fileNames` (any letter case) from the list at `listPath`,
  // rewriting it whole, as update does; a list that holds none of them, or is missing, is left
  // as it is.
  platform::Status removeEntries(const std::string& listPath,
                                 const std::vector<std::string>& fileNames);

  // The names of the entries that the last update dropped and that differ from its file's name
  // in letter case: on a file system that tells letter cases apart, other files.
  const std::vector<std::string>& otherCaseEntries() const { return otherCases; }

  // A list stays held between a few updates in a row, which spares taking the hold anew each
  // time. This lets go of every list still held: a run calls it before its events, which may
  // read the lists, and once it has tossed all.
  void releaseHolds();

 private:
  // What this updater knows of one list as it last saw it.
  struct KnownList {
    bool seen = false;
    platform::FileStamp stamp;
    bool inWrittenForm = false;  // every line ended by CR LF, none empty
    bool directoryWritable = false;
    NameKeys names;       // keys of the entries' names: as read, and appended since
    platform::File kept;  // the list, kept open between two updates
    bool held = false;    // `kept` still has its hold
    int updatesHeld = 0;  // updates in a row under that hold
  };

  // One entry to put into a list.
  struct Entry {
    const std::string& listPath;
    const std::string& fileName;
    std::string line;  // the entry as the list gets it, with its CR LF
  };

  // The steps of an update. Each forgets what it knew of the list when that changes beyond
  // what an append tells, and returns the cause of a failure.
  // Takes the hold on the list into `list`: kept from its last update, taken again, or opened
  // (created when missing), waiting up to `wait`.
  platform::Status takeList(KnownList& state, const std::string& listPath,
                            std::chrono::milliseconds wait, platform::File& list);
  // Reads the held list when it is new to this updater or changed since it last wrote it.
  platform::Status learnList(platform::File& list, KnownList& state, const std::string& listPath);
  // Appends the entry when the list is in the written form and holds none of the file's, and
  // rewrites the list whole otherwise.
  platform::Status putEntry(platform::File& list, KnownList& state, const Entry& entry);
  platform::Status appendEntry(platform::File& list, KnownList& state, const Entry& entry,
                               std::uint64_t key);
  platform::Status rewriteList(platform::File& list, KnownList& state, const Entry& entry);
  // Keeps the list open, and held for a few updates in a row, once it was written.
  void keepHold(KnownList& state, platform::File list);

  // Takes the list at `listPath` held, as update does, and hands it to `write`.
  template <typename Write>
  platform::Status withList(const std::string& listPath, Write&& write);

  DescriptionCleaner cleaner;
  std::chrono::milliseconds lockWait;
  Continuations continuations;
  std::unordered_map<std::string, KnownList> known;
  std::size_t heldLists = 0;
  std::vector<char> scratch = std::vector<char>(1U << 16);  // for reading lists in chunks
  std::vector<std::string> otherCases;
};
