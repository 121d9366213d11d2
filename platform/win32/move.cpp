#include "platform/win32/windows_config.h"

#include "platform/move.h"

#include "platform/file.h"

namespace platform {
namespace {

bool isDirectoryEntry(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The directory part of a path, with its trailing separator; empty for a bare name. Windows
// takes both slashes as separators, and "C:name" lies in the current directory of drive C.
std::string directoryOf(const std::string& path) {
  const std::size_t last = path.find_last_of("\\/:");
  return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

}  // namespace

bool renameNoReplace(const std::string& source, const std::string& destination) {
  // MoveFileA renames directories as well; nothing here ever moves one, or onto one.
  if (isDirectoryEntry(source) || isDirectoryEntry(destination)) {
    return false;
  }
  return MoveFileA(source.c_str(), destination.c_str()) != 0;
}

bool copyReplacing(const std::string& source, const std::string& destination) {
  if (isDirectoryEntry(source) || isDirectoryEntry(destination)) {
    return false;
  }
  File input = File::open(source, OpenMode::readExisting);
  if (!input.isOpen()) {
    return false;
  }
  // The copy is complete and on the disk before it takes the destination's name, so a crash
  // or a full disk leaves the old destination or the new one, never a partial file.
  std::string temporaryPath;
  File output = File::createTemporary(directoryOf(destination), temporaryPath);
  if (!output.isOpen()) {
    return false;
  }
  const bool copied = copyContents(input, output) && output.sync() && output.close();
  if (!copied || MoveFileExA(temporaryPath.c_str(), destination.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == 0) {
    output.close();
    DeleteFileA(temporaryPath.c_str());
    return false;
  }
  return true;
}

bool moveReplacing(const std::string& source, const std::string& destination) {
  if (isDirectoryEntry(source) || isDirectoryEntry(destination)) {
    return false;
  }
  if (MoveFileExA(source.c_str(), destination.c_str(), MOVEFILE_REPLACE_EXISTING) != 0) {
    return true;
  }
  if (GetLastError() != ERROR_NOT_SAME_DEVICE) {
    return false;
  }
  // Another volume. MOVEFILE_COPY_ALLOWED would copy straight into the destination name, where
  // a crash or a full disk can leave part of the file; the copy goes through a temporary file
  // instead. A source that cannot be deleted makes the move fail, so the .tic stays and the
  // next run tries again; nothing is lost.
  return copyReplacing(source, destination) && DeleteFileA(source.c_str()) != 0;
}

}  // namespace platform
