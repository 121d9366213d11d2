// The area path list: separators, comments, and exact tags.
#include "tic/area_path_map.h"

#include <gtest/gtest.h>

#include "tests/support/temp_dir.h"

namespace {

class AreaPathMapTest : public testing::Test {
 protected:
  AreaPathMap load(const std::string& text) {
    test::writeFile(dir / "areas.lst", text);
    return AreaPathMap(dir / "areas.lst");
  }
  test::TempDir dir;
};

TEST_F(AreaPathMapTest, EverySeparatorFormGivesTheSameDirectory) {
  const AreaPathMap map = load(
      "A /pub/a\r\n"
      "B=/pub/b\n"
      "C = /pub/c\r"
      "D    /pub/d\n"
      "E= = ==/pub/e\n"
      "F /pub/f = x  \n"
      "G\t/pub/g\n"
      "H\t= /pub/h\n"
      "I /pub/i/\n"
      "J =\n"
      "last /pub/last");
  EXPECT_EQ(map.lookup("A"), "/pub/a");
  EXPECT_EQ(map.lookup("B"), "/pub/b");
  EXPECT_EQ(map.lookup("C"), "/pub/c");
  EXPECT_EQ(map.lookup("D"), "/pub/d");
  EXPECT_EQ(map.lookup("E"), "/pub/e");
  EXPECT_EQ(map.lookup("F"), "/pub/f = x  ");
  EXPECT_EQ(map.lookup("G"), "");  // a tab is no separator
  EXPECT_EQ(map.lookup("G\t/pub/g"), "");
  EXPECT_EQ(map.lookup("H\t"), "/pub/h");
  EXPECT_EQ(map.lookup("I"), "/pub/i/");
  EXPECT_EQ(map.lookup("J"), "");
  EXPECT_EQ(map.lookup("last"), "/pub/last");
}

TEST_F(AreaPathMapTest, CommentsOnlyInTheFirstColumn) {
  const AreaPathMap map = load(";A /pub/a\n ;B /pub/b\nC ;x\n");
  EXPECT_EQ(map.lookup(";A"), "");
  EXPECT_EQ(map.lookup("A"), "");
  EXPECT_EQ(map.lookup(""), ";B /pub/b");  // a leading space makes the empty tag
  EXPECT_EQ(map.lookup("C"), ";x");
}

TEST_F(AreaPathMapTest, TagsAreExactAndLaterLinesWin) {
  const AreaPathMap map = load("Area /one\nAREA /two\nArea /three\n");
  EXPECT_EQ(map.lookup("Area"), "/three");
  EXPECT_EQ(map.lookup("AREA"), "/two");
  EXPECT_EQ(map.lookup("area"), "");
}

TEST_F(AreaPathMapTest, MissingOrEmptyListGivesEmptyMap) {
  EXPECT_EQ(load("").lookup("A"), "");
  EXPECT_EQ(load(";only\r\n;comments\r\n").lookup(";only"), "");
  const AreaPathMap map(dir / "missing.lst");
  EXPECT_EQ(map.lookup("A"), "");
  EXPECT_EQ(AreaPathMap("").lookup("A"), "");
}

}  // namespace
