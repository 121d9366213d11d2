#include "platform/win32/windows_config.h"

#include "platform/durability.h"

#include <utility>

#include "platform/file_system.h"
#include "platform/win32/unique_handle.h"

namespace platform {

std::vector<SyncFailure> syncToDisk(const std::vector<std::string>& paths) {
  // Windows flushes file by file.
  std::vector<SyncFailure> failures;
  for (const std::string& path : paths) {
    // A directory has nothing of its own to flush, and what is not there nothing at all.
    if (isDirectory(path) || !exists(path)) {
      continue;
    }
    const win32::UniqueHandle file(CreateFileA(path.c_str(), GENERIC_WRITE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file || FlushFileBuffers(file.get()) == 0) {
      failures.push_back({path, Status::lastSystemError()});
    }
  }
  return failures;
}

Status syncDirectory(const std::string&) {
  return {};
}

void BackgroundFlush::start(std::vector<std::string> paths) {
  // Flushing opens each file, which would meet the run's own holds while it goes on: here it
  // is done at once.
  std::vector<SyncFailure> found = syncToDisk(paths);
  failures.insert(failures.end(), found.begin(), found.end());
}

std::vector<SyncFailure> BackgroundFlush::wait() {
  return std::exchange(failures, {});
}

}  // namespace platform
