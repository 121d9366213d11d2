// Reading a .tic and answering its keys.
#include "tic/tic_file.h"
#include "tic/verify.h"

#include <gtest/gtest.h>

#include "platform/file.h"
#include "tests/support/temp_dir.h"
#include "tic/tic_processor.h"

namespace {

class TicTest : public testing::Test {
 protected:
  // Writes the .tic, reads it through a processor and returns the value of `key`.
  std::string valueIn(const std::string& tic, const std::string& key) {
    test::writeFile(dir / "x.tic", tic);
    EXPECT_TRUE(processor.read(dir / "x.tic"));
    return processor.valueOf(key);
  }
  test::TempDir dir;
  TicFile processor;
};

TEST_F(TicTest, ValueOfFollowsTheKeyRules) {
  struct Case {
    std::string tic;
    std::string key;
    std::string value;
  };
  const std::vector<Case> cases = {
      {"area  FE_A\r\n", "AREA", "FE_A"},
      {"AREA first\r\nArea second\r\n", "AREA", "first"},
      {"AREA\r\nAREA tag\r\n", "AREA", "tag"},      // no space: no key
      {"AREA \r\nAREA tag\r\n", "AREA", ""},        // an empty value ends the search
      {" AREA tag\r\n", "AREA", ""},                // leading space: empty key
      {"AREA\ttag\r\n", "AREA", ""},                // a tab is text
      {"AREA\ttag more\r\n", "AREA\tTAG", "more"},  // ... and part of the key
      {"DESC   two  words  \r\n", "DESC", "two  words  "},
      {"DESCRIPTION long\r\nDESC short\r\n", "DESC", "short"},
      {"", "FILE", ""},
      {"FILE last", "FILE", "last"},
      {"AREA a\nFILE f\rDESC d\r\nOrigin o", "Origin", "o"},
      {"ORIGIN 2:5020/1\r\n", "Origin", "2:5020/1"},
      {"origin 2:5020/1\r\n", "ORIGIN", "2:5020/1"},
      {"DESC \xB0\xE0 high\r\n", "DESC", "\xB0\xE0 high"},
      {"\r\n\r\nFILE after blanks\r\n", "FILE", "after blanks"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(valueIn(c.tic, c.key), c.value) << testing::PrintToString(c.tic);
  }
}

TEST_F(TicTest, MixedLineEndsGiveTheSameValues) {
  const std::string crlf = "AREA A\r\nFILE F\r\nDESC D\r\n";
  const std::string mixed = "AREA A\rFILE F\nDESC D";
  for (const char* key : {"AREA", "FILE", "DESC"}) {
    EXPECT_EQ(valueIn(crlf, key), valueIn(mixed, key));
  }
}

TEST_F(TicTest, UnreadableTicGivesEmptyRecord) {
  valueIn("AREA A\r\n", "AREA");
  EXPECT_FALSE(processor.read(dir / "missing.tic"));
  EXPECT_EQ(processor.valueOf("AREA"), "");
}

TEST_F(TicTest, TicHeldElsewhereIsNotRead) {
  test::writeFile(dir / "held.tic", "AREA A\r\n");
  const platform::File holder =
      platform::File::open(dir / "held.tic", platform::OpenMode::readExisting);
  EXPECT_FALSE(processor.read(dir / "held.tic"));
}

TEST_F(TicTest, OversizedTicIsReadUpToTheLimit) {
  // The last line that ends within the limit is read; what lies past it is not.
  std::string tic = "AREA A\r\n";
  tic += std::string(TicFile::kMaxTicSize - tic.size() - 20, 'x');
  tic += "\r\nDESC at the end\r\n";
  tic += "\r\nFILE beyond\r\n";
  EXPECT_EQ(valueIn(tic, "AREA"), "A");
  EXPECT_EQ(processor.valueOf("DESC"), "at the end");
  EXPECT_EQ(processor.valueOf("FILE"), "");
}

}  // namespace

namespace {

TEST(DescribedFile, SizeAndCrcOfTheTicMustBothFitWhenGiven) {
  test::TempDir dir;
  test::writeFile(dir / "f.zip", "123456789");  // CRC-32 cbf43926
  const std::vector<std::pair<std::string, bool>> cases = {
      {"Size 9\r\nCrc CBF43926\r\n", true},
      {"Crc cbf43926\r\n", true},
      {"Size 9\r\n", true},
      {"Size 10\r\nCrc CBF43926\r\n", false},
      {"Size 9\r\nCrc CBF43927\r\n", false},
      {"Size 9x\r\n", false},
      {"Crc 0CBF43926\r\n", false},  // more than 8 digits
      {"Size\t 9 \r\nCrc  CBF43926\t\r\n", true},
      {"", false},  // nothing to compare: never taken for the file
  };
  for (const auto& [lines, expected] : cases) {
    test::writeFile(dir / "a.tic", "FILE f.zip\r\n" + lines);
    TicFile tic;
    ASSERT_TRUE(tic.read(dir / "a.tic"));
    EXPECT_EQ(isDescribedFile(tic, dir / "f.zip"), expected) << lines;
    EXPECT_FALSE(isDescribedFile(tic, dir / "missing.zip")) << lines;
  }
}

}  // namespace

namespace {

TEST(RenamedCopies, NamesThatBinkdGivesAReceivedFileWhoseNameIsTaken) {
  const std::vector<std::tuple<std::string, std::string, bool>> cases = {
      {"A.ZIP.1", "A.ZIP", true},  // rename-style postfix
      {"a.zip.12", "A.ZIP", true},
      {"A.ZIP.0", "A.ZIP", false},
      {"A.ZIP.", "A.ZIP", false},
      {"A.ZIP.1x", "A.ZIP", false},
      {"A.ZI0", "A.ZIP", true},  // rename-style extension: counted up in 0-9, a-z
      {"A.ZIz", "A.ZIP", true},
      {"A.Z00", "A.ZIP", true},
      {"A.000", "A.ZIP", true},
      {"0.000", "A.ZIP", false},  // never across the dot
      {"A.ZIP", "A.ZIP", false},
      {"a.zip", "A.ZIP", false},
      {"A.ZI!", "A.ZIP", false},
      {"B.ZI0", "A.ZIP", false},
      {"A.ZI00", "A.ZIP", false},
      {"README0", "README", false},  // only the postfix adds characters
      {"READM0", "README", true},
      {"", "A.ZIP", false},
  };
  for (const auto& [candidate, name, expected] : cases) {
    EXPECT_EQ(isRenamedCopyName(candidate, name), expected) << candidate << " for " << name;
  }
}

}  // namespace
