#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/file.h"

// One .tic as read: where it is, what it holds, and the exclusive hold on it that keeps other
// runs away while it is tossed.
class TicFile {
 public:
  // A .tic is read up to this size; a larger one is cut there (every key that a real .tic
  // carries lies far below it).
  static constexpr std::uint32_t kMaxTicSize = 1U << 20;

  // Opens the .tic at `path`, holds it exclusively and reads it whole. False, with nothing
  // held and nothing read, when it is gone, held by another run, not a regular file (a FIFO, a
  // device, a directory: never waited on), or unreadable.
  bool read(const std::string& path);

  // Returns the value of the first line whose key (the text before its first space, any letter
  // case) is `key`, without leading spaces; the empty string when no line carries the key.
  std::string valueOf(const std::string& key) const;

  // Returns the value of every line whose key is `key`, in the order of the .tic.
  std::vector<std::string> valuesOf(const std::string& key) const;

  const std::string& path() const { return ticPath; }

  // When the .tic was last changed (seconds since 1970-01-01 00:00:00 UTC), as read.
  std::int64_t modifiedTime() const { return hold.openedStamp().modifiedTime; }

  // Which file the .tic read is, and how it was when read.
  const platform::FileStamp& stamp() const { return hold.openedStamp(); }

  // Lets go of the .tic and deletes it (an empty `destination`) or moves it to `destination`,
  // replacing a file there; the contents read stay. Where the system can, the hold lasts until
  // the .tic is gone, so that no other run takes it up in between and tosses its file again.
  platform::Status dispose(const std::string& destination);

  // True while the .tic held is still the one at its path: another run has not deleted it, nor
  // moved it away to TICDir, since it was read.
  bool stillInPlace() const { return hold.isAt(ticPath); }

 private:
  std::string ticPath;
  std::string text;
  platform::File hold;
};

// True when the .tic gives the file's "Size" or "Crc" (CRC-32, hexadecimal), or both, and the
// file at `path` has every one it gives.
bool isDescribedFile(const TicFile& tic, const std::string& path);
