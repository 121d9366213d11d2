// Reading quenfar.cfg: the INI rules, defaults and normalisations.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <utility>
#include <vector>

#include "app/config_reader.h"
#include "app/ini_reader.h"
#include "app/toss_config.h"
#include "platform/file_system.h"
#include "platform/system.h"
#include "tests/support/temp_dir.h"
#include "tic/link_list.h"

namespace {

TossConfig readConfig(const test::TempDir& dir, const std::string& text) {
  test::writeFile(dir / "quenfar.cfg", text);
  return readConfiguration(dir.path()).settings;
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
  EXPECT_EQ(IniReader::leadingNumber("42"), 42);
  EXPECT_EQ(IniReader::leadingNumber("-7x"), -7);
  EXPECT_EQ(IniReader::leadingNumber("abc"), 0);
  EXPECT_EQ(IniReader::leadingNumber(""), 0);
  EXPECT_EQ(IniReader::leadingNumber("+5"), 0);
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
  const TossConfig config = readConfiguration(dir.path()).settings;
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
  // Every check of what arrives is off: a run tosses as it always did.
  EXPECT_EQ(config.linksFile, "");
  EXPECT_FALSE(config.verifyFiles);
  EXPECT_EQ(config.badTicDir, "");
  EXPECT_TRUE(config.autoCreate);
  EXPECT_FALSE(config.replaces);
  EXPECT_FALSE(config.longDesc);
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
                                       "Akas = 2:5020/2 2:5020/3.1\n"
                                       "VerifyFiles = yes\n"
                                       "BadTicDir = /bad\n"
                                       "AutoCreate = no\n"
                                       "Replaces = Yes\n"
                                       "LongDesc = YES\n"
                                       "[INCLUDE]\n"
                                       "AreaPath = areas.lst\n"
                                       "Events = /etc/quenfar/events.lst\n"
                                       "Links = links.lst\n");
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
  EXPECT_EQ(config.akas, "2:5020/2 2:5020/3.1");
  EXPECT_TRUE(config.verifyFiles);
  EXPECT_EQ(config.badTicDir, "/bad/");
  EXPECT_FALSE(config.autoCreate);
  EXPECT_TRUE(config.replaces);
  EXPECT_TRUE(config.longDesc);
  EXPECT_EQ(config.linksFile, dir.path() + "/links.lst");
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

TEST(IniReader, ListsSectionsAndValuesAsWritten) {
  const IniReader ini("[ Main ]\nk = \"a ; b\"  \n[other]\n;[commented]\n[main]\n");
  EXPECT_EQ(ini.sections(), (std::vector<std::string>{"Main", "other", "main"}));
  EXPECT_EQ(ini.writtenValue("main", "K"), "\"a ; b\"");
  EXPECT_EQ(ini.value("main", "K"), "a ; b");
  EXPECT_EQ(ini.writtenValue("main", "missing"), std::nullopt);
  EXPECT_TRUE(IniReader::isQuoted("'x'"));
  EXPECT_FALSE(IniReader::isQuoted("\"x'"));
  EXPECT_FALSE(IniReader::isQuoted("\""));
}

// The warnings of one configuration text, with the program directory written as "<dir>".
std::vector<std::string> warningsFor(const test::TempDir& dir, const std::string& text) {
  test::writeFile(dir / "quenfar.cfg", text);
  std::vector<std::string> warnings = readConfiguration(dir.path()).warnings;
  for (std::string& line : warnings) {
    for (std::size_t at = line.find(dir.path()); at != std::string::npos;
         at = line.find(dir.path())) {
      line.replace(at, dir.path().size(), "<dir>");
    }
  }
  return warnings;
}

TEST(ConfigReader, WarnsAboutWhatItDoesNotRead) {
  struct Case {
    std::string text;
    std::vector<std::string> warnings;
  };
  const std::string at = " of <dir>/quenfar.cfg";
  const Case cases[] = {
      {"[QUENFAR]\nInbound=/in\n[INCLUDE]\n", {}},
      {"[quenfar]\n[Include]\n", {}},
      {"[INCLUDES]\nAreaPath=/a\n", {"Warning: unknown section [INCLUDES]" + at}},
      {"[QUENFAR]\n[ Quenfar2 ]\n[INCLUDE]\n", {"Warning: unknown section [Quenfar2]" + at}},
      {"[INCLUDE]\nAreaPaths=/a\nevents=\n", {"Warning: unknown key AreaPaths in [INCLUDE]" + at}},
      {"[QUENFAR]\nInboud=/in\n", {"Warning: unknown key Inboud in [QUENFAR]" + at}},
      {"[QUENFAR]\nEvents=/e\n[INCLUDE]\nFileecho=/f\n",
       {"Warning: unknown key Events in [QUENFAR]" + at + "; it belongs in [INCLUDE]",
        "Warning: unknown key Fileecho in [INCLUDE]" + at + "; it belongs in [QUENFAR]"}},
      {"[QUENFAR]\nFileecho = /srv/files   ; file areas\n",
       {"Warning: the value of Fileecho in [QUENFAR]" + at +
        " holds an inline comment, kept as part of the value: \"/srv/files   ; file areas\""}},
      {"[QUENFAR]\nUserName = John\t;sysop\n",
       {"Warning: the value of UserName in [QUENFAR]" + at +
        " holds an inline comment, kept as part of the value: \"John\t;sysop\""}},
      // Quoted, a ";" is meant; without a blank before it, it is part of a name.
      {"[QUENFAR]\nUserName = \"John ; sysop\"\nFileecho = /srv/a;b\nDescfile = ;x\n", {}},
      // Only the first section of a name is read, so only its keys are judged.
      {"[QUENFAR]\n[QUENFAR]\nNoSuchKey = 1 ;x\n", {}},
  };
  for (const Case& c : cases) {
    test::TempDir dir;
    EXPECT_EQ(warningsFor(dir, c.text), c.warnings) << c.text;
  }
}

TEST(ConfigReader, NamesTheListsItCannotReadByThePathTried) {
  test::TempDir dir;
  std::filesystem::create_directories(dir / "events.d");
  test::writeFile(dir / "here.lst", "A /a\n");
  // A bare name is looked for beside the program, not in the current directory.
  EXPECT_EQ(
      warningsFor(dir, "[INCLUDE]\nAreaPath = areas.lst\nEvents = " + (dir / "events.d") + "\n"),
      (std::vector<std::string>{
          "Warning: cannot read the area path list <dir>/areas.lst (AreaPath areas.lst, "
          "without a /, is looked for beside the program): No such file or directory",
          "Warning: cannot read the events list <dir>/events.d (Events): Is a directory"}));
  EXPECT_EQ(
      warningsFor(dir, "[INCLUDE]\nAreaPath = here.lst\nEvents = " + (dir / "here.lst") + "\n"),
      std::vector<std::string>{});
}

TEST(ConfigReader, NamesTheLinesOfTheLinksListItCannotReadButNoPassword) {
  test::TempDir dir;
  test::writeFile(dir / "links.lst",
                  "; links\n2:5020/1 SECRET\nSECRET2 2:5020/2\n2:5020/3 pw and more\n"
                  "2:5020/4 ;no password\n");
  EXPECT_EQ(warningsFor(dir, "[INCLUDE]\nLinks = links.lst\n"),
            (std::vector<std::string>{
                "Warning: line 3 of the links list <dir>/links.lst cannot be read: it does not "
                "begin with an FTN address zone:net/node[.point]; it names no link",
                "Warning: line 4 of the links list <dir>/links.lst cannot be read: it holds "
                "more than an address and a password; it names no link"}));
  LinkList links;
  ASSERT_TRUE(loadLinkList(dir / "links.lst", links).ok());
  EXPECT_EQ(links.size(), 2U);
  ASSERT_NE(links.find({2, 5020, 4, 0}), nullptr);
  EXPECT_EQ(links.find({2, 5020, 4, 0})->password, "");
  EXPECT_EQ(links.find({2, 5020, 1, 0})->password, "SECRET");
  EXPECT_EQ(links.find({2, 5020, 1, 1}), nullptr);
  EXPECT_EQ(warningsFor(dir, "[INCLUDE]\nLinks = missing.lst\n"),
            std::vector<std::string>{
                "Warning: cannot read the links list <dir>/missing.lst (Links missing.lst, "
                "without a /, is looked for beside the program): No such file or directory"});
}

TEST(NodeAddress, ReadsFourPartsAndIgnoresTheDomain) {
  const std::vector<std::pair<std::string, std::optional<NodeAddress>>> cases = {
      {"2:5020/1", NodeAddress{2, 5020, 1, 0}},
      {"2:5020/1.0", NodeAddress{2, 5020, 1, 0}},
      {"2:5020/1.7@fidonet", NodeAddress{2, 5020, 1, 7}},
      {"65535:1/2", NodeAddress{65535, 1, 2, 0}},
      {"65536:1/2", std::nullopt},
      {"2:5020", std::nullopt},
      {"2:5020/1.", std::nullopt},
      {" 2:5020/1", std::nullopt},
      {"2:5020/1x", std::nullopt},
      {"2:-5/1", std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& [text, address] : cases) {
    EXPECT_EQ(readNodeAddress(text), address) << text;
  }
}

// The manual page lists every key that the reader knows, in the words it is read by.
TEST(ConfigKeys, TheManualPageAndTheExampleNameEveryKey) {
  const std::string page = test::readFile(std::string(QUENFAR_SOURCE_DIR) + "/doc/quenfar.1");
  const std::string example =
      test::readFile(std::string(QUENFAR_SOURCE_DIR) + "/doc/examples/quenfar.cfg");
  for (const ConfigKey& key : configKeys()) {
    const std::string name = key.name;
    EXPECT_TRUE(page.find("\n.B \"" + name + " = ") != std::string::npos ||
                page.find("\n.BI \"" + name + " = ") != std::string::npos)
        << name;
    EXPECT_TRUE(example.find("\n" + name + " ") != std::string::npos ||
                example.find("\n;" + name + " ") != std::string::npos)
        << name;
  }
}

TEST(ConfigReader, NamesTheConfigurationByTheFileALinkLeadsTo) {
  test::TempDir program;
  test::TempDir etc;
  std::filesystem::create_symlink(etc / "quenfar.cfg", program / "quenfar.cfg");
  // A dangling link: the file to create or fix is the one it points to.
  ConfigReading reading = readConfiguration(program.path());
  const std::string real = platform::resolvedPath(etc / "quenfar.cfg");
  EXPECT_FALSE(reading.readable);
  EXPECT_EQ(reading.path, real);
  EXPECT_EQ(reading.warnings,
            std::vector<std::string>{"Warning: cannot read the configuration file " + real});
  test::writeFile(etc / "quenfar.cfg", "[QUENFAR]\nInbound=/in\nOops=1\n");
  reading = readConfiguration(program.path());
  EXPECT_TRUE(reading.readable);
  EXPECT_EQ(reading.path, real);
  EXPECT_EQ(reading.settings.inboundDir, "/in");
  EXPECT_EQ(reading.warnings,
            std::vector<std::string>{"Warning: unknown key Oops in [QUENFAR] of " + real});
}

TEST(ConfigReader, SaysWhereEachSettingInEffectCameFrom) {
  test::TempDir dir;
  test::writeFile(dir / "quenfar.cfg",
                  "[QUENFAR]\ninbound=/in\nTICDir=/t\nProcessTime=\nCutSymbols=70000\n"
                  "OnScreen=no\nDescfile=\n[INCLUDE]\nEvents=ev.lst\n");
  const ConfigReading reading = readConfiguration(dir.path());
  ASSERT_EQ(reading.inEffect.size(), configKeys().size());
  ASSERT_EQ(reading.inEffect.size(), 23U);
  std::map<std::string, std::pair<std::string, bool>> seen;
  for (const SettingInEffect& s : reading.inEffect) {
    seen[s.section + "/" + s.key] = {s.value, s.fromFile};
  }
  using Seen = std::pair<std::string, bool>;
  EXPECT_EQ(seen["QUENFAR/Inbound"], Seen("/in", true));
  EXPECT_EQ(seen["QUENFAR/TICDir"], Seen("/t/", true));
  // An empty number gives the default; an empty text is the empty text.
  EXPECT_EQ(seen["QUENFAR/ProcessTime"], Seen("10", false));
  EXPECT_EQ(seen["QUENFAR/Descfile"], Seen("", true));
  EXPECT_EQ(seen["QUENFAR/CutSymbols"], Seen("4464", true));
  EXPECT_EQ(seen["QUENFAR/OnScreen"], Seen("NO", true));
  EXPECT_EQ(seen["QUENFAR/DescFilter"], Seen("YES", false));
  EXPECT_EQ(seen["QUENFAR/Fileecho"], Seen("", false));
  EXPECT_EQ(seen["INCLUDE/Events"], Seen(dir.path() + "/ev.lst", true));
  EXPECT_EQ(seen["INCLUDE/AreaPath"], Seen("", false));
}

}  // namespace
