// The moves that every platform shares, built on the platform's own rename.
#include "platform/file.h"
#include "platform/move.h"
#include "platform/move_detail.h"

namespace platform {

bool copyReplacing(const std::string& source, const std::string& destination,
                   std::uint64_t* movedSize) {
  if (detail::isDirectoryEntry(source) || detail::isDirectoryEntry(destination)) {
    return false;
  }
  File input = File::open(source, OpenMode::readExisting);
  if (!input.isOpen()) {
    return false;
  }
  if (movedSize != nullptr) {
    *movedSize = input.openedStamp().size;
  }
  // The copy keeps the source's permission bits, as a move within one file system does.
  return writeWhole(destination, [&](File& output) {
    return copyContents(input, output) && output.copyPermissionsFrom(source);
  });
}

}  // namespace platform
