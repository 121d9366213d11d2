#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <system_error>

namespace bench {

// A fresh directory under /tmp for one benchmark, removed with everything in it when the
// object goes away, so an interrupted measurement leaves nothing behind but the last run.
class ScratchDir {
 public:
  ScratchDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    for (;;) {
      const std::filesystem::path candidate =
          std::filesystem::path("/tmp") /
          ("quenfar-bench-" + std::to_string(random()) + "-" + std::to_string(counter++));
      std::error_code error;
      if (std::filesystem::create_directory(candidate, error)) {
        root = candidate.string();
        return;
      }
    }
  }
  ~ScratchDir() {
    std::error_code error;
    std::filesystem::remove_all(root, error);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // The directory's path, without a trailing separator.
  const std::string& path() const { return root; }

  // The path of `relative` inside the directory.
  std::string operator/(const std::string& relative) const { return root + "/" + relative; }

 private:
  std::string root;
};

// Writes `contents` to `path` byte for byte, replacing any file there.
inline void writeFile(const std::string& path, std::string_view contents) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

// Removes `path` with everything below it and creates it again, empty.
inline void recreateDirectory(const std::string& path) {
  std::error_code error;
  std::filesystem::remove_all(path, error);
  std::filesystem::create_directories(path);
}

}  // namespace bench
