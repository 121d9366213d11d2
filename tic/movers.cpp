#include "tic/movers.h"

#include "platform/file_system.h"
#include "platform/move.h"

platform::Status moveLikeWin9x(const std::string& source, const std::string& destination,
                               std::uint64_t* movedSize, const platform::FileStamp* found) {
  if (platform::renameNoReplace(source, destination, movedSize, found)) {
    return {};
  }
  if (platform::Status copied = platform::copyReplacing(source, destination, movedSize); !copied) {
    return copied;
  }
  // The copy is in place: a source that cannot be deleted still counts as moved.
  platform::deleteFile(source).ignore();
  return {};
}

platform::Status moveLikeNt(const std::string& source, const std::string& destination,
                            std::uint64_t* movedSize, const platform::FileStamp* found) {
  return platform::moveReplacing(source, destination, movedSize, found);
}
