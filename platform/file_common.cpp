// The file operations that need nothing beyond File itself, shared by every platform.
#include "platform/file.h"

namespace platform {

std::optional<std::string> readWholeFile(const std::string& path) {
  File file = File::open(path, OpenMode::readExisting);
  std::string contents;
  if (!file.isOpen() || !file.readAll(contents)) {
    return std::nullopt;
  }
  return contents;
}

bool copyContents(File& input, File& output) {
  // Chunks keep memory flat whatever the file's size.
  char chunk[1 << 16];
  for (;;) {
    const auto count = input.read(chunk, sizeof chunk);
    if (!count) {
      return false;
    }
    if (*count == 0) {
      return true;
    }
    if (!output.write(chunk, *count)) {
      return false;
    }
  }
}

}  // namespace platform
