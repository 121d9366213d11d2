#pragma once

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

 private:
  struct Impl;
  std::unique_ptr<Impl> impl;
};

}  // namespace platform
