#pragma once

#include <string>

// The outcome of an operation: success, or why it failed. The cause is the system's own error
// code (errno on POSIX, GetLastError on Windows), worded by the system, or a refusal of the
// program's own in fixed words ("it is a symbolic link"). An outcome must be looked at: the type
// is [[nodiscard]], so a caller that has no use for it says so with `.ignore()`.
namespace platform {

class [[nodiscard]] Status {
 public:
  // Success.
  Status() = default;

  // A failure with the system's error code `code`.
  static Status systemError(int code) {
    Status status;
    status.failed = true;
    status.code = code;
    return status;
  }

  // A failure with the calling thread's last system error (errno, GetLastError), taken now:
  // call it right after the call that failed.
  static Status lastSystemError();

  // A failure that the program itself decides on, in words that read after "cannot do this to
  // that: " ("it is a symbolic link"). `reason` must outlive the Status: a string literal.
  static Status refused(const char* reason) {
    Status status;
    status.failed = true;
    status.reason = reason;
    return status;
  }

  bool ok() const { return !failed; }
  explicit operator bool() const { return !failed; }

  // The system's error code; 0 on success and for the program's own refusals.
  int systemCode() const { return code; }

  // True for a failure whose system code is `systemCode` (ENOSPC, ERROR_DISK_FULL...).
  bool is(int systemCode) const { return failed && code == systemCode; }

  // The cause in words: the system's text for its code ("No space left on device") or the
  // refusal's own; empty on success.
  std::string text() const;

  // Drops the outcome on purpose, where nothing can be done about a failure.
  void ignore() const {}

 private:
  bool failed = false;
  int code = 0;
  const char* reason = nullptr;
};

// The system's words for one of its error codes.
std::string systemErrorText(int code);

inline std::string Status::text() const {
  if (!failed) {
    return {};
  }
  return reason != nullptr ? std::string(reason) : systemErrorText(code);
}

}  // namespace platform
