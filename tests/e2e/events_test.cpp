// Events carried out for tossed files: flag files and commands.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <set>
#include <string>

#include "tests/support/node.h"

namespace {

// Sets up a node with the given events list and a script that appends each of its arguments,
// in brackets, to args.txt.
void setUpNode(const test::Node& node, const std::string& events,
               const std::string& extraQuenfar = "") {
  node.write("events.lst", events);
  node.write("record.sh", "printf '[%s]\\n' \"$@\" >> '" + node.path("args.txt") + "'\n");
  node.writeStandardConfig(extraQuenfar, "Events = " + node.path("events.lst"));
}

std::string recordCommand(const test::Node& node) {
  return "sh " + node.path("record.sh");
}

std::set<std::string> entriesOf(const std::string& directory) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

TEST(Events, FlagIsCreatedOrEmptiedAndOtherPercentCommandsDoNothing) {
  test::Node node;
  setUpNode(node,
            "* * %FLG%new.flg\r\n"
            "FE_A *.ZIP %flg%old.flg\r\n"
            "* * %FLX%x.flg\r\n"
            "* * %FLG\r\n"
            "* * %%x.flg\r\n"
            "OTHER * %FLG%other.flg\r\n",
            "FlagsDir = " + node.path("flags"));
  node.write("flags/old.flg", "old contents");
  node.addTic("a.tic", "AREA FE_A\r\nFILE x.zip\r\nDESC d\r\n");
  node.write("in/x.zip", "data");
  node.run();
  EXPECT_EQ(node.read("files/FE_A/x.zip"), "data");
  EXPECT_EQ(entriesOf(node.path("flags")), (std::set<std::string>{"new.flg", "old.flg"}));
  EXPECT_EQ(node.read("flags/new.flg"), "");
  EXPECT_EQ(node.read("flags/old.flg"), "");
  EXPECT_FALSE(node.exists("x.flg"));
}

TEST(Events, CommandsGetOwnArgumentsThenPathThenNameInListOrderOncePerFile) {
  test::Node node;
  const std::string record = recordCommand(node);
  setUpNode(node, "FE_? *.ZIP " + record + " first\r\n" +  //
                      "NOPE * " + record + " never\r\n" +  //
                      "* *.* " + record + " second  two\r\n");
  node.addTic("a.tic", "AREA FE_A\r\nFILE x.zip\r\nDESC d\r\n");
  node.write("in/x.zip", "data");
  node.addTic("b.tic", "AREA FE_B\r\nFILE y.arj\r\nDESC d\r\n");
  node.write("in/y.arj", "data");
  node.run();
  // *.ZIP takes y.arj as well: its name part "y" fits "*".
  auto block = [&](const std::string& area, const std::string& name) {
    const std::string tail = "[" + node.path("files/" + area + "/" + name) + "]\n[" + name + "]\n";
    return "[first]\n" + tail + "[second]\n[two]\n" + tail;
  };
  const std::string x = block("FE_A", "x.zip");
  const std::string y = block("FE_B", "y.arj");
  const std::string args = node.read("args.txt");
  // The two .tic files are taken in the directory's order, which is not fixed.
  EXPECT_TRUE(args == x + y || args == y + x) << args;
}

TEST(Events, NamesAndTagsNeverReachTheInterpreterAsSyntax) {
  test::Node node;
  setUpNode(node, "* * " + recordCommand(node) + "\r\n");
  const std::string area = "B$(touch AREA)";
  const std::string name = "a;touch INJ `touch TICK` $(touch SUB)|touch PIPE&.zip";
  node.addTic("a.tic", "AREA " + area + "\r\nFILE " + name + "\r\nDESC d\r\n");
  node.write("in/" + name, "data");
  node.run();
  const std::string path = node.path("files/" + area + "/" + name);
  EXPECT_EQ(test::readFile(path), "data");
  EXPECT_EQ(node.read("args.txt"), "[" + path + "]\n[" + name + "]\n");
  for (const char* injected : {"AREA", "INJ", "TICK", "SUB", "PIPE"}) {
    EXPECT_FALSE(node.exists(injected)) << injected;
  }
}

TEST(Events, CommandOverProcessTimeEndsWithWhatItStartedAndTheRunGoesOnTroubled) {
  test::Node node;
  const std::string slow =
      "sleep 30 > /dev/null 2>&1 & echo $! > bg.pid; sleep 30 > /dev/null 2>&1; :";
  setUpNode(node, "* * " + slow + "\r\n* * %FLG%after.flg\r\n",
            "ProcessTime = 9\nFlagsDir = " + node.path("flags"));
  node.write("flags/.keep", "");
  node.addTic("a.tic", "AREA FE_A\r\nFILE x.zip\r\nDESC d\r\n");
  node.write("in/x.zip", "data");
  const auto start = std::chrono::steady_clock::now();
  const test::RunResult result = node.run();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_LT(elapsed, std::chrono::seconds(25));
  EXPECT_TRUE(node.exists("flags/after.flg"));
  EXPECT_EQ(node.read("files/FE_A/x.zip"), "data");
  const std::string warning = "Warning: event command for x.zip stopped after 9 s: " + slow;
  EXPECT_EQ(result.errors, warning + "\n");
  EXPECT_EQ(test::countOf(node.read("quenfar.log"), "x.zip ---> FE_A (d)\r\n" + warning + "\r\n"),
            1U);
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_TRUE(test::processEndsSoon(test::readFile(node.path("bg.pid"))))
      << "the background child ran on";
}

TEST(Events, CommandThatCannotStartWarnsOtherStatusesAreOnlyLogged) {
  test::Node node;
  const std::string missing = "/usr/local/lib/ftn/nodelist-updat -q";
  setUpNode(node, "* X.ZIP exit 2\r\n* Y.ARJ " + missing + "\r\n* * exit 0\r\n");
  node.addTic("a.tic", "AREA FE_A\r\nFILE x.zip\r\nDESC d\r\n");
  node.write("in/x.zip", "data");
  test::RunResult result = node.run();
  // A status of the command's own is noted in the log and changes nothing else.
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.errors, "");
  EXPECT_EQ(test::countOf(node.read("quenfar.log"),
                          "x.zip ---> FE_A (d)\r\nThe event command for x.zip ended with status 2: "
                          "exit 2\r\n"),
            1U);

  node.addTic("b.tic", "AREA FE_A\r\nFILE y.arj\r\nDESC d\r\n");
  node.write("in/y.arj", "data");
  result = node.run();
  const std::string warning =
      "Warning: event command for y.arj could not be started (the command interpreter ended "
      "with status 127: not found or not executable): " +
      missing;
  EXPECT_EQ(result.exitCode, 3);
  // The interpreter's own words come first, then the program's line.
  EXPECT_NE(result.errors.find("not found\n" + warning + "\n"), std::string::npos) << result.errors;
  EXPECT_EQ(test::countOf(node.read("quenfar.log"), warning + "\r\n"), 1U);
  EXPECT_EQ(node.read("files/FE_A/y.arj"), "data");
}

}  // namespace

#endif
