#include "platform/win32/windows_config.h"

#include "platform/file_system.h"

#include "platform/move_detail.h"

namespace platform {

// Windows takes both slashes as separators, and "C:name" lies in the current directory of
// drive C.
std::string directoryOf(const std::string& path) {
  const std::size_t last = path.find_last_of("\\/:");
  return last == std::string::npos ? std::string() : path.substr(0, last + 1);
}

bool isPlainEntryName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") {
    return false;
  }
  for (const char c : name) {
    const auto code = static_cast<unsigned char>(c);
    // A drive ("C:name") or an alternate data stream ("name:stream") is no plain name.
    if (c == '/' || c == '\\' || c == ':' || code < 32 || code == 127) {
      return false;
    }
  }
  // Windows drops a trailing space or dot from a name, so such a file could never be found
  // under the name given, and its .tic would come back run after run.
  return name.back() != ' ' && name.back() != '.';
}

bool exists(const std::string& path) {
  if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) {
    return true;
  }
  // Only "not found" means absent: a name that cannot be looked at (access denied, a file
  // about to be deleted) is still taken.
  switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_DRIVE:
      return false;
    default:
      return true;
  }
}

bool isDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

Status createDirectory(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) != 0 ? Status() : Status::lastSystemError();
}

bool isWritableDirectory(const std::string& path) {
  // Windows keeps write access in ACLs that only an attempt tells; the read-only attribute of a
  // directory does not restrict it.
  return path.empty() || isDirectory(path);
}

Status deleteFile(const std::string& path) {
  // DeleteFileA never removes a directory.
  return DeleteFileA(path.c_str()) != 0 ? Status() : Status::lastSystemError();
}

Status checkRegularFile(const std::string& path) {
  return detail::regularFileEntry(path);
}

namespace detail {

Status regularFileEntry(const std::string& path, std::uint64_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) == 0) {
    return Status::lastSystemError();
  }
  // A reparse point is a symbolic link or a junction: what it points to is not the file's own.
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return Status::refused("is a symbolic link");
  }
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return Status::refused("is a directory");
  }
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0) {
    return Status::refused("is not a regular file");
  }
  if (size != nullptr) {
    *size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  }
  return {};
}

Status notDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
             ? Status::refused("is a directory")
             : Status();
}

bool isCrossDevice(const Status& renamed) {
  return renamed.is(ERROR_NOT_SAME_DEVICE);
}

void releaseBeforeRename(File& held) {
  // Windows deletes and renames nothing that is open, nor over a file that is open, even by
  // this program.
  held.close().ignore();
}

}  // namespace detail

}  // namespace platform
