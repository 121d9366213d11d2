#include "tic/toss_evidence.h"

bool TossEvidence::isMovedFile(const platform::FileStamp& found) const {
  if (found.device == source.device) {
    return found.inode == source.inode;  // renamed within its file system
  }
  // Copied across file systems: the copy keeps the size and the modification time.
  return found.size == source.size && found.modified == source.modified;
}

bool TossEvidence::isTic(const platform::FileStamp& found) const {
  return (tic.device == 0 && tic.inode == 0) ||
         (found.device == tic.device && found.inode == tic.inode && found.modified == tic.modified);
}
