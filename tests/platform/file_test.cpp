// Files held without sharing, and names in the file system, on every platform.
#include "platform/file.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#ifdef _WIN32
#include <windows.h>
#else
#include <errno.h>
#endif

#include "platform/file_system.h"
#include "platform/system.h"
#include "tests/support/temp_dir.h"

namespace {

using platform::File;
using platform::kSeparator;
using platform::OpenMode;

#ifdef _WIN32
constexpr int kNotFound = ERROR_FILE_NOT_FOUND;
constexpr int kPathNotFound = ERROR_PATH_NOT_FOUND;
constexpr int kExists = ERROR_ALREADY_EXISTS;
constexpr int kFileExists = ERROR_FILE_EXISTS;
#else
constexpr int kNotFound = ENOENT;
constexpr int kPathNotFound = ENOENT;
constexpr int kExists = EEXIST;
constexpr int kFileExists = EEXIST;
#endif

TEST(PlatformFile, AHeldFileOpensNowhereElseUntilReleased) {
  test::TempDir dir;
  const std::string path = dir / "held.txt";
  test::writeFile(path, "abc");
  File held = File::open(path, OpenMode::readExisting);
  ASSERT_TRUE(held.isOpen());
  for (const OpenMode mode : {OpenMode::readExisting, OpenMode::writeKeep, OpenMode::createTruncate,
                              OpenMode::updateNew}) {
    EXPECT_FALSE(File::open(path, mode).isOpen());
  }
  EXPECT_EQ(File::open(path, OpenMode::writeKeep).why().text(), "it is held by another process");
#ifdef _WIN32
  // Windows deletes no open file. (POSIX does, and the hold stays with the file: move_test.)
  EXPECT_FALSE(platform::deleteFile(path));
#endif
  // A held file keeps its contents: emptying waits until the hold is taken.
  EXPECT_TRUE(held.close());
  EXPECT_EQ(test::readFile(path), "abc");
  EXPECT_TRUE(File::open(path, OpenMode::createTruncate).isOpen());
  EXPECT_EQ(test::readFile(path), "");
}

TEST(PlatformFile, ModesCreateKeepOrRefuseAsDeclared) {
  test::TempDir dir;
  const std::string path = dir / "log.txt";
  EXPECT_FALSE(File::open(path, OpenMode::readExisting).isOpen());
  {
    File file = File::open(path, OpenMode::updateNew);
    ASSERT_TRUE(file.isOpen());
    EXPECT_TRUE(file.write("first\r\n"));
  }
  EXPECT_FALSE(File::open(path, OpenMode::updateNew).isOpen());
  {
    File file = File::open(path, OpenMode::writeKeep);
    ASSERT_TRUE(file.seekToEnd());
    EXPECT_TRUE(file.write("second\r\n"));
    EXPECT_EQ(test::valueOf(file.size()), 15U);
    EXPECT_TRUE(file.truncateTo(7));
    EXPECT_TRUE(file.write("third"));
    EXPECT_TRUE(file.sync());
    EXPECT_TRUE(file.close());
  }
  EXPECT_EQ(test::readFile(path), "first\r\nthird");
  // A directory is never a file.
  EXPECT_FALSE(File::open(dir.path(), OpenMode::readExisting).isOpen());
  EXPECT_FALSE(File::open(dir.path(), OpenMode::writeKeep).isOpen());
}

// The cause of a failed open is what the sysop is told.
TEST(PlatformFile, AFailedOpenTellsWhy) {
  test::TempDir dir;
  const File missing = File::open(dir / "absent", OpenMode::readExisting);
  EXPECT_FALSE(missing.isOpen());
  EXPECT_TRUE(missing.why().is(kNotFound)) << missing.why().text();
#ifndef _WIN32
  EXPECT_EQ(missing.why().text(), "No such file or directory");
  EXPECT_EQ(File::open(dir.path(), OpenMode::readExisting).why().text(), "it is a directory");
#endif
  EXPECT_FALSE(missing.why().text().empty());
  EXPECT_TRUE(File::open(dir / "made", OpenMode::updateNew).why().ok());
  EXPECT_TRUE(File::open(dir / "made", OpenMode::updateNew).why().is(kFileExists));
  std::string none;
  EXPECT_TRUE(File::createTemporary(dir / "missing" + kSeparator, none).why().is(kPathNotFound));
}

// The cause must survive the File being moved, as it is into a member (the log, the staged
// message).
TEST(PlatformFile, AFailedOpensCauseSurvivesAMove) {
  test::TempDir dir;
  test::writeFile(dir / "made", "");
  File moved(File::open(dir / "gone", OpenMode::readExisting));
  File assigned;
  assigned = File::open(dir / "gone", OpenMode::updateExisting);
  EXPECT_TRUE(assigned.why().is(kNotFound)) << assigned.why().text();
  File movedAgain(std::move(moved));
  EXPECT_TRUE(movedAgain.why().is(kNotFound)) << movedAgain.why().text();
  File reopened = File::open(dir / "made", OpenMode::readExisting);
  ASSERT_TRUE(reopened.isOpen());
  assigned = std::move(reopened);
  EXPECT_TRUE(assigned.isOpen());
  EXPECT_TRUE(assigned.why().ok()) << assigned.why().text();
}

TEST(PlatformFile, ReadAllLeavesThePositionWhereItWas) {
  test::TempDir dir;
  test::writeFile(dir / "data", "0123456789");
  File file = File::open(dir / "data", OpenMode::readExisting);
  char buffer[4] = {};
  ASSERT_EQ(test::valueOf(file.read(buffer, 3)), 3U);
  EXPECT_EQ(test::valueOf(file.readAll()), "0123456789");
  ASSERT_EQ(test::valueOf(file.read(buffer, 3)), 3U);
  EXPECT_EQ(std::string(buffer, 3), "345");
}

TEST(PlatformFile, TemporaryFilesAreNewHeldAndBesideEachOther) {
  test::TempDir dir;
  std::string first;
  std::string second;
  File a = File::createTemporary(dir.path() + kSeparator, first);
  File b = File::createTemporary(dir.path() + kSeparator, second);
  ASSERT_TRUE(a.isOpen());
  ASSERT_TRUE(b.isOpen());
  EXPECT_NE(first, second);
  EXPECT_EQ(first.rfind(dir.path() + kSeparator, 0), 0U);
  EXPECT_FALSE(File::open(first, OpenMode::readExisting).isOpen());
  std::string none;
  EXPECT_FALSE(File::createTemporary(dir / "missing" + kSeparator, none).isOpen());
  EXPECT_TRUE(none.empty());
}

TEST(PlatformFile, IsAtTellsTheOpenedFileFromAnyOther) {
  test::TempDir dir;
  test::writeFile(dir / "list", "a");
  test::writeFile(dir / "other", "a");
  const File file = File::open(dir / "list", OpenMode::readExisting);
  EXPECT_TRUE(file.isAt(dir / "list"));
  EXPECT_TRUE(file.isAt(dir.path() + "/list"));
  EXPECT_FALSE(file.isAt(dir / "other"));
  EXPECT_FALSE(file.isAt(dir / "absent"));
  EXPECT_FALSE(File().isAt(dir / "list"));
}

TEST(PlatformFile, NamesDirectoriesAndDeletion) {
  test::TempDir dir;
  const std::string sub = dir / "sub";
  const std::string inSub = sub + kSeparator + "f";
  EXPECT_FALSE(platform::exists(sub));
  EXPECT_TRUE(platform::createDirectory(sub));
  EXPECT_TRUE(platform::createDirectory(sub).is(kExists));
  EXPECT_TRUE(platform::exists(sub));
  EXPECT_TRUE(platform::isDirectory(sub));
  EXPECT_FALSE(platform::deleteFile(sub));
  test::writeFile(inSub, "x");
  EXPECT_FALSE(platform::isDirectory(inSub));
  EXPECT_TRUE(platform::deleteFile(inSub));
  EXPECT_FALSE(platform::exists(inSub));
  EXPECT_TRUE(platform::deleteFile(inSub).is(kNotFound));
  EXPECT_FALSE(platform::exists(dir / "no" + kSeparator + "such" + kSeparator + "path"));
  EXPECT_TRUE(platform::readWholeFile(inSub).status().is(kNotFound));
}

// A name from another node's .tic must name one entry, the same one on every system.
TEST(PlatformFileSystem, PlainEntryNamesStandForOneEntryAsGiven) {
  for (const std::string name :
       {"a.zip", ".hidden", "..x", "a b.zip", "x~1.zip", "\xE0\xF1.zip", "-rf"}) {
    EXPECT_TRUE(platform::isPlainEntryName(name)) << name;
  }
  for (const std::string name :
       {"", ".", "..", "a/b", "a\\b", "..\\x", "../x", "/etc/passwd", "a\tb", "x\x01", "a\x7f"}) {
    EXPECT_FALSE(platform::isPlainEntryName(name)) << name;
  }
  EXPECT_FALSE(platform::isPlainEntryName(std::string("a\0b", 3)));
  // Windows reads a colon as a drive or a stream and drops a trailing space or dot.
  for (const std::string name : {"C:x.zip", "a.zip:stream", "a.zip ", "a.zip.", "..."}) {
#ifdef _WIN32
    EXPECT_FALSE(platform::isPlainEntryName(name)) << name;
#else
    EXPECT_TRUE(platform::isPlainEntryName(name)) << name;
#endif
  }
}

}  // namespace
