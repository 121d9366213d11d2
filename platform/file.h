#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>
#ifndef _WIN32
#include <thread>
#endif

// Files opened without sharing: every open takes an exclusive hold on the file, and fails when
// another opener (this program or another one) holds it, as a sharing violation would.
namespace platform {

enum class OpenMode {
  readExisting,    // read; the file must exist and be a regular file
  writeKeep,       // write; created when missing, never truncated
  createNew,       // write; fails when any entry of that name exists
  createTruncate,  // write; created when missing, emptied once held
  updateExisting,  // read and write; the file must exist and be a regular file
  updateNew,       // read and write; fails when any entry of that name exists
};

// What a file was when last looked at: which file it is, how long, and when it last changed.
// Two equal stamps of one path mean that nobody has changed the file in between.
struct FileStamp {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t size = 0;
  std::int64_t modified = 0;  // nanoseconds, or whatever finer unit the system keeps
  std::uint32_t links = 0;    // 0 once the file has been deleted
  bool operator==(const FileStamp&) const = default;
};

class File {
 public:
  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;

  // Opens the file exclusively. While another opener holds it, tries again until `wait` has
  // passed. A failed open gives a closed File; a FIFO or device never blocks the open.
  static File open(const std::string& path, OpenMode mode,
                   std::chrono::milliseconds wait = std::chrono::milliseconds(0));

  // Creates a new, uniquely named file in `directory` (which ends with a separator or is
  // empty for the current directory), exclusively held; its path goes to `pathOut`. Its name
  // is `stem` followed by six random letters and digits.
  static File createTemporary(const std::string& directory, std::string& pathOut,
                              std::string_view stem = ".quenfar-");

  bool isOpen() const {
#ifdef _WIN32
    return handle != nullptr;
#else
    return fd >= 0;
#endif
  }

  // Returns the size in bytes, or nothing on failure.
  std::optional<std::uint64_t> size() const;

  // Returns the file's stamp, or nothing on failure.
  std::optional<FileStamp> stamp() const;

  // The file's stamp as it was when the hold was taken (by open); all zero for a File that
  // createTemporary made.
  const FileStamp& openedStamp() const {
    return opened;
  }

  // Reads the whole file from its start into `out`. Returns false on a read error.
  bool readAll(std::string& out) const;

  // Reads up to `capacity` bytes at the current position: the count read, 0 at the end,
  // nothing on a read error.
  std::optional<std::size_t> read(void* buffer, std::size_t capacity);

  // As read, at `offset`, leaving the current position alone.
  std::optional<std::size_t> readAt(std::uint64_t offset, void* buffer, std::size_t capacity);

  // Writes all bytes at the current position. Returns false when not all were written.
  bool write(std::string_view bytes);
  bool write(const void* bytes, std::size_t count);

  // Writes all bytes at `offset`, leaving the current position alone. False when not all were
  // written.
  bool writeAt(std::uint64_t offset, std::string_view bytes);

  bool seekToEnd();

  // Cuts the file to `length` bytes and moves the position to its new end.
  bool truncateTo(std::uint64_t length);

  // Flushes the file's data to the disk.
  bool sync();

  // Gives the file the permission bits of the file at `path`. False when that fails. Windows
  // has no such bits: there it only checks that `path` exists.
  bool copyPermissionsFrom(const std::string& path);

  // Closes the file and releases the hold; returns false when the close reported an error.
  bool close();

  // Ends the hold but keeps the file open where the system can (POSIX), so that the hold can
  // be taken again without opening the file anew; elsewhere closes the file. True when the file
  // is still open.
  bool releaseHold();

  // Takes the hold again on a file that releaseHold kept open, waiting up to `wait` while
  // another opener has it, and takes openedStamp() anew. False when the hold cannot be had.
  bool retakeHold(std::chrono::milliseconds wait);

  // Takes openedStamp() anew on a file still held, as it is now. False when that fails.
  bool restamp();

  // Gives the file the permission bits that a newly created file gets (0666 less the
  // process's file-creation mask). False when that fails. Nothing to do on Windows.
  bool setNewFilePermissions();

  // True when `path` names this open file: it has been neither removed nor replaced since it
  // was opened. (Only the name is looked up; the file itself is known from its opening.)
  bool isAt(const std::string& path) const;

 private:
#ifdef _WIN32
  // The system's file handle, kept untyped so that this header needs no Windows header; null
  // when closed.
  explicit File(void* fileHandle) : handle(fileHandle) {}
  void* handle = nullptr;
  FileStamp opened;
#else
  explicit File(int descriptor) : fd(descriptor) {}
  int fd = -1;
  FileStamp opened;
#endif
};

// Writes a file whole or not at all: `fill` writes the contents into a new temporary file
// beside `path`, which is synced and then renamed over `path`, so a crash or a full disk leaves
// the old file or the new one, never a mix. The temporary file starts with the old file's
// permission bits (when there is an old file) or those of a new file; `fill` may change them.
// `heldOld`, when given, is an open hold on the old file that is released right before the rename
// where the system cannot rename over an open file. False, with `path` untouched and no temporary
// file left, when any step fails, `fill` included.
bool writeWhole(const std::string& path, const std::function<bool(File&)>& fill,
                File* heldOld = nullptr);
bool writeWhole(const std::string& path, std::string_view contents, File* heldOld = nullptr);

// Gives the temporary file that `file` holds (made by createTemporary at `temporaryPath`) the
// name `path`, only while no entry has that name. Where the system can, the hold lasts through
// the rename; elsewhere the file is closed first. False when the name could not be given.
bool nameTemporary(File& file, const std::string& temporaryPath, const std::string& path);

// The directory part of a path, with its trailing separator; empty for a bare name.
std::string directoryOf(const std::string& path);

// Copies `input` from its current position to its end into `output`, in chunks. False on a read
// or write error.
bool copyContents(File& input, File& output);

// Reads a whole file, exclusively, waiting up to `wait` while another opener holds it. Nothing
// when it cannot be opened or read.
std::optional<std::string> readWholeFile(
    const std::string& path, std::chrono::milliseconds wait = std::chrono::milliseconds(0));

// True when an entry of that name exists (a dangling link counts).
bool exists(const std::string& path);

// True when the path names a directory.
bool isDirectory(const std::string& path);

// True when new files can be made in the directory (the empty path is the current one).
bool isWritableDirectory(const std::string& path);

// Creates one directory level. False when it exists already or cannot be created.
bool createDirectory(const std::string& path);

// Deletes a file. False when it cannot be deleted.
bool deleteFile(const std::string& path);

// Puts on the disk what was written to the files and directories at `paths` and their file
// systems: once per file system where the system can do that, else path by path. False when
// any flush failed.
bool syncToDisk(const std::vector<std::string>& paths);

// Puts on the disk, in the background, what is already written to the file system of a path,
// so that a syncToDisk at the end has less left to wait for: the files a mailer has just
// received are written out while the run tosses them. Waits for that work when destroyed.
// Does nothing where syncToDisk flushes path by path.
class FlushAhead {
 public:
  FlushAhead() = default;
  ~FlushAhead() { wait(); }
  FlushAhead(const FlushAhead&) = delete;
  FlushAhead& operator=(const FlushAhead&) = delete;

  // Starts the flush of the file system that holds `path`; a later call does nothing.
  void start(const std::string& path);
  // Returns once the flush has ended.
  void wait();

 private:
  bool begun = false;
#ifndef _WIN32
  std::thread worker;
#endif
};

}  // namespace platform
