#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/status.h"

// Files opened without sharing: every open takes an exclusive hold on the file, and fails when
// another opener (this program or another one) holds it, as a sharing violation would.
// What is done with whole files and names (delete, move, flush) is in file_system.h and
// durability.h.
namespace platform {

// How long a run waits for a file that another run holds: the configuration and the lists it
// reads, a description list it updates. Runs hold them only for moments.
inline constexpr std::chrono::milliseconds kHoldWait(5000);

// The program's own files carry names that start with this: its temporary files, the runs'
// journals, the notes of waiting .tic files.
inline constexpr std::string_view kOwnPrefix = ".quenfar-";

enum class OpenMode {
  readExisting,    // read; the file must exist and be a regular file
  readToDispose,   // as readExisting, and disposeHeld may delete it without letting go first
  writeKeep,       // write; created when missing, never truncated
  createTruncate,  // write; created when missing, emptied once held
  updateExisting,  // read and write; the file must exist and be a regular file
  updateNew,       // read and write; fails when any entry of that name exists
};

// What kind of entry a path names, as seen without following a link.
enum class EntryKind : std::uint8_t { unknown, regular, directory, link, other };

// What a file was when last looked at: which file it is, how long, and when it last changed.
// Two equal stamps of one path mean that nobody has changed the file in between.
struct FileStamp {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::uint64_t size = 0;
  std::int64_t modified = 0;      // nanoseconds, or whatever finer unit the system keeps
  std::int64_t modifiedTime = 0;  // the same, in seconds since 1970-01-01 00:00:00 UTC
  std::uint32_t links = 0;        // 0 once the file has been deleted
  EntryKind kind = EntryKind::unknown;
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
  // passed. A failed open gives a closed File whose why() tells the cause; a FIFO or device
  // never blocks the open.
  static File open(const std::string& path, OpenMode mode,
                   std::chrono::milliseconds wait = std::chrono::milliseconds(0));

  // Creates a new, uniquely named file in `directory` (which ends with a separator or is
  // empty for the current directory), exclusively held; its path goes to `pathOut`. Its name
  // is `stem` followed by six random letters and digits. A failure gives a closed File whose
  // why() tells the cause.
  static File createTemporary(const std::string& directory, std::string& pathOut,
                              std::string_view stem = kOwnPrefix);

  bool isOpen() const {
#ifdef _WIN32
    return handle != nullptr;
#else
    return fd >= 0;
#endif
  }

  // Why a File that open or createTemporary gave is closed; success for an open one.
  const Status& why() const {
    return failure;
  }

  // Returns the size in bytes.
  Result<std::uint64_t> size() const;

  // Returns the file's stamp.
  Result<FileStamp> stamp() const;

  // The file's stamp as it was when the hold was taken (by open); all zero for a File that
  // createTemporary made.
  const FileStamp& openedStamp() const {
    return opened;
  }

  // Reads the whole file from its start, leaving the current position alone.
  Result<std::string> readAll() const;

  // Reads up to `capacity` bytes at the current position: the count read, 0 at the end.
  Result<std::size_t> read(void* buffer, std::size_t capacity);

  // As read, at `offset`, leaving the current position alone.
  Result<std::size_t> readAt(std::uint64_t offset, void* buffer, std::size_t capacity);

  // Writes all bytes at the current position; fails when not all were written.
  Status write(std::string_view bytes);
  Status write(const void* bytes, std::size_t count);

  // Writes all bytes at `offset`, leaving the current position alone; fails when not all were
  // written.
  Status writeAt(std::uint64_t offset, std::string_view bytes);

  Status seekToEnd();

  // Cuts the file to `length` bytes and moves the position to its new end.
  Status truncateTo(std::uint64_t length);

  // Flushes the file's data to the disk.
  Status sync();

  // Gives the file the permission bits of the file at `path`. Windows has no such bits: there
  // it only checks that `path` exists.
  Status copyPermissionsFrom(const std::string& path);

  // Gives the file the permission bits (POSIX only) and the modification time of the open file
  // `other`, as a move within one file system keeps them: a copy is then known by its size and
  // time as the file it was made from. Call it after the last write.
  Status copyAttributesFrom(const File& other);

  // Closes the file and releases the hold; fails when the close reported an error (a write
  // that the system could only report then).
  Status close();

  // Ends the hold but keeps the file open where the system can (POSIX), so that the hold can
  // be taken again without opening the file anew; elsewhere closes the file. True when the file
  // is still open.
  [[nodiscard]] bool releaseHold();

  // Takes the hold again on a file that releaseHold kept open, waiting up to `wait` while
  // another opener has it, and takes openedStamp() anew; fails with the cause ("it is held by
  // another process" once `wait` has passed).
  Status retakeHold(std::chrono::milliseconds wait);

  // Takes openedStamp() anew on a file still held, as it is now.
  Status restamp();

  // Deletes the file while the hold lasts, so that no other opener takes it up before it is
  // gone, and closes it. Where the system cannot (a file not opened with readToDispose on
  // Windows) nothing is done and the cause tells why. On POSIX the hold lasts through any
  // delete by name: there it is only closed after deleting `path`.
  Status deleteHeld(const std::string& path);

  // Renames the file at `path` over `destination` while the hold lasts, so that no other
  // opener takes it up in between; the file stays open. Where the system cannot (a file not
  // opened with readToDispose on Windows, or another volume) nothing is done and the cause
  // tells why.
  Status renameHeld(const std::string& path, const std::string& destination);

  // Gives the file the permission bits that a newly created file gets (0666 less the
  // process's file-creation mask). Nothing to do on Windows.
  Status setNewFilePermissions();

  // True when `path` names this open file: it has been neither removed nor replaced since it
  // was opened. (Only the name is looked up; the file itself is known from its opening.)
  bool isAt(const std::string& path) const;

 private:
  static File failed(Status cause) {
    File file;
    file.failure = cause;
    return file;
  }
#ifdef _WIN32
  // The system's file handle, kept untyped so that this header needs no Windows header; null
  // when closed.
  explicit File(void* fileHandle) : handle(fileHandle) {}
  void* handle = nullptr;
  FileStamp opened;
  Status failure;
#else
  explicit File(int descriptor) : fd(descriptor) {}
  int fd = -1;
  FileStamp opened;
  Status failure;
#endif
};

// The stamp of the entry at `path` itself (a link is not followed); fails when there is no such
// entry or it cannot be looked up.
Result<FileStamp> entryStamp(const std::string& path);

// Copies `input` from its current position to its end into `output`, in chunks.
Status copyContents(File& input, File& output);

// Reads a whole file, exclusively, waiting up to `wait` while another opener holds it; fails
// with the cause when it cannot be opened or read.
Result<std::string> readWholeFile(const std::string& path,
                                  std::chrono::milliseconds wait = std::chrono::milliseconds(0));

}  // namespace platform
