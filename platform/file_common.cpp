// The file operations built on File and the platform's own rename, shared by every platform.
#include "platform/durability.h"

#include <algorithm>

#include "platform/directory.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/move.h"
#include "platform/move_detail.h"

namespace platform {

Status File::restamp() {
  const Result<FileStamp> now = stamp();
  if (!now) {
    return now.status();
  }
  opened = *now;
  return {};
}

Result<std::string> readWholeFile(const std::string& path, std::chrono::milliseconds wait) {
  File file = File::open(path, OpenMode::readExisting, wait);
  if (!file.isOpen()) {
    return file.why();
  }
  return file.readAll();
}

Status copyContents(File& input, File& output) {
  // Chunks keep memory flat whatever the file's size. Reading at offsets leaves the input's
  // position alone, so a file that was read before is still copied from its start.
  char chunk[1 << 16];
  std::uint64_t offset = 0;
  for (;;) {
    const auto count = input.readAt(offset, chunk, sizeof chunk);
    if (!count) {
      return count.status();
    }
    if (*count == 0) {
      return {};
    }
    if (Status written = output.write(chunk, *count); !written) {
      return written;
    }
    offset += *count;
  }
}

Status writeWhole(const std::string& path, const std::function<Status(File&)>& fill,
                  File* heldOld) {
  std::string temporaryPath;
  File file = File::createTemporary(directoryOf(path), temporaryPath);
  if (!file.isOpen()) {
    return file.why();
  }
  // A temporary file is private to its creator; the new file gets the bits the old one had,
  // or those of any new file.
  Status written = exists(path) ? file.copyPermissionsFrom(path) : file.setNewFilePermissions();
  // On the disk before the rename, so a crash leaves the old file or the new one whole.
  if (written) {
    written = fill(file);
  }
  if (written) {
    written = file.sync();
  }
  if (written) {
    detail::releaseBeforeRename(file);
    if (heldOld != nullptr) {
      detail::releaseBeforeRename(*heldOld);
    }
    // Where the temporary file stays held through the rename, whoever clears away leftover
    // temporary files finds it locked until it has its final name.
    written = detail::renameReplacing(temporaryPath, path);
    if (written) {
      return {};
    }
  }
  file.close().ignore();
  deleteFile(temporaryPath).ignore();
  return written;
}

Status writeWhole(const std::string& path, std::string_view contents, File* heldOld) {
  return writeWhole(
      path, [contents](File& file) { return file.write(contents); }, heldOld);
}

Status nameTemporary(File& file, const std::string& temporaryPath, const std::string& path) {
  detail::releaseBeforeRename(file);
  return renameNoReplace(temporaryPath, path);
}

namespace {

// Deletes the held file at `path` while held where the system can, else lets go and deletes it
// by name.
Status deleteHeldFile(File& held, const std::string& path) {
  Status deleted = held.isOpen() ? held.deleteHeld(path) : deleteFile(path);
  if (!deleted && held.isOpen()) {
    // Held in a way that cannot delete (Windows): let go first, then delete by name.
    detail::releaseBeforeRename(held);
    deleted = deleteFile(path);
  }
  return deleted;
}

// Moves the held file at `path` over `destination`; across file systems it is copied from the
// held file itself, since opening it again would meet the run's own hold.
Status moveHeldReplacing(File& held, const std::string& path, const std::string& destination) {
  if (Status directory = detail::notDirectory(destination); !directory) {
    return directory;
  }
  // Renamed while held, so that no other run takes the file up in between.
  Status renamed = held.isOpen() ? held.renameHeld(path, destination)
                                 : detail::renameReplacing(path, destination);
  if (!renamed && held.isOpen() && !detail::isCrossDevice(renamed)) {
    // Held in a way that cannot rename (Windows, not opened with readToDispose): let go first.
    detail::releaseBeforeRename(held);
    renamed = detail::renameReplacing(path, destination);
  }
  if (renamed || !detail::isCrossDevice(renamed)) {
    return renamed;
  }
  if (!held.isOpen()) {
    // Let go of already: the copy opens the file anew.
    if (Status copied = copyReplacing(path, destination); !copied) {
      return copied;
    }
    return deleteFile(path);
  }
  const Status copied = writeWhole(destination, [&](File& output) {
    Status status = copyContents(held, output);
    return status ? output.copyAttributesFrom(held) : status;
  });
  if (!copied) {
    return copied;
  }
  // The copy is complete under its new name; a source that cannot be deleted fails the
  // disposal, and the caller keeps it for the next try.
  return deleteHeldFile(held, path);
}

}  // namespace

Status disposeHeld(File& held, const std::string& path, const std::string& destination) {
  Status outcome;
  if (destination.empty()) {
    outcome = deleteHeldFile(held, path);
  } else {
    outcome = moveHeldReplacing(held, path, destination);
  }
  held.close().ignore();
  return outcome;
}

void clearLeftovers(const std::string& directory, const std::vector<std::string_view>& kept) {
  const auto isLeftover = [&kept](std::string_view name) {
    return name.substr(0, kOwnPrefix.size()) == kOwnPrefix &&
           std::none_of(kept.begin(), kept.end(), [name](std::string_view stem) {
             return name.substr(0, stem.size()) == stem;
           });
  };
  std::vector<std::string> leftovers;
  DirectorySearch search(directory);
  std::string name;
  while (search.next(name)) {
    if (isLeftover(name)) {
      leftovers.push_back(directory + name);
    }
  }
  // A temporary file that a live run is writing is held by it; one that already took its
  // final name is no longer under this one.
  for (const std::string& path : leftovers) {
    File leftover = File::open(path, OpenMode::updateExisting);
    if (leftover.isOpen() && leftover.isAt(path)) {
      disposeHeld(leftover, path).ignore();
    }
  }
}

}  // namespace platform
