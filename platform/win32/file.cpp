#include "platform/win32/windows_config.h"

#include "platform/file.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <thread>
#include <utility>
#include <vector>

#include "platform/win32/unique_handle.h"

namespace platform {
namespace {

// ReadFile and WriteFile take 32-bit counts; larger transfers go in pieces of this size.
constexpr DWORD kMaxTransfer = 1U << 30;

// How often a temporary name is drawn again when the one drawn is taken.
constexpr int kTemporaryAttempts = 100;

std::uint64_t mix(std::uint64_t value) {
  // splitmix64: spreads a few changing bits (time, process, counter) over the whole word.
  value += 0x9E3779B97F4A7C15ULL;
  value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
  value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
  return value ^ (value >> 31);
}

std::string temporaryName(std::string_view stem) {
  static std::uint64_t counter = 0;
  LARGE_INTEGER ticks{};
  QueryPerformanceCounter(&ticks);
  std::uint64_t bits = mix(static_cast<std::uint64_t>(ticks.QuadPart) ^
                           (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32) ^ ++counter);
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name(stem);
  for (int i = 0; i < 6; ++i) {
    name.push_back(kLetters[bits % 36]);
    bits /= 36;
  }
  return name;
}

bool setPosition(HANDLE handle, std::int64_t offset, DWORD method, std::int64_t* result) {
  LARGE_INTEGER distance{};
  distance.QuadPart = offset;
  LARGE_INTEGER reached{};
  if (SetFilePointerEx(handle, distance, &reached, method) == 0) {
    return false;
  }
  if (result != nullptr) {
    *result = reached.QuadPart;
  }
  return true;
}

// Reads up to `capacity` bytes; nothing on a read error, 0 at the end of the file.
Result<std::size_t> readSome(HANDLE handle, void* buffer, std::size_t capacity) {
  const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(capacity, kMaxTransfer));
  DWORD count = 0;
  if (ReadFile(handle, buffer, wanted, &count, nullptr) == 0) {
    return Status::lastSystemError();
  }
  return static_cast<std::size_t>(count);
}

bool identify(HANDLE handle, BY_HANDLE_FILE_INFORMATION& info) {
  return GetFileInformationByHandle(handle, &info) != 0;
}

}  // namespace

File::~File() {
  close().ignore();
}

File::File(File&& other) noexcept
    : handle(std::exchange(other.handle, nullptr)), opened(other.opened), failure(other.failure) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    close().ignore();
    handle = std::exchange(other.handle, nullptr);
    opened = other.opened;
    failure = other.failure;
  }
  return *this;
}

File File::open(const std::string& path, OpenMode mode, std::chrono::milliseconds wait) {
  // Share mode 0 is the exclusive hold itself: while this handle is open, every other open of
  // the file for reading, writing or deleting fails with a sharing violation.
  DWORD access = GENERIC_WRITE | FILE_READ_ATTRIBUTES;
  DWORD disposition = OPEN_ALWAYS;
  DWORD flags = FILE_ATTRIBUTE_NORMAL;
  switch (mode) {
    case OpenMode::readExisting:
    case OpenMode::readToDispose:
      // A handle that may delete its file is what lets the file go while it is still held.
      access = mode == OpenMode::readToDispose ? GENERIC_READ | DELETE : GENERIC_READ;
      disposition = OPEN_EXISTING;
      flags |= FILE_FLAG_SEQUENTIAL_SCAN;
      break;
    case OpenMode::writeKeep:
    case OpenMode::createTruncate:
      break;
    case OpenMode::updateExisting:
      access = GENERIC_READ | GENERIC_WRITE;
      disposition = OPEN_EXISTING;
      break;
    case OpenMode::updateNew:
      access = GENERIC_READ | GENERIC_WRITE;
      disposition = CREATE_NEW;
      break;
  }
  // Without FILE_FLAG_BACKUP_SEMANTICS a directory never opens, the same as on POSIX. A sharing
  // violation is another opener's hold: tried again, with growing pauses, until `wait` passed.
  const auto deadline = std::chrono::steady_clock::now() + wait;
  auto pause = std::chrono::milliseconds(1);
  win32::UniqueHandle opened;
  for (;;) {
    opened = win32::UniqueHandle(
        CreateFileA(path.c_str(), access, 0, nullptr, disposition, flags, nullptr));
    if (opened || GetLastError() != ERROR_SHARING_VIOLATION ||
        std::chrono::steady_clock::now() >= deadline) {
      break;
    }
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::milliseconds(32));
  }
  if (!opened) {
    return failed(GetLastError() == ERROR_SHARING_VIOLATION
                      ? Status::refused("it is held by another process")
                      : Status::lastSystemError());
  }
  const bool mustBeRegular = mode == OpenMode::readExisting || mode == OpenMode::updateExisting;
  if (mustBeRegular && GetFileType(opened.get()) != FILE_TYPE_DISK) {
    return failed(Status::refused("it is not a regular file"));
  }
  // Emptied only once held, so a file that another opener holds keeps its contents.
  if (mode == OpenMode::createTruncate && SetEndOfFile(opened.get()) == 0) {
    return failed(Status::lastSystemError());
  }
  File file(opened.release());
  if (const Result<FileStamp> now = file.stamp()) {
    file.opened = *now;
  }
  return file;
}

File File::createTemporary(const std::string& directory, std::string& pathOut,
                           std::string_view stem) {
  pathOut.clear();
  for (int attempt = 0; attempt < kTemporaryAttempts; ++attempt) {
    const std::string candidate = directory + temporaryName(stem);
    HANDLE created = CreateFileA(candidate.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created != INVALID_HANDLE_VALUE) {
      pathOut = candidate;
      return File(created);
    }
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) {
      return failed(Status::systemError(static_cast<int>(error)));
    }
  }
  return failed(Status::refused("no temporary name is free"));
}

Result<std::uint64_t> File::size() const {
  LARGE_INTEGER value{};
  if (handle == nullptr) {
    return Status::systemError(ERROR_INVALID_HANDLE);
  }
  if (GetFileSizeEx(handle, &value) == 0) {
    return Status::lastSystemError();
  }
  return static_cast<std::uint64_t>(value.QuadPart);
}

namespace {

Result<FileStamp> stampOfHandle(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (handle == nullptr) {
    return Status::systemError(ERROR_INVALID_HANDLE);
  }
  if (!identify(handle, info)) {
    return Status::lastSystemError();
  }
  FileStamp result;
  result.device = info.dwVolumeSerialNumber;
  result.inode = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  result.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  result.modified = static_cast<std::int64_t>(
      (static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32) |
      info.ftLastWriteTime.dwLowDateTime);
  // A FILETIME counts 100 ns steps from 1601-01-01; the epoch lies 11644473600 s later.
  result.modifiedTime = result.modified / 10000000 - 11644473600LL;
  result.links = info.nNumberOfLinks;
  // A reparse point is a symbolic link or a junction: what it points to is not the entry's own.
  result.kind = (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? EntryKind::link
                : (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0   ? EntryKind::directory
                : (info.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0      ? EntryKind::other
                                                                            : EntryKind::regular;
  return result;
}

}  // namespace

Result<FileStamp> File::stamp() const {
  return stampOfHandle(handle);
}

Result<std::string> File::readAll() const {
  // Reads from the start and puts the position back, so callers see no move, as with pread.
  std::int64_t saved = 0;
  if (handle == nullptr) {
    return Status::systemError(ERROR_INVALID_HANDLE);
  }
  if (!setPosition(handle, 0, FILE_CURRENT, &saved) ||
      !setPosition(handle, 0, FILE_BEGIN, nullptr)) {
    return Status::lastSystemError();
  }
  std::string out;
  if (const auto known = size()) {
    out.reserve(static_cast<std::size_t>(*known));
  }
  char chunk[65536];
  Status complete;
  for (;;) {
    const auto count = readSome(handle, chunk, sizeof chunk);
    if (!count) {
      complete = count.status();
      break;
    }
    if (*count == 0) {
      break;
    }
    out.append(chunk, *count);
  }
  if (!setPosition(handle, saved, FILE_BEGIN, nullptr) && complete) {
    complete = Status::lastSystemError();
  }
  if (!complete) {
    return complete;
  }
  return out;
}

Result<std::size_t> File::readAt(std::uint64_t offset, void* buffer, std::size_t capacity) {
  if (handle == nullptr) {
    return Status::systemError(ERROR_INVALID_HANDLE);
  }
  const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(capacity, kMaxTransfer));
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFU);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD count = 0;
  if (ReadFile(handle, buffer, wanted, &count, &at) == 0) {
    if (GetLastError() == ERROR_HANDLE_EOF) {
      return std::size_t{0};
    }
    return Status::lastSystemError();
  }
  return static_cast<std::size_t>(count);
}

Result<std::size_t> File::read(void* buffer, std::size_t capacity) {
  if (handle == nullptr) {
    return Status::systemError(ERROR_INVALID_HANDLE);
  }
  return readSome(handle, buffer, capacity);
}

Status File::write(std::string_view bytes) {
  return write(bytes.data(), bytes.size());
}

Status File::write(const void* bytes, std::size_t count) {
  if (handle == nullptr) {
    return Status::systemError(ERROR_INVALID_HANDLE);
  }
  const char* next = static_cast<const char*>(bytes);
  while (count > 0) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(count, kMaxTransfer));
    DWORD written = 0;
    // A write that reports success but moves nothing would loop for ever; it counts as failed.
    if (WriteFile(handle, next, piece, &written, nullptr) == 0) {
      return Status::lastSystemError();
    }
    if (written == 0) {
      return Status::systemError(ERROR_WRITE_FAULT);
    }
    next += written;
    count -= written;
  }
  return {};
}

Status File::writeAt(std::uint64_t offset, std::string_view bytes) {
  if (handle == nullptr) {
    return Status::systemError(ERROR_INVALID_HANDLE);
  }
  const char* next = bytes.data();
  std::size_t count = bytes.size();
  while (count > 0) {
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(count, kMaxTransfer));
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFU);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    if (WriteFile(handle, next, piece, &written, &at) == 0) {
      return Status::lastSystemError();
    }
    if (written == 0) {
      return Status::systemError(ERROR_WRITE_FAULT);
    }
    next += written;
    offset += written;
    count -= written;
  }
  return {};
}

Status File::seekToEnd() {
  if (handle == nullptr) {
    return Status::systemError(ERROR_INVALID_HANDLE);
  }
  return setPosition(handle, 0, FILE_END, nullptr) ? Status() : Status::lastSystemError();
}

Status File::truncateTo(std::uint64_t length) {
  if (handle == nullptr) {
    return Status::systemError(ERROR_INVALID_HANDLE);
  }
  if (length > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
    return Status::systemError(ERROR_INVALID_PARAMETER);
  }
  return setPosition(handle, static_cast<std::int64_t>(length), FILE_BEGIN, nullptr) &&
                 SetEndOfFile(handle) != 0
             ? Status()
             : Status::lastSystemError();
}

Status File::sync() {
  if (handle == nullptr) {
    return Status::systemError(ERROR_INVALID_HANDLE);
  }
  return FlushFileBuffers(handle) != 0 ? Status() : Status::lastSystemError();
}

Status File::copyPermissionsFrom(const std::string& path) {
  // Access on Windows comes from the directory's inherited ACL, the same for a new file as for
  // the one it replaces. The read-only attribute is deliberately not carried over: a read-only
  // destination cannot be replaced anyway, and a read-only temporary could not be deleted
  // after a failure.
  if (handle == nullptr) {
    return Status::systemError(ERROR_INVALID_HANDLE);
  }
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES ? Status()
                                                                     : Status::lastSystemError();
}

Status File::copyAttributesFrom(const File& other) {
  FILETIME written{};
  if (handle == nullptr || other.handle == nullptr) {
    return Status::systemError(ERROR_INVALID_HANDLE);
  }
  if (GetFileTime(other.handle, nullptr, nullptr, &written) == 0 ||
      SetFileTime(handle, nullptr, nullptr, &written) == 0) {
    return Status::lastSystemError();
  }
  return {};
}

Result<FileStamp> entryStamp(const std::string& path) {
  // Asking for attributes only meets no other opener's sharing, so a held file is stamped too;
  // a reparse point is stamped itself, not what it points to.
  const win32::UniqueHandle entry(CreateFileA(
      path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!entry) {
    return Status::lastSystemError();
  }
  return stampOfHandle(entry.get());
}

Status File::deleteHeld(const std::string&) {
  // The file goes when its last handle closes, which is this one: opened without sharing, no
  // other can have been opened meanwhile.
  FILE_DISPOSITION_INFO disposal{};
  disposal.DeleteFile = TRUE;
  if (handle == nullptr ||
      SetFileInformationByHandle(handle, FileDispositionInfo, &disposal, sizeof disposal) == 0) {
    return Status::lastSystemError();
  }
  return close();
}

Status File::renameHeld(const std::string&, const std::string& destination) {
  // Renamed through the handle: a rename by name would have to let go of the file first.
  char full[MAX_PATH * 4];
  const DWORD fullLength = GetFullPathNameA(destination.c_str(), sizeof full, full, nullptr);
  if (fullLength == 0 || fullLength >= sizeof full) {
    return fullLength == 0 ? Status::lastSystemError()
                           : Status::systemError(ERROR_FILENAME_EXCED_RANGE);
  }
  const int wide = MultiByteToWideChar(CP_ACP, 0, full, -1, nullptr, 0);
  if (wide <= 0) {
    return Status::lastSystemError();
  }
  std::vector<unsigned char> buffer(sizeof(FILE_RENAME_INFO) +
                                    sizeof(WCHAR) * static_cast<std::size_t>(wide));
  auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
  rename->ReplaceIfExists = TRUE;
  rename->RootDirectory = nullptr;
  rename->FileNameLength = static_cast<DWORD>(sizeof(WCHAR) * static_cast<std::size_t>(wide - 1));
  if (MultiByteToWideChar(CP_ACP, 0, full, -1, rename->FileName, wide) == 0) {
    return Status::lastSystemError();
  }
  if (handle == nullptr || SetFileInformationByHandle(handle, FileRenameInfo, rename,
                                                      static_cast<DWORD>(buffer.size())) == 0) {
    return Status::lastSystemError();
  }
  return {};
}

Status File::close() {
  if (handle == nullptr) {
    return {};
  }
  return CloseHandle(std::exchange(handle, nullptr)) != 0 ? Status() : Status::lastSystemError();
}

bool File::releaseHold() {
  // Opened without sharing, the handle is the hold: it goes with it.
  close().ignore();
  return false;
}

Status File::retakeHold(std::chrono::milliseconds) {
  // releaseHold closed the file.
  return Status::systemError(ERROR_INVALID_HANDLE);
}

Status File::setNewFilePermissions() {
  return handle != nullptr ? Status() : Status::systemError(ERROR_INVALID_HANDLE);
}

bool File::isAt(const std::string& path) const {
  if (handle == nullptr) {
    return false;
  }
  // Asking only for attributes takes part in no sharing check, so this opens the file even
  // while this handle holds it.
  const win32::UniqueHandle named(CreateFileA(
      path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION held{};
  BY_HANDLE_FILE_INFORMATION found{};
  if (!named || !identify(handle, held) || !identify(named.get(), found)) {
    return false;
  }
  return held.dwVolumeSerialNumber == found.dwVolumeSerialNumber &&
         held.nFileIndexHigh == found.nFileIndexHigh && held.nFileIndexLow == found.nFileIndexLow;
}

}  // namespace platform
