#include "platform/win32/windows_config.h"

#include "platform/durability.h"

#include "platform/file_system.h"
#include "platform/win32/unique_handle.h"

namespace platform {

std::vector<SyncFailure> syncToDisk(const std::vector<std::string>& paths) {
  // Windows flushes file by file; a directory has nothing of its own to flush.
  std::vector<SyncFailure> failures;
  for (const std::string& path : paths) {
    if (isDirectory(path)) {
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

void FlushAhead::start(const std::string&) {
  // Flushing is file by file here: there is nothing to start ahead.
  begun = true;
}

void FlushAhead::wait() {}

}  // namespace platform
