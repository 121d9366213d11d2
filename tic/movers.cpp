#include "tic/movers.h"

#include "platform/file.h"
#include "platform/move.h"

bool moveLikeWin9x(const std::string& source, const std::string& destination) {
  if (platform::renameNoReplace(source, destination)) {
    return true;
  }
  if (!platform::copyReplacing(source, destination)) {
    return false;
  }
  platform::deleteFile(source);
  return true;
}

bool moveLikeNt(const std::string& source, const std::string& destination) {
  return platform::moveReplacing(source, destination);
}
