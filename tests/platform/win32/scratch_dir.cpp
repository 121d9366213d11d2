#include "tests/platform/win32/scratch_dir.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <vector>

namespace wintest {

ScratchDir::ScratchDir() {
  static unsigned counter = 0;
  const std::filesystem::path parent = std::filesystem::temp_directory_path();
  std::random_device random;
  for (;;) {
    const std::filesystem::path candidate =
        parent / ("quenfar-wintest-" + std::to_string(random()) + "-" + std::to_string(counter++));
    std::error_code error;
    if (std::filesystem::create_directory(candidate, error)) {
      root = candidate.string();
      return;
    }
  }
}

ScratchDir::~ScratchDir() {
  std::error_code error;
  std::filesystem::remove_all(root, error);
}

void writeFile(const std::string& path, const std::string& contents) {
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

std::string listNames(const std::string& directory) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  std::string joined;
  for (const std::string& name : names) {
    joined += (joined.empty() ? "" : " ") + name;
  }
  return joined;
}

}  // namespace wintest
