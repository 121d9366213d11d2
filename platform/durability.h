#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>
#ifndef _WIN32
#include <thread>
#endif

#include "platform/file.h"
#include "platform/status.h"

// Putting what was written on the disk, and writing files that a crash or a full disk leaves
// whole: the old version or the new one, never a mix.
namespace platform {

// Writes a file whole or not at all: `fill` writes the contents into a new temporary file
// beside `path`, which is synced and then renamed over `path`. The temporary file starts with
// the old file's permission bits (when there is an old file) or those of a new file; `fill`
// may change them. `heldOld`, when given, is an open hold on the old file that is let go of
// right before the rename where the system cannot rename over an open file. On failure, with
// the first cause, `path` is untouched and no temporary file is left, `fill` included.
Status writeWhole(const std::string& path, const std::function<Status(File&)>& fill,
                  File* heldOld = nullptr);
Status writeWhole(const std::string& path, std::string_view contents, File* heldOld = nullptr);

// Gives the temporary file that `file` holds (made by createTemporary at `temporaryPath`) the
// name `path`, only while no entry has that name. Where the system can, the hold lasts through
// the rename; elsewhere the file is closed first.
Status nameTemporary(File& file, const std::string& temporaryPath, const std::string& path);

// Puts on the disk the names made, changed or removed in `directory` (a file's flush covers its
// contents, not its name). Nothing to do where the file system keeps names with the files
// (Windows).
Status syncDirectory(const std::string& directory);

// Deletes the program's own files in `directory` (see kOwnPrefix) that runs which died left
// behind: those that no live run holds, except the names that start with one of `kept`.
void clearLeftovers(const std::string& directory, const std::vector<std::string_view>& kept);

// A path whose flush failed, and why.
struct SyncFailure {
  std::string path;
  Status cause;
};

// True where syncToDisk puts whole file systems on the disk (Linux): a file written on one of
// them before needs no flush of its own.
#ifdef __linux__
constexpr bool kFlushCoversFileSystem = true;
#else
constexpr bool kFlushCoversFileSystem = false;
#endif

// Puts on the disk what was written to the files and directories at `paths` and their file
// systems: once per file system where the system can do that, else path by path. Returns each
// path whose flush failed, with its cause; empty when everything is on the disk.
[[nodiscard]] std::vector<SyncFailure> syncToDisk(const std::vector<std::string>& paths);

// Puts paths on the disk as syncToDisk does, in the background where the system lets the run
// go on meanwhile (POSIX); elsewhere at once. Waits for that work when destroyed.
class BackgroundFlush {
 public:
  BackgroundFlush() = default;
  ~BackgroundFlush() { wait().clear(); }
  BackgroundFlush(const BackgroundFlush&) = delete;
  BackgroundFlush& operator=(const BackgroundFlush&) = delete;

  // Starts the flush of `paths`, once the one started before has ended.
  void start(std::vector<std::string> paths);
  // Returns once the flush started last has ended, with its failures; empty when none was
  // started since the last wait.
  [[nodiscard]] std::vector<SyncFailure> wait();

 private:
  std::vector<SyncFailure> failures;
#ifndef _WIN32
  std::thread worker;
#endif
};

}  // namespace platform
