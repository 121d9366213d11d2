// Tossing runs over real inbound directories: placement, the .tic's fate, the log, and
// .tic values that try to leave the inbound or area tree.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <set>
#include <utility>

#include "platform/file.h"
#include "tests/support/directories.h"
#include "tests/support/node.h"

namespace {

const std::string kLogHead = "Quenfar log file\r\n";

// The log's block of one run, without the header lines and with times masked.
std::string lastBlock(const test::Node& node) {
  const std::string log = test::maskLogTimes(node.read("quenfar.log"));
  return log.substr(log.rfind("=== Start  <time>"));
}

TEST(Tossing, MixedInboundTossesWhatArrivedAndLeavesTheRest) {
  test::Node node;
  node.write("bin/areas.lst", "NODELIST = " + node.path("pub/nodelist") + "\r\n");
  node.writeStandardConfig("OnScreen=no\nDescFilter=no", "AreaPath=areas.lst");
  node.addTic("a.tic", "Area NODELIST\r\nFile NODELIST.Z45\r\nDesc Nodelist\r\n");
  node.write("in/NODELIST.Z45", "nodelist");
  node.addTic("b.tic", "Area UTILS\r\nFile ARJ.EXE\r\nDesc Archiver\r\n");
  node.write("in/ARJ.EXE", "arj");
  node.addTic("c.tic", "Area UTILS\r\nFile LATE.ZIP\r\nDesc Not here yet\r\n");

  const test::RunResult first = node.run();
  EXPECT_EQ(first.exitCode, 0);
  EXPECT_EQ(node.read("pub/nodelist/NODELIST.Z45"), "nodelist");
  EXPECT_EQ(node.read("files/UTILS/ARJ.EXE"), "arj");
  EXPECT_FALSE(node.exists("in/a.tic"));
  EXPECT_FALSE(node.exists("in/b.tic"));
  EXPECT_TRUE(node.exists("in/c.tic"));
  const std::string log = test::maskLogTimes(node.read("quenfar.log"));
  EXPECT_EQ(log.substr(0, kLogHead.size()), kLogHead);
  // The directory's order decides the order of the lines; compare them as a set.
  for (const char* line :
       {"\r\nNODELIST.Z45 ---> NODELIST (Nodelist)\r\n", "\r\nARJ.EXE ---> UTILS (Archiver)\r\n",
        "\r\nCan't move file LATE.ZIP\r\n"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(log.size(),
            std::string("Quenfar log file\r\n").size() + log.substr(log.find("\r\n") + 2).size());

  // The file arrives; the waiting .tic is tossed by the next run.
  node.write("in/LATE.ZIP", "late");
  node.run();
  EXPECT_EQ(node.read("files/UTILS/LATE.ZIP"), "late");
  EXPECT_FALSE(node.exists("in/c.tic"));
  EXPECT_EQ(
      lastBlock(node),
      "=== Start  <time>\r\nLATE.ZIP ---> UTILS (Not here yet)\r\n=== End    <time>\r\n\r\n\r\n");
}

TEST(Tossing, TicsAreTossedInTheOrderTheyArrivedThenByName) {
  test::Node node;
  node.writeStandardConfig("DescInLog=no");
  // Arrival times out of name order, two of them equal.
  const std::pair<const char*, int> arrivals[] = {
      {"n0014", 30}, {"n0015", 40}, {"n0009", 50}, {"n0018", 10}, {"n0002", 30}};
  const auto base = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  for (const auto& [name, second] : arrivals) {
    node.addTic(std::string(name) + ".tic",
                "Area NODEDIFF\r\nFile " + std::string(name) + ".arc\r\n");
    node.write("in/" + std::string(name) + ".arc", name);
    std::filesystem::last_write_time(node.path("in/" + std::string(name) + ".tic"),
                                     base + std::chrono::seconds(second));
  }
  node.run();
  EXPECT_EQ(lastBlock(node),
            "=== Start  <time>\r\n"
            "n0018.arc ---> NODEDIFF\r\nn0002.arc ---> NODEDIFF\r\nn0014.arc ---> NODEDIFF\r\n"
            "n0015.arc ---> NODEDIFF\r\nn0009.arc ---> NODEDIFF\r\n"
            "=== End    <time>\r\n\r\n\r\n");
}

TEST(Tossing, WholeLogOfOneRunMatchesByteForByte) {
  test::Node node;
  node.writeStandardConfig("OnScreen=no\nDescFilter=no\nCutSymbols=12");
  node.addTic("one.tic", "AREA FE_A\r\nFILE one.zip\r\nDESC The first file of this run\r\n");
  node.write("in/one.zip", "1");
  const test::RunResult result = node.run();
  const std::string log = test::maskLogTimes(node.read("quenfar.log"));
  const std::string systemLine = log.substr(18, log.find("\r\n", 18) - 18);
  EXPECT_EQ(systemLine.rfind("Running under ", 0), 0U) << systemLine;
  EXPECT_EQ(log, "Quenfar log file\r\n" + systemLine +
                     "\r\n\r\n=== Start  <time>\r\none.zip ---> FE_A (The first fi)\r\n"
                     "=== End    <time>\r\n\r\n\r\n");
}

TEST(Tossing, EmptyInboundSaysNothingToTossAndStillCreatesTicDir) {
  test::Node node;
  node.writeStandardConfig("TICDir=" + node.path("keep/tics/deep"));
  const test::RunResult result = node.run();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.output, test::kHeading + "Nothing to toss\n");
  EXPECT_TRUE(test::fileExists(node.path("keep/tics/deep")));
  EXPECT_NE(node.read("quenfar.log").find("\r\nNothing to toss\r\n=== End"), std::string::npos);
}

TEST(Tossing, FindsTicsInAnyLetterCase) {
  test::Node node;
  node.writeStandardConfig("OnScreen=no");
  node.addTic("one.TIC", "AREA A\r\nFILE one.zip\r\n");
  node.addTic("two.Tic", "AREA A\r\nFILE two.zip\r\n");
  node.addTic("three.tic", "AREA A\r\nFILE three.zip\r\n");
  node.addTic("four.tick", "AREA A\r\nFILE four.zip\r\n");
  for (const char* name : {"one.zip", "two.zip", "three.zip", "four.zip"}) {
    node.write(std::string("in/") + name, name);
  }
  const test::RunResult result = node.run();
  EXPECT_EQ(result.output, test::kHeading);
  EXPECT_TRUE(node.exists("files/A/one.zip"));
  EXPECT_TRUE(node.exists("files/A/two.zip"));
  EXPECT_TRUE(node.exists("files/A/three.zip"));
  EXPECT_FALSE(node.exists("files/A/four.zip"));
  EXPECT_TRUE(node.exists("in/four.tick"));
}

TEST(Tossing, ReplacesAFileAlreadyInTheArea) {
  test::Node node;
  node.writeStandardConfig();
  node.write("files/FE_A/x.zip", "the old version, longer");
  node.addTic("x.tic", "AREA FE_A\r\nFILE x.zip\r\n");
  node.write("in/x.zip", "new");
  const test::RunResult result = node.run();
  EXPECT_EQ(node.read("files/FE_A/x.zip"), "new");
  EXPECT_NE(result.output.find("x.zip ---> FE_A\n"), std::string::npos);
}

TEST(Tossing, AFileThatComesAgainKeepsOneFileAndOneEntry) {
  // A name with a space, a name that is its first word, and the same name in another case.
  test::Node node;
  node.writeStandardConfig("DescFilter=no");
  const std::pair<const char*, const char*> rounds[] = {
      {"my file.zip", "my"}, {"MY FILE.ZIP", "A.ZIP"}, {"a.zip", "my file.zip"}};
  for (const auto& [first, second] : rounds) {
    node.addTic("1.tic", std::string("AREA FE_A\r\nFILE ") + first + "\r\nDESC First\r\n");
    node.write(std::string("in/") + first, first);
    node.addTic("2.tic", std::string("AREA FE_A\r\nFILE ") + second + "\r\nDESC Second\r\n");
    node.write(std::string("in/") + second, second);
    node.run();
  }
  const std::string list = node.read("files/FE_A/files.bbs");
  EXPECT_EQ(test::countOf(list, "\r\n"), 3U);
  for (const char* entry :
       {"my            Second\r\n", "a.zip         First\r\n", "\"my file.zip\"  Second\r\n"}) {
    EXPECT_NE(list.find(entry), std::string::npos) << entry;
  }
  std::set<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(node.path("files/FE_A"))) {
    files.insert(entry.path().filename().string());
  }
  EXPECT_EQ(files, (std::set<std::string>{"files.bbs", "my", "a.zip", "my file.zip"}));
}

TEST(Tossing, TicDirKeepsTicsReplacingOlderOnes) {
  test::Node node;
  node.writeStandardConfig("TICDir=" + node.path("keep"));
  node.write("keep/x.tic", "older");
  node.addTic("x.tic", "AREA FE_A\r\nFILE x.zip\r\n");
  node.write("in/x.zip", "data");
  node.addTic("y.tic", "AREA FE_A\r\nFILE missing.zip\r\n");
  node.run();
  EXPECT_EQ(node.read("keep/x.tic"), "AREA FE_A\r\nFILE x.zip\r\n");
  EXPECT_FALSE(node.exists("in/x.tic"));
  EXPECT_TRUE(node.exists("in/y.tic"));  // its file never came: the .tic stays
  EXPECT_FALSE(node.exists("keep/y.tic"));
}

TEST(Tossing, FindsTheFileInAnyLetterCaseAndKeepsTheTicsName) {
  test::Node node;
  node.writeStandardConfig();
  node.addTic("x.tic", "AREA FE_A\r\nFILE FOO.ZIP\r\n");
  node.write("in/foo.zip", "data");
  node.run();
  EXPECT_EQ(node.read("files/FE_A/FOO.ZIP"), "data");
  EXPECT_FALSE(node.exists("in/foo.zip"));
}

TEST(Tossing, EmptyAreaGoesToFileechoAndMappedDirectoryMayEndWithSeparator) {
  test::Node node;
  node.write("bin/areas.lst", "MAPPED " + node.path("pub/mapped/") + "\n");
  node.writeStandardConfig("", "AreaPath=areas.lst");
  node.addTic("a.tic", "FILE root.zip\r\n");
  node.write("in/root.zip", "r");
  node.addTic("b.tic", "AREA MAPPED\r\nFILE m.zip\r\n");
  node.write("in/m.zip", "m");
  node.addTic("c.tic", "AREA mapped\r\nFILE other.zip\r\n");  // tags ignore letter case
  node.write("in/other.zip", "o");
  node.run();
  EXPECT_EQ(node.read("files/root.zip"), "r");
  EXPECT_EQ(node.read("pub/mapped/m.zip"), "m");
  EXPECT_EQ(node.read("pub/mapped/other.zip"), "o");
  EXPECT_FALSE(node.exists("files/mapped"));
}

TEST(Tossing, RelativeInboundResolvesAgainstTheCurrentDirectory) {
  test::Node node;
  node.writeConfig("[QUENFAR]\nInbound=in\nFileecho=files\nLogfile=q.log\n");
  // The first name of a relative path is never created by the run itself.
  std::filesystem::create_directories(node.path("files"));
  node.addTic("a.tic", "AREA FE_A\r\nFILE a.zip\r\n");
  node.write("in/a.zip", "a");
  node.run();
  EXPECT_EQ(node.read("files/FE_A/a.zip"), "a");
  EXPECT_TRUE(node.exists("q.log"));
}

TEST(Tossing, TicHeldByAnotherProgramIsPassedOverSilently) {
  test::Node node;
  node.writeStandardConfig();
  node.addTic("a.tic", "AREA FE_A\r\nFILE a.zip\r\n");
  node.write("in/a.zip", "a");
  {
    const platform::File holder =
        platform::File::open(node.path("in/a.tic"), platform::OpenMode::readExisting);
    const test::RunResult result = node.run();
    EXPECT_NE(result.output.find("Nothing to toss"), std::string::npos);
  }
  EXPECT_TRUE(node.exists("in/a.tic"));
  EXPECT_TRUE(node.exists("in/a.zip"));
  EXPECT_EQ(lastBlock(node).find("Can't move file"), std::string::npos);
}

TEST(Tossing, SecondSimultaneousRunWritesNoLog) {
  test::Node node;
  node.writeStandardConfig();
  node.write("quenfar.log", "earlier\r\n");
  node.addTic("a.tic", "AREA FE_A\r\nFILE a.zip\r\n");
  node.write("in/a.zip", "a");
  {
    const platform::File holder =
        platform::File::open(node.path("quenfar.log"), platform::OpenMode::writeKeep);
    node.run();
  }
  EXPECT_EQ(node.read("files/FE_A/a.zip"), "a");
  EXPECT_EQ(node.read("quenfar.log"), "earlier\r\n");
}

// Everything below the node's root except what a run may legitimately touch.
std::vector<std::string> entriesOutsideInboundAndFiles(const test::Node& node) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(node.root())) {
    const std::string relative = std::filesystem::relative(entry.path(), node.root()).string();
    if (relative.rfind("in", 0) == 0 || relative.rfind("files", 0) == 0 ||
        relative.rfind("bin", 0) == 0 || relative == "quenfar.log") {
      continue;
    }
    found.push_back(relative);
  }
  std::sort(found.begin(), found.end());
  return found;
}

TEST(Tossing, FileValuesThatAreNoPlainNameMoveNothing) {
  const std::string hostile[] = {"../secret.txt", "..", ".",        "sub/x.zip",
                                 "sub\\x.zip",    "",   "x\x01.zip"};
  for (const std::string& value : hostile) {
    test::Node node;
    node.writeStandardConfig("OnScreen=no");
    node.write("secret.txt", "secret");
    node.write("in/sub/x.zip", "x");
    node.write("in/sub\\x.zip", "x");
    node.write("in/x\x01.zip", "x");
    node.addTic("a.tic", "AREA FE_A\r\nFILE " + value + "\r\n");
    node.addTic("b.tic", "AREA FE_A\r\nFILE " + node.path("secret.txt") + "\r\n");
    node.run();
    EXPECT_EQ(node.read("secret.txt"), "secret") << value;
    EXPECT_TRUE(node.exists("in/a.tic")) << value;
    EXPECT_TRUE(node.exists("in/b.tic")) << value;
    EXPECT_TRUE(node.exists("in/sub/x.zip")) << value;
    EXPECT_FALSE(node.exists("files/FE_A/secret.txt"));
    EXPECT_FALSE(node.exists("files/FE_A/x.zip"));
    EXPECT_EQ(entriesOutsideInboundAndFiles(node), std::vector<std::string>{"secret.txt"});
    const std::string block = lastBlock(node);
    EXPECT_EQ(block.find('\x01'), std::string::npos);  // control bytes never reach the log
    EXPECT_NE(block.find("Can't move file "), std::string::npos) << value;
  }
}

TEST(Tossing, AreaTagsThatLeaveTheFileechoTreeAreRefused) {
  for (const std::string tag : {"..", ".", "../escape", "a/../../escape", "x\\y"}) {
    test::Node node;
    node.writeStandardConfig();
    node.addTic("a.tic", "AREA " + tag + "\r\nFILE a.zip\r\n");
    node.write("in/a.zip", "a");
    node.run();
    EXPECT_TRUE(node.exists("in/a.zip")) << tag;
    EXPECT_TRUE(node.exists("in/a.tic")) << tag;
    EXPECT_FALSE(node.exists("a.zip")) << tag;
    EXPECT_FALSE(node.exists("files/a.zip")) << tag;
    EXPECT_EQ(entriesOutsideInboundAndFiles(node), std::vector<std::string>{}) << tag;
    EXPECT_NE(lastBlock(node).find("Can't move file a.zip\r\n"), std::string::npos);
  }
}

TEST(Tossing, OperatorMayMapATagAnywhere) {
  test::Node node;
  node.write("bin/areas.lst", "../UP " + node.path("pub/up") + "\n");
  node.writeStandardConfig("", "AreaPath=areas.lst");
  node.addTic("a.tic", "AREA ../UP\r\nFILE a.zip\r\n");
  node.write("in/a.zip", "a");
  node.run();
  EXPECT_EQ(node.read("pub/up/a.zip"), "a");
}

}  // namespace

// A run large enough that its last batch is placed, flushed and completed in two halves: every
// file once, in the order the .tic files arrived, and a .tic of the second half that names a
// file of the first half is a duplicate.
TEST(Tossing, ALargeRunTossesEveryFileOnceInArrivalOrder) {
  test::Node node;
  std::filesystem::create_directories(node.path("netmail"));
  node.writeStandardConfig("OnScreen=no\nDescFilter=no\nNetmailDir=" + node.path("netmail") +
                           "\nFTNAddress=2:5020/2");
  std::string list;
  for (int i = 0; i < 300; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "F%03d.ZIP", i);
    node.write(std::string("in/") + name, name);
    node.addTic(
        std::string("t") + (name + 1) + ".tic",
        std::string("Area FE_A\r\nFile ") + name + "\r\nDesc Number " + std::to_string(i) + "\r\n");
    list += std::string(name) + "      Number " + std::to_string(i) + "\r\n";
  }
  node.addTic("u.tic", "Area FE_A\r\nFile F010.ZIP\r\nDesc Again\r\n");
  EXPECT_EQ(node.run().exitCode, 0);
  EXPECT_EQ(node.read("files/FE_A/files.bbs"), list);
  EXPECT_EQ(test::listNames(node.path("in")), "");
  const std::string log = node.read("quenfar.log");
  EXPECT_EQ(test::countOf(log, " ---> FE_A (Number "), 300U);
  EXPECT_NE(log.find("Duplicate u.tic: F010.ZIP was tossed in this run"), std::string::npos);
  EXPECT_NE(test::allMessages(node).find("File proceded 300\r\n"), std::string::npos);
}
