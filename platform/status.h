#pragma once

#include <optional>
#include <string>
#include <utility>

// The outcome of an operation: success, or why it failed. The cause is the system's own error
// code (errno on POSIX, GetLastError on Windows), worded by the system, or a refusal of the
// program's own in its own words ("it is a symbolic link", "unknown link 2:5020/1"). An outcome
// must be looked at: the type is [[nodiscard]], so a caller that has no use for it says so with
// `.ignore()`. Where a value comes back, Result<T> carries the value or the Status.
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
  // that: " ("it is a symbolic link").
  static Status refused(std::string reason) {
    Status status;
    status.failed = true;
    status.reason = std::move(reason);
    return status;
  }

  bool ok() const { return !failed; }
  explicit operator bool() const { return !failed; }

  // True for a failure whose system code is `systemCode` (ENOSPC, ERROR_DISK_FULL...).
  bool is(int systemCode) const { return failed && code == systemCode; }

  // The cause in words: the system's text for its code ("No space left on device") or the
  // refusal's own; empty on success.
  std::string text() const;

  // Drops the outcome on purpose, where nothing can be done about a failure.
  void ignore() const {}

 private:
  bool failed = false;
  int code = 0;        // the system's; 0 for a refusal
  std::string reason;  // a refusal's words, never empty; empty (not allocated) otherwise
};

// A value, or the Status that tells why there is none.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : held(std::move(value)) {}
  // `failure` must be a failure.
  Result(Status failure) : cause(std::move(failure)) {}

  bool ok() const { return held.has_value(); }
  explicit operator bool() const { return held.has_value(); }

  // The value; only for a Result that is ok().
  T& value() { return *held; }
  const T& value() const { return *held; }
  T& operator*() { return *held; }
  const T& operator*() const { return *held; }
  T* operator->() { return &*held; }
  const T* operator->() const { return &*held; }

  // Why there is no value; success when there is one.
  const Status& status() const { return cause; }

 private:
  std::optional<T> held;
  Status cause;
};

// The system's words for one of its error codes.
std::string systemErrorText(int code);

inline std::string Status::text() const {
  if (!failed) {
    return {};
  }
  return reason.empty() ? systemErrorText(code) : reason;
}

}  // namespace platform
