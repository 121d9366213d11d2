#include "tests/support/directories.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <vector>
#ifndef _WIN32
#include <errno.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace test {
namespace {

#ifndef _WIN32
bool onOneFileSystem(const std::string& a, const std::string& b) {
  struct stat first {};
  struct stat second {};
  return stat(a.c_str(), &first) == 0 && stat(b.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev;
}
#endif

// The directory in which the other file system's test directory is made; empty, with `reason`
// set, when there is none.
std::string otherParent(std::string& reason) {
#ifdef _WIN32
  if (const char* named = std::getenv("QUENFAR_OTHER_VOLUME"); named != nullptr && *named != 0) {
    return named;
  }
  std::error_code error;
  if (std::filesystem::is_directory("Z:\\dev\\shm", error)) {
    return "Z:\\dev\\shm";
  }
  reason = "QUENFAR_OTHER_VOLUME not set, and no Z:\\dev\\shm of Wine's";
#else
  const std::string temporary = std::filesystem::temp_directory_path().string();
  if (std::filesystem::is_directory("/dev/shm") && !onOneFileSystem("/dev/shm", temporary)) {
    return "/dev/shm";
  }
  reason += ", and /dev/shm is no file system of its own";
#endif
  return {};
}

}  // namespace

std::string listNames(const std::string& directory) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  std::string joined;
  for (const std::string& name : names) {
    joined += (joined.empty() ? "" : " ") + name;
  }
  return joined;
}

OtherFileSystem::OtherFileSystem() {
#ifndef _WIN32
  const std::string point = base / "mnt";
  if (geteuid() != 0) {
    reason = "not root, so no tmpfs of the test's own";
  } else if (mkdir(point.c_str(), 0700) != 0 ||
             mount("quenfar-test", point.c_str(), "tmpfs", 0, "size=16m,mode=0700") != 0) {
    reason = std::string("mounting a tmpfs failed: ") + std::strerror(errno);
  } else {
    mounted = true;
    root = point;
    return;
  }
#endif
  const std::string parent = otherParent(reason);
  if (parent.empty()) {
    return;
  }
  std::random_device random;
  const std::string candidate =
      parent + platform::kSeparator + "quenfar-test-" + std::to_string(random());
  std::error_code error;
  if (!std::filesystem::create_directory(candidate, error)) {
    reason = "cannot make " + candidate + ": " + error.message();
    return;
  }
  root = candidate;
  reason.clear();
}

OtherFileSystem::~OtherFileSystem() {
  if (root.empty()) {
    return;
  }
#ifndef _WIN32
  if (mounted) {
    // Detached, so that a file a test left open cannot keep the mount; its contents go with it.
    umount2(root.c_str(), MNT_DETACH);
    return;
  }
#endif
  std::error_code error;
  std::filesystem::remove_all(root, error);
}

}  // namespace test
