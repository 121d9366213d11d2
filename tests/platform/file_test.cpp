// Files held without sharing, over the Win32 API.
#include "platform/file.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/platform/win32/scratch_dir.h"

namespace {

using platform::File;
using platform::OpenMode;

TEST(Win32File, AHeldFileOpensNowhereElseUntilReleased) {
  wintest::ScratchDir dir;
  const std::string path = dir / "held.txt";
  wintest::writeFile(path, "abc");
  File held = File::open(path, OpenMode::readExisting);
  ASSERT_TRUE(held.isOpen());
  for (const OpenMode mode : {OpenMode::readExisting, OpenMode::writeKeep, OpenMode::createTruncate,
                              OpenMode::createNew}) {
    EXPECT_FALSE(File::open(path, mode).isOpen());
  }
  // A held file keeps its contents: emptying waits until the hold is taken.
  EXPECT_FALSE(platform::deleteFile(path));
  held.close();
  EXPECT_EQ(wintest::readFile(path), "abc");
  EXPECT_TRUE(File::open(path, OpenMode::createTruncate).isOpen());
  EXPECT_EQ(wintest::readFile(path), "");
}

TEST(Win32File, ModesCreateKeepOrRefuseAsDeclared) {
  wintest::ScratchDir dir;
  const std::string path = dir / "log.txt";
  EXPECT_FALSE(File::open(path, OpenMode::readExisting).isOpen());
  {
    File file = File::open(path, OpenMode::createNew);
    ASSERT_TRUE(file.isOpen());
    EXPECT_TRUE(file.write("first\r\n"));
  }
  EXPECT_FALSE(File::open(path, OpenMode::createNew).isOpen());
  {
    File file = File::open(path, OpenMode::writeKeep);
    ASSERT_TRUE(file.seekToEnd());
    EXPECT_TRUE(file.write("second\r\n"));
    EXPECT_EQ(file.size(), 15U);
    EXPECT_TRUE(file.truncateTo(7));
    EXPECT_TRUE(file.write("third"));
    EXPECT_TRUE(file.sync());
    EXPECT_TRUE(file.close());
  }
  EXPECT_EQ(wintest::readFile(path), "first\r\nthird");
  // A directory is never a file.
  EXPECT_FALSE(File::open(dir.path(), OpenMode::readExisting).isOpen());
  EXPECT_FALSE(File::open(dir.path(), OpenMode::writeKeep).isOpen());
}

TEST(Win32File, ReadAllLeavesThePositionWhereItWas) {
  wintest::ScratchDir dir;
  wintest::writeFile(dir / "data", "0123456789");
  File file = File::open(dir / "data", OpenMode::readExisting);
  char buffer[4] = {};
  ASSERT_EQ(file.read(buffer, 3), 3U);
  std::string all;
  EXPECT_TRUE(file.readAll(all));
  EXPECT_EQ(all, "0123456789");
  ASSERT_EQ(file.read(buffer, 3), 3U);
  EXPECT_EQ(std::string(buffer, 3), "345");
}

TEST(Win32File, TemporaryFilesAreNewHeldAndBesideEachOther) {
  wintest::ScratchDir dir;
  std::string first;
  std::string second;
  File a = File::createTemporary(dir.path() + "\\", first);
  File b = File::createTemporary(dir.path() + "\\", second);
  ASSERT_TRUE(a.isOpen());
  ASSERT_TRUE(b.isOpen());
  EXPECT_NE(first, second);
  EXPECT_EQ(first.rfind(dir.path() + "\\", 0), 0U);
  EXPECT_FALSE(File::open(first, OpenMode::readExisting).isOpen());
  std::string none;
  EXPECT_FALSE(File::createTemporary(dir / "missing\\", none).isOpen());
  EXPECT_TRUE(none.empty());
}

TEST(Win32File, IsAtTellsTheOpenedFileFromAnyOther) {
  wintest::ScratchDir dir;
  wintest::writeFile(dir / "list", "a");
  wintest::writeFile(dir / "other", "a");
  const File file = File::open(dir / "list", OpenMode::readExisting);
  EXPECT_TRUE(file.isAt(dir / "list"));
  EXPECT_TRUE(file.isAt(dir.path() + "/list"));
  EXPECT_FALSE(file.isAt(dir / "other"));
  EXPECT_FALSE(file.isAt(dir / "absent"));
  EXPECT_FALSE(File().isAt(dir / "list"));
}

TEST(Win32File, NamesDirectoriesAndDeletion) {
  wintest::ScratchDir dir;
  const std::string sub = dir / "sub";
  EXPECT_FALSE(platform::exists(sub));
  EXPECT_TRUE(platform::createDirectory(sub));
  EXPECT_FALSE(platform::createDirectory(sub));
  EXPECT_TRUE(platform::exists(sub));
  EXPECT_TRUE(platform::isDirectory(sub));
  EXPECT_FALSE(platform::deleteFile(sub));
  wintest::writeFile(sub + "\\f", "x");
  EXPECT_FALSE(platform::isDirectory(sub + "\\f"));
  EXPECT_TRUE(platform::deleteFile(sub + "\\f"));
  EXPECT_FALSE(platform::exists(sub + "\\f"));
  EXPECT_FALSE(platform::exists(dir / "no\\such\\path"));
  EXPECT_FALSE(platform::readWholeFile(sub + "\\f").has_value());
}

}  // namespace
