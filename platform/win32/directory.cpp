#include "platform/win32/windows_config.h"

#include "platform/directory.h"

#include <cstring>

namespace platform {
namespace {

bool isDotOrDotDot(const char* name) {
  return std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0;
}

}  // namespace

// The search handle and the entry that FindFirstFileA has already read but next() has not yet
// handed out.
struct DirectorySearch::Impl {
  Impl() = default;
  ~Impl() {
    if (search != INVALID_HANDLE_VALUE) {
      FindClose(search);
    }
  }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;

  HANDLE search = INVALID_HANDLE_VALUE;
  WIN32_FIND_DATAA entry{};
  bool entryPending = false;
};

DirectorySearch::DirectorySearch(const std::string& directory) : impl(std::make_unique<Impl>()) {
  // Every entry is listed; the caller filters by name. A pattern like "*.tic" would also match
  // entries through their generated 8.3 short names.
  std::string pattern = directory;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/' &&
      pattern.back() != ':') {
    pattern += '\\';
  }
  pattern += '*';
  impl->search = FindFirstFileA(pattern.c_str(), &impl->entry);
  impl->entryPending = impl->search != INVALID_HANDLE_VALUE;
}

DirectorySearch::~DirectorySearch() = default;

bool DirectorySearch::next(std::string& name) {
  if (impl->search == INVALID_HANDLE_VALUE) {
    return false;
  }
  for (;;) {
    if (!impl->entryPending && FindNextFileA(impl->search, &impl->entry) == 0) {
      return false;
    }
    impl->entryPending = false;
    if (!isDotOrDotDot(impl->entry.cFileName)) {
      name.assign(impl->entry.cFileName);
      return true;
    }
  }
}

std::int64_t DirectorySearch::modifiedTime() const {
  // The search already read it: 100-nanosecond steps since 1601-01-01 UTC.
  const FILETIME& written = impl->entry.ftLastWriteTime;
  const std::uint64_t steps =
      (static_cast<std::uint64_t>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
  constexpr std::uint64_t kStepsBefore1970 = 116444736000000000ULL;
  if (steps < kStepsBefore1970) {
    return 0;
  }
  return static_cast<std::int64_t>(steps - kStepsBefore1970) * 100;
}

}  // namespace platform
