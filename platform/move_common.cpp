// The moves that every platform shares, built on the platform's own rename.
#include "platform/durability.h"
#include "platform/file.h"
#include "platform/move.h"
#include "platform/move_detail.h"

namespace platform {

Status detail::regularFileEntry(const FileStamp& found, std::uint64_t* size) {
  switch (found.kind) {
    case EntryKind::regular:
      if (size != nullptr) {
        *size = found.size;
      }
      return {};
    case EntryKind::link:
      return Status::refused("it is a symbolic link");
    case EntryKind::directory:
      return Status::refused("it is a directory");
    default:
      return Status::refused("it is not a regular file");
  }
}

Status detail::regularFileEntry(const std::string& path, std::uint64_t* size) {
  const Result<FileStamp> found = entryStamp(path);
  return found ? regularFileEntry(*found, size) : found.status();
}

Status detail::movableSource(const std::string& path, std::uint64_t* size, const FileStamp* found) {
  return found != nullptr ? regularFileEntry(*found, size) : regularFileEntry(path, size);
}

Status copyReplacing(const std::string& source, const std::string& destination,
                     std::uint64_t* movedSize) {
  if (Status regular = detail::regularFileEntry(source); !regular) {
    return regular;
  }
  if (Status directory = detail::notDirectory(destination); !directory) {
    return directory;
  }
  File input = File::open(source, OpenMode::readExisting);
  if (!input.isOpen()) {
    return input.why();
  }
  if (movedSize != nullptr) {
    *movedSize = input.openedStamp().size;
  }
  // The copy keeps the source's permission bits, as a move within one file system does.
  return writeWhole(destination, [&](File& output) {
    Status copied = copyContents(input, output);
    return copied ? output.copyAttributesFrom(input) : copied;
  });
}

}  // namespace platform
