// The line reader, the path helpers, upper-casing and the byte buffer.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "tests/support/temp_dir.h"
#include "util/byte_buffer.h"
#include "util/crc32.h"
#include "util/line_reader.h"
#include "util/paths.h"
#include "util/text.h"

namespace {

// Reads lines while the position is below the length, testing before each line.
std::vector<std::string> linesTestingBefore(const std::string& block) {
  std::vector<std::string> lines;
  std::uint32_t position = 0;
  while (position < block.size()) {
    lines.push_back(readLine(block, position));
  }
  return lines;
}

TEST(ReadLine, SplitsAtEveryKindOfLineEnd) {
  struct Case {
    std::string block;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {"w\r\nx\ry\nz", {"w", "x", "y", "z"}},
      {"\n\r", {"", ""}},
      {"\r\r\n", {"", ""}},
      {"\r\n", {""}},
      {"a\r\n", {"a"}},
      {"a\r", {"a"}},
      {"a\n\nb", {"a", "", "b"}},
      {"", {}},
      {"\xB0\xFF\x80 high\r\n\t tab", {"\xB0\xFF\x80 high", "\t tab"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(linesTestingBefore(c.block), c.lines) << testing::PrintToString(c.block);
  }
}

TEST(ReadLine, PositionAtOrPastTheEndGivesEmptyLineAndTheLength) {
  const std::string block = "abc\r\n";
  for (std::uint32_t start : {5U, 6U, 1000U}) {
    std::uint32_t position = start;
    EXPECT_EQ(readLine(block, position), "");
    EXPECT_EQ(position, 5U);
  }
  std::uint32_t position = 0;
  EXPECT_EQ(readLine("", position), "");  // testing after each line: one empty line
  EXPECT_EQ(position, 0U);
}

TEST(ReadLine, LastByteCrEndsTheBlockWithoutLookingBeyond) {
  const std::string block = "abc\rdef";
  std::uint32_t position = 0;
  // Only the first four bytes belong to the block.
  EXPECT_EQ(readLine(std::string_view(block).substr(0, 4), position), "abc");
  EXPECT_EQ(position, 4U);
}

TEST(ReadLine, ReturnsLongLinesWhole) {
  const std::string longLine(100000, 'x');
  std::uint32_t position = 0;
  EXPECT_EQ(readLine(longLine + "\n", position), longLine);
}

TEST(Paths, WithTrailingSeparator) {
  EXPECT_EQ(withTrailingBackslash(""), "");
  EXPECT_EQ(withTrailingBackslash("/a/b/"), "/a/b/");
  EXPECT_EQ(withTrailingBackslash("/a/b"), "/a/b/");
  // On POSIX the backslash is an ordinary character.
  EXPECT_EQ(withTrailingBackslash("a\\"), "a\\/");
  EXPECT_EQ(fileNameOf("/in/x.tic"), "x.tic");
  EXPECT_EQ(fileNameOf("x.tic"), "x.tic");
}

TEST(Paths, MakeDirectoryPathCreatesEveryMissingLevel) {
  test::TempDir dir;
  EXPECT_TRUE(makeDirectoryPath(dir / "one/two/three"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "one/two/three"));
  EXPECT_TRUE(makeDirectoryPath(dir / "one/two/three"));  // again: nothing to do, no failure
  EXPECT_TRUE(makeDirectoryPath(dir / "a/b/"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "a/b"));
  EXPECT_FALSE(makeDirectoryPath(""));
}

TEST(Paths, MakeDirectoryPathPassesOverLevelsThatCannotBeMade) {
  test::TempDir dir;
  test::writeFile(dir / "file", "x");
  // The cause is the system's, for the level that could not be made.
  const platform::Status made = makeDirectoryPath(dir / "file/sub");
  EXPECT_FALSE(made);
  EXPECT_EQ(made.text(), "Not a directory");
  EXPECT_FALSE(std::filesystem::exists(dir / "file/sub"));
}

TEST(Text, UpperCasesAsciiLettersOnly) {
  EXPECT_EQ(toUpperAnsi("files.bbs \xE0\xB0~z"), "FILES.BBS \xE0\xB0~Z");
  EXPECT_EQ(trimSpaces("  a b  "), "a b");
  EXPECT_EQ(trimSpaces("\t a \t"), "\t a \t");
  EXPECT_EQ(trimSpaces("   "), "");
}

TEST(ByteBuffer, GrowsBeyondItsFirstBlockAsAppendsNeed) {
  ByteBuffer buffer(8);
  EXPECT_TRUE(buffer.append("abcdef", 6));
  EXPECT_TRUE(buffer.append("ghijk", 5));
  EXPECT_EQ(buffer.size(), 11U);
  EXPECT_EQ(buffer.view(), "abcdefghijk");
}

TEST(ByteBuffer, ZeroCountAppendsNothing) {
  ByteBuffer buffer(4);
  EXPECT_FALSE(buffer.append("x", 0));
  EXPECT_EQ(buffer.size(), 0U);
  ByteBuffer empty(0);
  EXPECT_TRUE(empty.append("xyz", 3));
  EXPECT_EQ(empty.view(), "xyz");
}

TEST(ByteBuffer, KeepsBinaryBytes) {
  ByteBuffer buffer(2);
  const std::string bytes("\0\x01\xFF", 3);
  EXPECT_TRUE(buffer.append(bytes));
  EXPECT_EQ(std::string(buffer.view()), bytes);
}

}  // namespace

TEST(Crc32, KnownAnswersAndAnyCutGiveTheSameValue) {
  const std::vector<std::pair<std::string, std::uint32_t>> cases = {
      {"", 0x00000000U},
      {"123456789", 0xCBF43926U},
      {"data", 0xADF3F363U},
      {"The quick brown fox jumps over the lazy dog", 0x414FA339U},
      {std::string(1000, '\0'), 0x060B1780U},
  };
  for (const auto& [bytes, expected] : cases) {
    // Fed whole, or in two pieces cut anywhere (across the eight-byte steps).
    for (std::size_t cut = 0; cut <= std::min<std::size_t>(bytes.size(), 19); ++cut) {
      Crc32 crc;
      crc.update(bytes.data(), cut);
      crc.update(bytes.data() + cut, bytes.size() - cut);
      EXPECT_EQ(crc.value(), expected) << cut;
    }
  }
}

TEST(Text, WildcardsMatchTheWholeNameInAnyLetterCase) {
  const std::vector<std::tuple<std::string, std::string, bool>> cases = {
      {"PROG1*.ZIP", "prog10.zip", true},
      {"PROG1*.ZIP", "PROG1.ZIP", true},
      {"PROG1*.ZIP", "PROG1.ZIP.keep", false},
      {"PROG1*.ZIP", "XPROG10.ZIP", false},
      {"OLDVER10.ZIP", "oldver10.zip", true},
      {"OLDVER?0.ZIP", "OLDVER10.ZIP", true},
      {"OLDVER?0.ZIP", "OLDVER0.ZIP", false},
      {"*", "", true},
      {"*", "anything", true},
      {"", "", true},
      {"", "a", false},
      {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYbZ", false},
      {"**.ZIP", "x.zip", true},
  };
  for (const auto& [mask, name, expected] : cases) {
    EXPECT_EQ(matchesWildcard(mask, name), expected) << mask << " " << name;
  }
}
