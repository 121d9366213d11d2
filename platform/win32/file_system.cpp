#include "platform/win32/windows_config.h"

#include "platform/file_system.h"

#include "platform/move_detail.h"
#include "platform/system.h"

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

Status deleteFile(const std::string& path) {
  // DeleteFileA never removes a directory.
  return DeleteFileA(path.c_str()) != 0 ? Status() : Status::lastSystemError();
}

std::string resolvedPath(const std::string& path) {
  // The configuration beside the program is a file of its own on Windows, not a link.
  return absolutePath(path);
}

Status checkReadableFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return Status::lastSystemError();
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return Status::refused("Is a directory");
  }
  // Shared with everyone, so that a run holding the file is not disturbed by the look.
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    // Held without sharing by a run: the file is there and readable in a moment.
    if (error == ERROR_SHARING_VIOLATION) {
      return {};
    }
    return Status::systemError(static_cast<int>(error));
  }
  CloseHandle(handle);
  return {};
}

Status checkWritable(const std::string& path) {
  const std::string name = path.empty() ? std::string(".") : path;
  const DWORD attributes = GetFileAttributesA(name.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return Status::lastSystemError();
  }
  // Windows tells a directory's rights only through its security descriptor; the read-only
  // attribute is what it enforces for files.
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 && (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
    return Status::systemError(ERROR_ACCESS_DENIED);
  }
  return {};
}

Status checkRegularFile(const std::string& path) {
  return detail::regularFileEntry(path);
}

namespace detail {

Status notDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0
             ? Status::refused("the destination is a directory")
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
