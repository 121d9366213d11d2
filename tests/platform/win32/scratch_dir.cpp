#include "tests/platform/win32/scratch_dir.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace wintest {

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
