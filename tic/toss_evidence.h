#pragma once

#include "platform/file.h"

// What tells, after a crash, which files a toss worked with: the .tic that was read, and the
// file that was to be moved, as they were before the move. A rename keeps the file's identity
// (device and inode, or volume and file ID); a copy across file systems keeps its size and
// modification time. All zero where it is not known (a journal of an older run).
struct TossEvidence {
  platform::FileStamp tic;     // the .tic, as read
  platform::FileStamp source;  // the file, before its move

  bool known() const { return source.device != 0 || source.inode != 0; }
  // True when `found`, the file at the destination, is the file that was to be moved.
  bool isMovedFile(const platform::FileStamp& found) const;
  // True when `found`, the .tic at its path, is the .tic that was read (an inode number comes
  // back once its file is gone; its time does not).
  bool isTic(const platform::FileStamp& found) const;
};
