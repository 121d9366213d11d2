// Moving and copying files, and disposing of held ones, on every platform.
#include "platform/move.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#ifdef _WIN32
#include <windows.h>
#else
#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/system.h"
#include "tests/support/directories.h"
#include "tests/support/temp_dir.h"

namespace {

using platform::File;
using platform::OpenMode;

#ifdef _WIN32
constexpr int kNotFound = ERROR_FILE_NOT_FOUND;
constexpr int kExists = ERROR_ALREADY_EXISTS;
#else
constexpr int kNotFound = ENOENT;
constexpr int kExists = EEXIST;
#endif

// `in.zip` to be moved, and `dest` with `old.zip` in it to be replaced.
class PlatformMove : public testing::Test {
 protected:
  PlatformMove() {
    test::writeFile(dir / "in.zip", "new");
    test::writeFile(in("old.zip"), "old contents");
  }
  // The path of `name` in `dest`.
  std::string in(const std::string& name) const {
    return dir / "dest" + platform::kSeparator + name;
  }
  test::TempDir dir;
};

TEST_F(PlatformMove, RenameNeverReplaces) {
  EXPECT_TRUE(platform::renameNoReplace(dir / "in.zip", in("old.zip")).is(kExists));
  EXPECT_EQ(test::readFile(in("old.zip")), "old contents");
  EXPECT_TRUE(platform::renameNoReplace(dir / "in.zip", in("in.zip")));
  EXPECT_EQ(test::listNames(dir / "dest"), "in.zip old.zip");
}

TEST_F(PlatformMove, CopyReplacesAndLeavesNoTemporaryFile) {
  EXPECT_TRUE(platform::copyReplacing(dir / "in.zip", in("old.zip")));
  EXPECT_EQ(test::readFile(in("old.zip")), "new");
  EXPECT_EQ(test::readFile(dir / "in.zip"), "new");
  EXPECT_EQ(test::listNames(dir / "dest"), "old.zip");
}

TEST_F(PlatformMove, CopyOfAHeldSourceFailsAndTouchesNothing) {
  const File held = File::open(dir / "in.zip", OpenMode::readExisting);
  EXPECT_FALSE(platform::copyReplacing(dir / "in.zip", in("old.zip")));
  EXPECT_EQ(test::listNames(dir / "dest"), "old.zip");
  EXPECT_EQ(test::readFile(in("old.zip")), "old contents");
}

TEST_F(PlatformMove, MoveReplaces) {
  EXPECT_TRUE(platform::moveReplacing(dir / "in.zip", in("old.zip")));
  EXPECT_EQ(test::readFile(in("old.zip")), "new");
  EXPECT_FALSE(platform::exists(dir / "in.zip"));
  EXPECT_TRUE(platform::moveReplacing(dir / "in.zip", in("old.zip")).is(kNotFound));
  EXPECT_FALSE(
      platform::moveReplacing(in("old.zip"), dir / "missing" + platform::kSeparator + "old.zip"));
  EXPECT_EQ(test::readFile(in("old.zip")), "new");
}

TEST_F(PlatformMove, NoneMovesOntoOrMovesADirectory) {
  ASSERT_TRUE(platform::createDirectory(in("in.zip")));
  EXPECT_FALSE(platform::renameNoReplace(dir / "in.zip", in("in.zip")));
  EXPECT_FALSE(platform::copyReplacing(dir / "in.zip", in("in.zip")));
  EXPECT_FALSE(platform::moveReplacing(dir / "in.zip", in("in.zip")));
  EXPECT_TRUE(platform::isDirectory(in("in.zip")));
  EXPECT_EQ(platform::renameNoReplace(dir / "dest", dir / "moved").text(), "it is a directory");
  EXPECT_EQ(platform::copyReplacing(dir / "dest", dir / "moved").text(), "it is a directory");
  EXPECT_EQ(platform::moveReplacing(dir / "dest", dir / "moved").text(), "it is a directory");
  EXPECT_FALSE(platform::exists(dir / "moved"));
  EXPECT_EQ(test::readFile(dir / "in.zip"), "new");
}

// Windows renames and deletes no open file. POSIX does, and the hold goes with the file to its
// new name, so that no other opener takes it up there.
TEST_F(PlatformMove, AHeldFileMovesOnlyWhereTheSystemAllows) {
  File held = File::open(dir / "in.zip", OpenMode::readExisting);
  ASSERT_TRUE(held.isOpen());
#ifdef _WIN32
  EXPECT_FALSE(platform::renameNoReplace(dir / "in.zip", in("in.zip")));
  EXPECT_FALSE(platform::moveReplacing(dir / "in.zip", in("old.zip")));
  EXPECT_FALSE(platform::deleteFile(dir / "in.zip"));
  EXPECT_EQ(test::listNames(dir / "dest"), "old.zip");
  EXPECT_TRUE(held.close());
  EXPECT_EQ(test::readFile(dir / "in.zip"), "new");
#else
  EXPECT_TRUE(platform::renameNoReplace(dir / "in.zip", in("in.zip")));
  EXPECT_FALSE(File::open(in("in.zip"), OpenMode::readExisting).isOpen());
  EXPECT_TRUE(platform::moveReplacing(in("in.zip"), in("old.zip")));
  EXPECT_FALSE(File::open(in("old.zip"), OpenMode::readExisting).isOpen());
  EXPECT_TRUE(held.isAt(in("old.zip")));
  EXPECT_TRUE(platform::deleteFile(in("old.zip")));
  EXPECT_EQ(test::valueOf(held.readAll()), "new");
  EXPECT_EQ(held.stamp()->links, 0U);
  EXPECT_EQ(test::listNames(dir.path()), "dest");
#endif
}

TEST_F(PlatformMove, DisposeHeldDeletesOrMovesTheFileAndLetsGoOfIt) {
  test::writeFile(dir / "a.tic", "a");
  File a = File::open(dir / "a.tic", OpenMode::readExisting);
  EXPECT_TRUE(platform::disposeHeld(a, dir / "a.tic"));
  EXPECT_FALSE(a.isOpen());
  EXPECT_FALSE(platform::exists(dir / "a.tic"));

  File moved = File::open(dir / "in.zip", OpenMode::readExisting);
  EXPECT_TRUE(platform::disposeHeld(moved, dir / "in.zip", in("old.zip")));
  EXPECT_FALSE(moved.isOpen());
  EXPECT_EQ(test::readFile(in("old.zip")), "new");
  EXPECT_EQ(test::listNames(dir.path()), "dest");

  // A refusal leaves the file where it was, and let go of all the same.
  test::writeFile(dir / "b.tic", "b");
  ASSERT_TRUE(platform::createDirectory(in("b.tic")));
  File b = File::open(dir / "b.tic", OpenMode::readExisting);
  EXPECT_EQ(platform::disposeHeld(b, dir / "b.tic", in("b.tic")).text(),
            "the destination is a directory");
  EXPECT_FALSE(b.isOpen());
  b = File::open(dir / "b.tic", OpenMode::readExisting);
  EXPECT_FALSE(
      platform::disposeHeld(b, dir / "b.tic", dir / "missing" + platform::kSeparator + "b.tic"));
  EXPECT_FALSE(b.isOpen());
  EXPECT_EQ(test::readFile(dir / "b.tic"), "b");
  EXPECT_EQ(test::readFile(in("old.zip")), "new");
  EXPECT_EQ(test::listNames(dir / "dest"), "b.tic old.zip");

  // Moved while held: no other opener takes the file up on its way.
  File c = File::open(dir / "b.tic", OpenMode::readToDispose);
  EXPECT_TRUE(c.renameHeld(dir / "b.tic", in("c.tic")));
  EXPECT_FALSE(File::open(in("c.tic"), OpenMode::readExisting).isOpen());
  EXPECT_TRUE(platform::disposeHeld(c, in("c.tic")));
  EXPECT_EQ(test::listNames(dir / "dest"), "b.tic old.zip");
}

TEST_F(PlatformMove, MoveToAnotherVolumeReplacesAndDeletesTheSource) {
  const test::OtherFileSystem other;
  if (other.path().empty()) {
    GTEST_SKIP() << other.whyNone();
  }
  const std::string target = other / "quenfar-move-test.zip";
  test::writeFile(target, "old contents on the other volume");
  EXPECT_TRUE(platform::moveReplacing(dir / "in.zip", target));
  EXPECT_EQ(test::readFile(target), "new");
  EXPECT_FALSE(platform::exists(dir / "in.zip"));
  EXPECT_EQ(test::listNames(other.path()).find(".quenfar-"), std::string::npos);
}

// The copy to another file system reads from the held file itself: the hold is exclusive, so
// where it lasts through the copy (POSIX) opening the file again would fail. It copies the whole
// file wherever the holder has read to, with the file's permission bits.
TEST_F(PlatformMove, DisposeHeldMovesAcrossFileSystemsFromTheHeldFile) {
  const test::OtherFileSystem other;
  if (other.path().empty()) {
    GTEST_SKIP() << other.whyNone();
  }
  test::writeFile(other / "old.zip", "older and longer");
  const auto bits = std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                    std::filesystem::perms::group_read;
#ifndef _WIN32
  std::filesystem::permissions(dir / "in.zip", bits);
#endif
  File held = File::open(dir / "in.zip", OpenMode::readExisting);
  char start[2];
  ASSERT_EQ(test::valueOf(held.read(start, sizeof start)), 2U);
  EXPECT_TRUE(platform::disposeHeld(held, dir / "in.zip", other / "old.zip"));
  EXPECT_FALSE(held.isOpen());
  EXPECT_EQ(test::readFile(other / "old.zip"), "new");
  EXPECT_FALSE(platform::exists(dir / "in.zip"));
  EXPECT_EQ(test::listNames(other.path()), "old.zip");
#ifndef _WIN32
  EXPECT_EQ(std::filesystem::status(other / "old.zip").permissions() & std::filesystem::perms::all,
            bits);
#else
  static_cast<void>(bits);
#endif
}

#ifndef _WIN32
// A link is moved as what it is or followed to another file: neither is the file a .tic
// names. Each move refuses a link (dangling or not) and anything else that is no regular file.
TEST_F(PlatformMove, NoneMovesALinkOrASpecialFile) {
  ASSERT_EQ(symlink((dir / "in.zip").c_str(), (dir / "link.zip").c_str()), 0);
  ASSERT_EQ(symlink((dir / "absent.zip").c_str(), (dir / "dangling.zip").c_str()), 0);
  ASSERT_EQ(mkfifo((dir / "fifo.zip").c_str(), 0600), 0);
  for (const char* name : {"link.zip", "dangling.zip", "fifo.zip"}) {
    const std::string cause = name[0] == 'f' ? "it is not a regular file" : "it is a symbolic link";
    EXPECT_EQ(platform::checkRegularFile(dir / name).text(), cause) << name;
    EXPECT_EQ(platform::renameNoReplace(dir / name, in("new.zip")).text(), cause) << name;
    EXPECT_EQ(platform::copyReplacing(dir / name, in("old.zip")).text(), cause) << name;
    EXPECT_EQ(platform::moveReplacing(dir / name, in("old.zip")).text(), cause) << name;
  }
  EXPECT_EQ(test::listNames(dir.path()), "dangling.zip dest fifo.zip in.zip link.zip");
  EXPECT_EQ(test::listNames(dir / "dest"), "old.zip");
  EXPECT_EQ(test::readFile(in("old.zip")), "old contents");
  EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.zip"));
  EXPECT_TRUE(platform::checkRegularFile(dir / "in.zip"));
  EXPECT_TRUE(platform::checkRegularFile(dir / "absent.zip").is(ENOENT));
}
#endif

}  // namespace
