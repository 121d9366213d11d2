#pragma once

#include <cstdint>
#include <memory>
#include <string>

// Listing a directory.
namespace platform {

// Walks the entries of one directory in the order the system gives them, reading one entry
// at a time so that memory does not grow with the directory. "." and ".." are skipped.
class DirectorySearch {
 public:
  // Opens the directory; a missing or unreadable directory yields no entries.
  explicit DirectorySearch(const std::string& directory);
  ~DirectorySearch();
  DirectorySearch(const DirectorySearch&) = delete;
  DirectorySearch& operator=(const DirectorySearch&) = delete;

  // Puts the next entry's name into `name`; false when there is none left.
  bool next(std::string& name);

  // The time the entry that next() gave last was modified, in nanoseconds since 1970-01-01
  // 00:00:00 UTC, of the entry itself (a symbolic link is not followed); 0 when it cannot be
  // read (the entry is gone meanwhile).
  std::int64_t modifiedTime() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl;
};

}  // namespace platform
