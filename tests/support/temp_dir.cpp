#include "tests/support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>
#include <sstream>

namespace test {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  // TMPDIR (or the system's own temporary directory) at the moment of creation.
  const std::filesystem::path parent = std::filesystem::temp_directory_path();
  std::random_device random;
  for (;;) {
    std::filesystem::path candidate =
        parent / ("quenfar-test-" + std::to_string(random()) + "-" + std::to_string(counter++));
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) {
      root = candidate.string();
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code error;
  std::filesystem::permissions(root, std::filesystem::perms::all,
                               std::filesystem::perm_options::add, error);
  std::filesystem::remove_all(root, error);
}

void writeFile(const std::string& path, const std::string& contents) {
  const std::filesystem::path target(path);
  if (target.has_parent_path()) {
    std::filesystem::create_directories(target.parent_path());
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(contents.data(), static_cast<std::streamsize>(contents.size()));
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return "<missing>";
  }
  std::ostringstream buffer;
  buffer << in.rdbuf();
  return buffer.str();
}

bool fileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

}  // namespace test
