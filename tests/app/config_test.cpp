// Reading quenfar.cfg: the INI rules, defaults and normalisations.
#include <gtest/gtest.h>

#include "app/config_reader.h"
#include "app/ini_reader.h"
#include "app/toss_config.h"
#include "tests/support/temp_dir.h"

namespace {

TossConfig readConfig(const test::TempDir& dir, const std::string& text) {
  test::writeFile(dir / "quenfar.cfg", text);
  return readConfigFrom(dir.path());
}

TEST(IniReader, FollowsTheValueRules) {
  const IniReader ini(
      "; comment\r\n"
      "[other]\nKey=wrong section\n"
      "  [ Main ]  \n"
      "plain = value with  inner  spaces \t\n"
      "quoted = \" spaced \"\n"
      "single='x'\n"
      "mismatched = \"x'\n"
      "equals = a=b=c\n"
      "empty =\n"
      "PLAIN = second key loses\n"
      ";commented = no\n"
      "[main]\nlater = second section of that name is not read\n");
  EXPECT_EQ(ini.value("MAIN", "Plain"), "value with  inner  spaces");
  EXPECT_EQ(ini.value("main", "quoted"), " spaced ");
  EXPECT_EQ(ini.value("main", "single"), "x");
  EXPECT_EQ(ini.value("main", "mismatched"), "\"x'");
  EXPECT_EQ(ini.value("main", "equals"), "a=b=c");
  EXPECT_EQ(ini.value("main", "empty"), "");
  EXPECT_EQ(ini.value("main", "key"), std::nullopt);
  EXPECT_EQ(ini.value("main", "commented"), std::nullopt);
  EXPECT_EQ(ini.value("main", "later"), std::nullopt);
  EXPECT_EQ(ini.value("nosuch", "plain"), std::nullopt);
}

TEST(IniReader, CutsLongValuesAt1023Bytes) {
  const IniReader ini("[s]\nk=" + std::string(1500, 'v') + "\n");
  EXPECT_EQ(ini.value("s", "k"), std::string(1023, 'v'));
}

TEST(IniReader, ReadsIntegers) {
  const IniReader ini("[s]\na=42\nb=-7x\nc=abc\nd=\ne=+5\nf= 12 \n");
  EXPECT_EQ(ini.getInt("s", "a", 1), 42);
  EXPECT_EQ(ini.getInt("s", "b", 1), -7);
  EXPECT_EQ(ini.getInt("s", "c", 1), 0);
  EXPECT_EQ(ini.getInt("s", "d", 1), 1);
  EXPECT_EQ(ini.getInt("s", "e", 1), 0);
  EXPECT_EQ(ini.getInt("s", "f", 1), 12);
  EXPECT_EQ(ini.getInt("s", "missing", 9), 9);
}

TEST(ParseYesNo, OnlyNoMeansNo) {
  for (const char* no : {"NO", "no", "No", "nO"}) {
    EXPECT_FALSE(parseYesNo(no)) << no;
  }
  for (const char* yes : {"", "0", "OFF", "N", "yes", "NO!", "none"}) {
    EXPECT_TRUE(parseYesNo(yes)) << yes;
  }
}

TEST(ConfigReader, MissingFileGivesDefaults) {
  test::TempDir dir;
  const TossConfig config = readConfigFrom(dir.path());
  EXPECT_EQ(config.inboundDir, "");
  EXPECT_EQ(config.fileechoDir, "");
  EXPECT_EQ(config.descFile, "files.bbs");
  EXPECT_EQ(config.logFile, "");
  EXPECT_TRUE(config.onScreen);
  EXPECT_TRUE(config.descFilter);
  EXPECT_TRUE(config.descInLog);
  EXPECT_EQ(config.cutSymbols, 0);
  EXPECT_EQ(config.ticDir, "");
  EXPECT_EQ(config.processTimeMs, 10000);
  EXPECT_EQ(config.areaPathFile, "");
  EXPECT_EQ(config.eventsFile, "");
  EXPECT_EQ(config.netmailDir, "");
}

TEST(ConfigReader, ReadsAndNormalisesEveryKey) {
  test::TempDir dir;
  const TossConfig config = readConfig(dir,
                                       "[QUENFAR]\n"
                                       "Inbound = /in\n"
                                       "Fileecho = /files/\n"
                                       "Descfile = descript.ion\n"
                                       "Logfile = q.log\n"
                                       "OnScreen = No\n"
                                       "DescFilter = no\n"
                                       "DescInLog = NO\n"
                                       "CutSymbols = 70000\n"
                                       "TICDir = /tics\n"
                                       "FlagsDir = /flags/\n"
                                       "NetmailDir = /mail\n"
                                       "FTNAddress = 2:5020/1.3\n"
                                       "UserName = John Doe\n"
                                       "ProcessTime = 60\n"
                                       "[INCLUDE]\n"
                                       "AreaPath = areas.lst\n"
                                       "Events = /etc/quenfar/events.lst\n");
  EXPECT_EQ(config.inboundDir, "/in");  // the processor adds the separator
  EXPECT_EQ(config.fileechoDir, "/files/");
  EXPECT_EQ(config.descFile, "descript.ion");
  EXPECT_EQ(config.logFile, "q.log");
  EXPECT_FALSE(config.onScreen);
  EXPECT_FALSE(config.descFilter);
  EXPECT_FALSE(config.descInLog);
  EXPECT_EQ(config.cutSymbols, 4464);
  EXPECT_EQ(config.ticDir, "/tics/");
  EXPECT_EQ(config.flagsDir, "/flags/");
  EXPECT_EQ(config.netmailDir, "/mail/");
  EXPECT_EQ(config.ftnAddress, "2:5020/1.3");
  EXPECT_EQ(config.userName, "John Doe");
  EXPECT_EQ(config.processTimeMs, 60000);
  EXPECT_EQ(config.areaPathFile, dir.path() + "/areas.lst");
  EXPECT_EQ(config.eventsFile, "/etc/quenfar/events.lst");
}

TEST(ConfigReader, ProcessTimeBelowNineBecomesTen) {
  struct Case {
    std::string value;
    std::int32_t milliseconds;
  };
  for (const Case& c : std::vector<Case>{{"5", 10000},
                                         {"0", 10000},
                                         {"-3", 10000},
                                         {"soon", 10000},
                                         {"8", 10000},
                                         {"9", 9000},
                                         {"60", 60000},
                                         {"99999999", 2147483647}}) {
    test::TempDir dir;
    EXPECT_EQ(readConfig(dir, "[QUENFAR]\nProcessTime=" + c.value + "\n").processTimeMs,
              c.milliseconds)
        << c.value;
  }
}

TEST(ConfigReader, ListsAreJoinedToTheProgramDirectoryOnlyWithoutSeparator) {
  test::TempDir dir;
  const TossConfig config = readConfig(dir, "[INCLUDE]\nAreaPath=./areas.lst\nEvents=events.lst\n");
  EXPECT_EQ(config.areaPathFile, "./areas.lst");
  EXPECT_EQ(config.eventsFile, dir.path() + "/events.lst");
}

TEST(ConfigReader, KeysInTheWrongSectionAreNotSeen) {
  test::TempDir dir;
  const TossConfig config =
      readConfig(dir, "[QUENFAR]\nAreaPath=areas.lst\nEvents=events.lst\n[INCLUDE]\nInbound=/in\n");
  EXPECT_EQ(config.areaPathFile, "");
  EXPECT_EQ(config.eventsFile, "");
  EXPECT_EQ(config.inboundDir, "");
}

TEST(ConfigReader, EmptyValueIsNotTheDefault) {
  test::TempDir dir;
  const TossConfig config =
      readConfig(dir, "[QUENFAR]\nDescfile=\nOnScreen=\nTICDir=\nInbound=\"\"\n");
  EXPECT_EQ(config.descFile, "");
  EXPECT_TRUE(config.onScreen);
  EXPECT_EQ(config.ticDir, "");
}

}  // namespace
