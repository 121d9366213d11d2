// The moves that every platform shares, built on the platform's own rename.
#include "platform/file.h"
#include "platform/move.h"
#include "platform/move_detail.h"

namespace platform {

bool copyReplacing(const std::string& source, const std::string& destination) {
  if (detail::isDirectoryEntry(source) || detail::isDirectoryEntry(destination)) {
    return false;
  }
  File input = File::open(source, OpenMode::readExisting);
  if (!input.isOpen()) {
    return false;
  }
  // The copy is complete and on the disk before it takes the destination's name, so a crash
  // or a full disk leaves the old destination or the new one, never a partial file.
  std::string temporaryPath;
  File output = File::createTemporary(detail::directoryOf(destination), temporaryPath);
  if (!output.isOpen()) {
    return false;
  }
  const bool copied = copyContents(input, output) && output.copyPermissionsFrom(source) &&
                      output.sync() && output.close();
  if (!copied || !detail::renameReplacing(temporaryPath, destination)) {
    output.close();
    deleteFile(temporaryPath);
    return false;
  }
  return true;
}

}  // namespace platform
