#include "platform/file.h"
#include "platform/move.h"
#include "tic/nt_tic_processor.h"
#include "tic/win9x_tic_processor.h"

bool Win9xTicProcessor::moveFile(const std::string& source, const std::string& destination) {
  if (platform::renameNoReplace(source, destination)) {
    return true;
  }
  if (!platform::copyReplacing(source, destination)) {
    return false;
  }
  platform::deleteFile(source);
  return true;
}

bool NtTicProcessor::moveFile(const std::string& source, const std::string& destination) {
  return platform::moveReplacing(source, destination);
}
