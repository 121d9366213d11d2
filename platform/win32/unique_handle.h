#pragma once

#include "platform/win32/windows_config.h"

#include <utility>

namespace platform::win32 {

// Owns a kernel handle and closes it when it goes out of scope. Both failure values that the
// API uses (null and INVALID_HANDLE_VALUE) are held as null.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE value) : handle(value == INVALID_HANDLE_VALUE ? nullptr : value) {}
  ~UniqueHandle() { reset(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle(std::exchange(other.handle, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      reset();
      handle = std::exchange(other.handle, nullptr);
    }
    return *this;
  }

  HANDLE get() const { return handle; }
  explicit operator bool() const { return handle != nullptr; }

  // Gives up ownership without closing.
  HANDLE release() { return std::exchange(handle, nullptr); }

  // Closes the handle; false when the close reported an error.
  bool reset() {
    if (handle == nullptr) {
      return true;
    }
    return CloseHandle(std::exchange(handle, nullptr)) != 0;
  }

 private:
  HANDLE handle = nullptr;
};

}  // namespace platform::win32
