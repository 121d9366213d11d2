#pragma once

#include <string>

// Helpers of the Windows platform tests, which run under Wine or on Windows itself.
namespace wintest {

// A fresh directory under the system's temporary directory, removed with all its contents.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // The directory's path, without a trailing backslash.
  const std::string& path() const { return root; }

  // The path of `name` inside the directory, joined with a backslash.
  std::string operator/(const std::string& name) const { return root + "\\" + name; }

 private:
  std::string root;
};

void writeFile(const std::string& path, const std::string& contents);

// The bytes of the file, or "<missing>" when it cannot be read.
std::string readFile(const std::string& path);

// The names in the directory, sorted.
std::string listNames(const std::string& directory);

}  // namespace wintest
