#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Files opened without sharing: every open takes an exclusive hold on the file, and fails when
// another opener (this program or another one) holds it, as a sharing violation would.
namespace platform {

enum class OpenMode {
  readExisting,    // read; the file must exist
  writeKeep,       // write; created when missing, never truncated
  createNew,       // write; fails when any entry of that name exists
  createTruncate,  // write; created when missing, emptied once held
};

class File {
 public:
  File() = default;
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;

  // Opens the file exclusively. A failed open gives a closed File.
  static File open(const std::string& path, OpenMode mode);

  // Creates a new, uniquely named file in `directory` (which ends with a separator or is
  // empty for the current directory), exclusively held; its path goes to `pathOut`.
  static File createTemporary(const std::string& directory, std::string& pathOut);

  bool isOpen() const {
#ifdef _WIN32
    return handle != nullptr;
#else
    return fd >= 0;
#endif
  }

  // Returns the size in bytes, or nothing on failure.
  std::optional<std::uint64_t> size() const;

  // Reads the whole file from its start into `out`. Returns false on a read error.
  bool readAll(std::string& out) const;

  // Reads up to `capacity` bytes at the current position: the count read, 0 at the end,
  // nothing on a read error.
  std::optional<std::size_t> read(void* buffer, std::size_t capacity);

  // Writes all bytes at the current position. Returns false when not all were written.
  bool write(std::string_view bytes);
  bool write(const void* bytes, std::size_t count);

  bool seekToEnd();

  // Cuts the file at the current position.
  bool truncateHere();

  // Cuts the file to `length` bytes and moves the position to its new end.
  bool truncateTo(std::uint64_t length);

  // Flushes the file's data to the disk.
  bool sync();

  // Gives the file the permission bits of the file at `path`. False when that fails. Windows
  // has no such bits: there it only checks that `path` exists.
  bool copyPermissionsFrom(const std::string& path);

  // Closes the file and releases the hold; returns false when the close reported an error.
  bool close();

  // Gives the file the permission bits that a newly created file gets (0666 less the
  // process's file-creation mask). False when that fails. Nothing to do on Windows.
  bool setNewFilePermissions();

  // True when `path` names this open file: it has been neither removed nor replaced since it
  // was opened.
  bool isAt(const std::string& path) const;

 private:
#ifdef _WIN32
  // The system's file handle, kept untyped so that this header needs no Windows header; null
  // when closed.
  explicit File(void* fileHandle) : handle(fileHandle) {}
  void* handle = nullptr;
#else
  explicit File(int descriptor) : fd(descriptor) {}
  int fd = -1;
#endif
};

// Copies `input` from its current position to its end into `output`, in chunks. False on a read
// or write error.
bool copyContents(File& input, File& output);

// Reads a whole file, exclusively. Nothing when it cannot be opened or read.
std::optional<std::string> readWholeFile(const std::string& path);

// True when an entry of that name exists (a dangling link counts).
bool exists(const std::string& path);

// True when the path names a directory.
bool isDirectory(const std::string& path);

// Creates one directory level. False when it exists already or cannot be created.
bool createDirectory(const std::string& path);

// Deletes a file. False when it cannot be deleted.
bool deleteFile(const std::string& path);

}  // namespace platform
