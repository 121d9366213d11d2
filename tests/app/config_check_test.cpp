// What `quenfar --check` finds in what earlier runs left: each area directory, description list
// and numbered message that this user cannot write, with its owner.
#include "app/config_check.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "app/config_reader.h"
#include "tests/support/temp_dir.h"

namespace {

constexpr uid_t kNobody = 65534;

// Takes on another user's identity for what the process opens, and gives it back.
class ActingAs {
 public:
  explicit ActingAs(uid_t user) { active = setegid(user) == 0 && seteuid(user) == 0; }
  ~ActingAs() {
    if (seteuid(0) != 0 || setegid(0) != 0) {
      ADD_FAILURE() << "cannot return to root";
    }
  }
  ActingAs(const ActingAs&) = delete;
  ActingAs& operator=(const ActingAs&) = delete;
  bool ok() const { return active; }

 private:
  bool active = false;
};

TEST(CheckWhatExists, WarnsOfWhatAnotherUserLeftNamingItsOwner) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "taking on another user's identity needs root";
  }
  test::TempDir dir;
  chmod(dir.path().c_str(), 0755);
  const std::string root = dir.path();
  test::writeFile(dir / "quenfar.cfg", "[QUENFAR]\nInbound = " + root + "/in\nFileecho = " + root +
                                           "/files\nNetmailDir = " + root +
                                           "/netmail\nFTNAddress = 2:5020/1\n");
  // A run as root left FE_A, its list and 11.msg; FE_B and 12.msg are the node's own.
  for (const char* path : {"in", "files/FE_A", "files/FE_B", "netmail"}) {
    std::filesystem::create_directories(dir / path);
  }
  for (const char* path : {"files/FE_A/files.bbs", "files/FE_B/files.bbs", "netmail/1.msg",
                           "netmail/11.msg", "netmail/12.msg"}) {
    test::writeFile(dir / path, "x");
  }
  for (const char* path :
       {"in", "files", "files/FE_B", "files/FE_B/files.bbs", "netmail", "netmail/12.msg"}) {
    ASSERT_EQ(chown((dir / path).c_str(), kNobody, kNobody), 0) << path;
  }
  std::ostringstream report;
  {
    const ActingAs nobody(kNobody);
    ASSERT_TRUE(nobody.ok());
    EXPECT_EQ(reportConfiguration(readConfiguration(root), report), 1);
  }
  const std::string text = report.str();
  const std::string by = " is not writable by nobody: Permission denied; it belongs to root\n";
  for (const std::string& line : {
           std::string("  2 area directories (1 not writable), 2 description lists (1 not "
                       "writable), 2 numbered messages (1 not writable)\n"),
           "Warning: the area directory " + root + "/files/FE_A" + by,
           "Warning: the description list " + root + "/files/FE_A/files.bbs" + by,
           "Warning: the numbered message " + root + "/netmail/11.msg" + by,
           std::string("\n3 warnings.\n"),
       }) {
    EXPECT_NE(text.find(line), std::string::npos) << line << text;
  }
  // 1.msg is the mail tosser's, never written by the run.
  EXPECT_EQ(text.find("/1.msg is"), std::string::npos) << text;
}

}  // namespace
