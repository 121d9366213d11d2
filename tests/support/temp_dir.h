#pragma once

#include <filesystem>
#include <string>

namespace test {

// A fresh directory under the system's temporary directory, removed with all its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory's path, without a trailing separator.
  const std::string& path() const { return root; }

  // The path of `relative` inside the directory.
  std::string operator/(const std::string& relative) const { return root + "/" + relative; }

 private:
  std::string root;
};

// Writes `contents` to `path` byte for byte, creating missing parent directories.
void writeFile(const std::string& path, const std::string& contents);

// Returns the bytes of the file at `path`, or "<missing>" when it cannot be read.
std::string readFile(const std::string& path);

bool fileExists(const std::string& path);

}  // namespace test
