#include "tic/movers.h"

#include "platform/file.h"
#include "platform/move.h"

bool moveLikeWin9x(const std::string& source, const std::string& destination,
                   std::uint64_t* movedSize) {
  if (platform::renameNoReplace(source, destination, movedSize)) {
    return true;
  }
  if (!platform::copyReplacing(source, destination, movedSize)) {
    return false;
  }
  platform::deleteFile(source);
  return true;
}

bool moveLikeNt(const std::string& source, const std::string& destination,
                std::uint64_t* movedSize) {
  return platform::moveReplacing(source, destination, movedSize);
}
