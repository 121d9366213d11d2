#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The .tic files of a directory in the order they arrived: by modification time, then by name
// (byte by byte) among files of the same time. The directory is read once, when made; a .tic
// that arrives later is left to the next run. The names are kept packed, so a directory of
// 100,000 .tic files takes a few megabytes.
class ArrivalOrder {
 public:
  // Reads every entry of `directory` whose name ends in ".tic" in any letter case. A missing or
  // unreadable directory gives none.
  explicit ArrivalOrder(const std::string& directory);

  // Puts the next name into `name`; false when there is none left.
  bool next(std::string& name);

  std::size_t size() const { return entries.size(); }

 private:
  struct Entry {
    std::int64_t modified;
    std::uint32_t offset;  // into `names`
    std::uint32_t length;
  };

  std::string names;
  std::vector<Entry> entries;
  std::size_t position = 0;
};
