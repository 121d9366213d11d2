// The file operations that need nothing beyond File itself, shared by every platform.
#include "platform/file.h"

#include "platform/move.h"
#include "platform/move_detail.h"

namespace platform {

bool File::restamp() {
  const std::optional<FileStamp> now = stamp();
  if (!now) {
    return false;
  }
  opened = *now;
  return true;
}

std::optional<std::string> readWholeFile(const std::string& path, std::chrono::milliseconds wait) {
  File file = File::open(path, OpenMode::readExisting, wait);
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

bool writeWhole(const std::string& path, const std::function<bool(File&)>& fill,
                [[maybe_unused]] File* heldOld) {
  std::string temporaryPath;
  File file = File::createTemporary(directoryOf(path), temporaryPath);
  if (!file.isOpen()) {
    return false;
  }
  // A temporary file is private to its creator; the new file gets the bits the old one had,
  // or those of any new file.
  const bool keepOld = exists(path);
  const bool permissionsSet =
      keepOld ? file.copyPermissionsFrom(path) : file.setNewFilePermissions();
  // On the disk before the rename, so a crash leaves the old file or the new one whole.
  bool written = permissionsSet && fill(file) && file.sync();
#ifdef _WIN32
  // Windows renames nothing that is open, nor over a file that is open, even by this program.
  written = file.close() && written;
  if (written && heldOld != nullptr) {
    heldOld->close();
  }
#endif
  // On POSIX the temporary file stays held through the rename: whoever clears away leftover
  // temporary files finds it locked until it has its final name.
  if (written && detail::renameReplacing(temporaryPath, path)) {
    return true;
  }
  file.close();
  deleteFile(temporaryPath);
  return false;
}

bool nameTemporary([[maybe_unused]] File& file, const std::string& temporaryPath,
                   const std::string& path) {
#ifdef _WIN32
  // Windows renames nothing that is open.
  file.close();
#endif
  return renameNoReplace(temporaryPath, path);
}

bool writeWhole(const std::string& path, std::string_view contents, File* heldOld) {
  return writeWhole(
      path, [contents](File& file) { return file.write(contents); }, heldOld);
}

}  // namespace platform
