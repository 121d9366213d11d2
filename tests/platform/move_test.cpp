// Moving and copying files over the Win32 API.
#include "platform/move.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/file.h"
#include "tests/platform/win32/scratch_dir.h"

namespace {

class Win32Move : public testing::Test {
 protected:
  Win32Move() {
    platform::createDirectory(dir / "dest");
    wintest::writeFile(dir / "in.zip", "new");
    wintest::writeFile(dir / "dest\\old.zip", "old contents");
  }
  wintest::ScratchDir dir;
};

TEST_F(Win32Move, RenameNeverReplaces) {
  EXPECT_FALSE(platform::renameNoReplace(dir / "in.zip", dir / "dest\\old.zip"));
  EXPECT_EQ(wintest::readFile(dir / "dest\\old.zip"), "old contents");
  EXPECT_TRUE(platform::renameNoReplace(dir / "in.zip", dir / "dest\\in.zip"));
  EXPECT_EQ(wintest::listNames(dir / "dest"), "in.zip old.zip");
}

TEST_F(Win32Move, CopyReplacesAndLeavesNoTemporaryFile) {
  EXPECT_TRUE(platform::copyReplacing(dir / "in.zip", dir / "dest\\old.zip"));
  EXPECT_EQ(wintest::readFile(dir / "dest\\old.zip"), "new");
  EXPECT_EQ(wintest::readFile(dir / "in.zip"), "new");
  EXPECT_EQ(wintest::listNames(dir / "dest"), "old.zip");
}

TEST_F(Win32Move, CopyOfAHeldSourceFailsAndTouchesNothing) {
  const platform::File held =
      platform::File::open(dir / "in.zip", platform::OpenMode::readExisting);
  EXPECT_FALSE(platform::copyReplacing(dir / "in.zip", dir / "dest\\old.zip"));
  EXPECT_EQ(wintest::listNames(dir / "dest"), "old.zip");
  EXPECT_EQ(wintest::readFile(dir / "dest\\old.zip"), "old contents");
}

TEST_F(Win32Move, MoveReplaces) {
  EXPECT_TRUE(platform::moveReplacing(dir / "in.zip", dir / "dest\\old.zip"));
  EXPECT_EQ(wintest::readFile(dir / "dest\\old.zip"), "new");
  EXPECT_FALSE(platform::exists(dir / "in.zip"));
  EXPECT_FALSE(platform::moveReplacing(dir / "in.zip", dir / "dest\\old.zip"));
  EXPECT_FALSE(platform::moveReplacing(dir / "dest\\old.zip", dir / "missing\\old.zip"));
  EXPECT_EQ(wintest::readFile(dir / "dest\\old.zip"), "new");
}

TEST_F(Win32Move, NoneMovesOntoOrMovesADirectory) {
  platform::createDirectory(dir / "dest\\in.zip");
  EXPECT_FALSE(platform::renameNoReplace(dir / "in.zip", dir / "dest\\in.zip"));
  EXPECT_FALSE(platform::copyReplacing(dir / "in.zip", dir / "dest\\in.zip"));
  EXPECT_FALSE(platform::moveReplacing(dir / "in.zip", dir / "dest\\in.zip"));
  EXPECT_TRUE(platform::isDirectory(dir / "dest\\in.zip"));
  EXPECT_FALSE(platform::renameNoReplace(dir / "dest", dir / "moved"));
  EXPECT_FALSE(platform::copyReplacing(dir / "dest", dir / "moved"));
  EXPECT_FALSE(platform::moveReplacing(dir / "dest", dir / "moved"));
  EXPECT_FALSE(platform::exists(dir / "moved"));
  EXPECT_EQ(wintest::readFile(dir / "in.zip"), "new");
}

// Needs a directory on another volume, named by QUENFAR_OTHER_VOLUME (under Wine, a directory
// on another Unix file system, such as one in Z:\dev\shm).
TEST_F(Win32Move, MoveToAnotherVolumeReplacesAndDeletesTheSource) {
  const char* other = std::getenv("QUENFAR_OTHER_VOLUME");
  if (other == nullptr || *other == '\0') {
    GTEST_SKIP() << "QUENFAR_OTHER_VOLUME not set";
  }
  const std::string target = std::string(other) + "\\quenfar-move-test.zip";
  wintest::writeFile(target, "old contents on the other volume");
  EXPECT_TRUE(platform::moveReplacing(dir / "in.zip", target));
  EXPECT_EQ(wintest::readFile(target), "new");
  EXPECT_FALSE(platform::exists(dir / "in.zip"));
  EXPECT_EQ(wintest::listNames(other).find(".quenfar-"), std::string::npos);
  platform::deleteFile(target);
}

}  // namespace
