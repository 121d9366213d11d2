#pragma once

#include <string>

#include "platform/system.h"
#include "tests/support/temp_dir.h"

// Directories for the tests, on POSIX and on Windows alike.
namespace test {

// The names in the directory, sorted and joined by single spaces; empty for a missing one.
std::string listNames(const std::string& directory);

// A fresh directory on another file system (another volume) than the temporary directory, for
// the moves that have to copy; removed with its contents. On POSIX it is a tmpfs mounted for
// the test when the test runs as root, else a directory in /dev/shm when that is a file system
// of its own. On Windows it is a directory in the one that QUENFAR_OTHER_VOLUME names or, under
// Wine, in Z:\dev\shm. path() is empty when there is none, and whyNone() says why.
class OtherFileSystem {
 public:
  OtherFileSystem();
  ~OtherFileSystem();
  OtherFileSystem(const OtherFileSystem&) = delete;
  OtherFileSystem& operator=(const OtherFileSystem&) = delete;

  const std::string& path() const { return root; }
  const std::string& whyNone() const { return reason; }

  // The path of `relative` inside the directory, joined with the platform's separator.
  std::string operator/(const std::string& relative) const {
    return root + platform::kSeparator + relative;
  }

 private:
  TempDir base;  // holds the mount point
  bool mounted = false;
  std::string root;
  std::string reason;
};

}  // namespace test
