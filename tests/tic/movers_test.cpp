// The two movers over real files, on one file system and across two.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>

#include "tests/support/directories.h"
#include "tests/support/temp_dir.h"
#include "tic/movers.h"

namespace {

enum class Variant { win9x, nt };

void PrintTo(Variant variant, std::ostream* out) {
  *out << (variant == Variant::win9x ? "Win9x" : "Nt");
}

MoveFile make(Variant variant) {
  return variant == Variant::win9x ? moveLikeWin9x : moveLikeNt;
}

class MoverTest : public testing::TestWithParam<Variant> {
 protected:
  MoverTest() : mover(make(GetParam())) {
    std::filesystem::create_directories(dir / "dest");
    test::writeFile(dir / "in.zip", "new contents");
  }
  test::TempDir dir;
  MoveFile mover;
};

TEST_P(MoverTest, MovesToAnAbsentDestination) {
  std::uint64_t size = 0;
  EXPECT_TRUE(mover(dir / "in.zip", dir / "dest/in.zip", &size, nullptr));
  EXPECT_EQ(size, 12U);
  EXPECT_EQ(test::readFile(dir / "dest/in.zip"), "new contents");
  EXPECT_FALSE(test::fileExists(dir / "in.zip"));
}

TEST_P(MoverTest, ReplacesAPresentDestination) {
  test::writeFile(dir / "dest/in.zip", "old and longer contents");
  EXPECT_TRUE(mover(dir / "in.zip", dir / "dest/in.zip", nullptr, nullptr));
  EXPECT_EQ(test::readFile(dir / "dest/in.zip"), "new contents");
  EXPECT_FALSE(test::fileExists(dir / "in.zip"));
}

TEST_P(MoverTest, FailsAndKeepsTheSourceWhenTheDirectoryIsMissing) {
  EXPECT_FALSE(mover(dir / "in.zip", dir / "nowhere/in.zip", nullptr, nullptr));
  EXPECT_EQ(test::readFile(dir / "in.zip"), "new contents");
}

TEST_P(MoverTest, FailsForAMissingSource) {
  EXPECT_FALSE(mover(dir / "absent.zip", dir / "dest/absent.zip", nullptr, nullptr));
  EXPECT_FALSE(test::fileExists(dir / "dest/absent.zip"));
}

TEST_P(MoverTest, NeverMovesOntoOrMovesADirectory) {
  std::filesystem::create_directories(dir / "dest/in.zip");
  EXPECT_FALSE(mover(dir / "in.zip", dir / "dest/in.zip", nullptr, nullptr));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "dest/in.zip"));
  EXPECT_TRUE(test::fileExists(dir / "in.zip"));
  std::filesystem::create_directories(dir / "srcdir");
  EXPECT_FALSE(mover(dir / "srcdir", dir / "dest/srcdir", nullptr, nullptr));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "srcdir"));
  // Judged by the stamp the caller took, too.
  const auto found = platform::entryStamp(dir / "srcdir");
  ASSERT_TRUE(found);
  EXPECT_EQ(mover(dir / "srcdir", dir / "dest/srcdir", nullptr, &*found).text(),
            "it is a directory");
  EXPECT_TRUE(std::filesystem::is_directory(dir / "srcdir"));
}

TEST_P(MoverTest, MovesAcrossFileSystemsLeavingNoTemporaryFile) {
  const test::OtherFileSystem other;
  if (other.path().empty()) {
    GTEST_SKIP() << "no second file system to move across: " << other.whyNone();
  }
  test::writeFile(other / "old.zip", "older");
  std::filesystem::permissions(dir / "in.zip", std::filesystem::perms::owner_read |
                                                   std::filesystem::perms::owner_write |
                                                   std::filesystem::perms::group_read);
  EXPECT_TRUE(mover(dir / "in.zip", other / "old.zip", nullptr, nullptr));
  EXPECT_EQ(test::readFile(other / "old.zip"), "new contents");
  EXPECT_FALSE(test::fileExists(dir / "in.zip"));
  EXPECT_EQ(std::filesystem::status(other / "old.zip").permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write |
                std::filesystem::perms::group_read);
  std::size_t entries = 0;
  for (const auto& entry : std::filesystem::directory_iterator(other.path())) {
    static_cast<void>(entry);
    ++entries;
  }
  EXPECT_EQ(entries, 1U);
}

INSTANTIATE_TEST_SUITE_P(BothFamilies, MoverTest, testing::Values(Variant::win9x, Variant::nt),
                         [](const testing::TestParamInfo<Variant>& param) {
                           return param.param == Variant::win9x ? "Win9x" : "Nt";
                         });

}  // namespace
