#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "platform/status.h"
#include "platform/system.h"

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

  // The path of `relative` inside the directory, joined with the platform's separator.
  std::string operator/(const std::string& relative) const {
    return root + platform::kSeparator + relative;
  }

 private:
  std::string root;
};

// Writes `contents` to `path` byte for byte, creating missing parent directories.
void writeFile(const std::string& path, const std::string& contents);

// Returns the bytes of the file at `path`, or "<missing>" when it cannot be read.
std::string readFile(const std::string& path);

bool fileExists(const std::string& path);

// The value of a result, or nothing when it failed, for comparing in an expectation.
template <typename T>
std::optional<T> valueOf(const platform::Result<T>& result) {
  return result ? std::optional<T>(*result) : std::nullopt;
}

}  // namespace test
