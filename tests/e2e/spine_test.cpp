// The run's spine: banner, refusals, the inbound search and "Nothing to toss".
#include <gtest/gtest.h>

#include "tests/support/node.h"

namespace {

const std::string kHeading =
    "Quenfar ver 3.75 HERALD\n"
    "A file-echo processor for FTN nodes: tosses .tic files into their areas.\n"
    "Free software, provided as is, without warranty of any kind.\n"
    "Questions and reports: the project's issue tracker.\n"
    "\n";

TEST(Spine, WithoutConfigurationRefusesForMissingInbound) {
  test::Node node;
  // A quenfar.cfg in the current directory is not the program's own and is never read.
  node.write("quenfar.cfg", "[QUENFAR]\nInbound=in\nFileecho=files\n");
  const test::RunResult result = node.run();
  // A run stopped by its configuration says so in its exit status, and names the file it
  // looked for.
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.output, kHeading + "Inbound dir not defined\n");
  EXPECT_EQ(result.errors.rfind("Warning: cannot read the configuration file ", 0), 0U);
  EXPECT_NE(result.errors.find("bin/quenfar.cfg\n"), std::string::npos);
}

TEST(Spine, RefusalsComeInOrderAndTouchNothing) {
  struct Case {
    std::string config;
    std::string message;
  };
  const Case cases[] = {
      {"[QUENFAR]\nFileecho=files\n", "Inbound dir not defined"},
      {"[QUENFAR]\n", "Inbound dir not defined"},
      {"[QUENFAR]\nInbound=in\nTICDir=kept\nLogfile=q.log\n", "Fileecho dir not defined"},
      {"[QUENFAR]\nInbound=in\nFileecho=files\nNetmailDir=mail\nTICDir=kept\nLogfile=q.log\n",
       "FTN address not defined"},
  };
  for (const Case& c : cases) {
    test::Node node;
    node.writeConfig(c.config);
    node.write("in/a.tic", "AREA X\r\nFILE a.zip\r\n");
    node.write("in/a.zip", "zip");
    const test::RunResult result = node.run();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.output, kHeading + c.message + "\n") << c.config;
    EXPECT_TRUE(node.exists("in/a.tic"));
    EXPECT_TRUE(node.exists("in/a.zip"));
    EXPECT_FALSE(node.exists("files"));
    EXPECT_FALSE(node.exists("kept"));
    EXPECT_FALSE(node.exists("q.log"));
  }
}

TEST(Spine, EmptyInboundSaysNothingToTossAndStillCreatesTicDir) {
  test::Node node;
  node.writeStandardConfig("TICDir=" + node.path("keep/tics/deep"));
  const test::RunResult result = node.run();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.output, kHeading + "Nothing to toss\n");
  EXPECT_TRUE(test::fileExists(node.path("keep/tics/deep")));
  EXPECT_NE(node.read("quenfar.log").find("\r\nNothing to toss\r\n=== End"), std::string::npos);
}

TEST(Spine, MissingInboundDirectorySaysNothingToToss) {
  test::Node node;
  node.writeConfig("[QUENFAR]\nInbound=" + node.path("nowhere") +
                   "\nFileecho=" + node.path("files") + "\n");
  const test::RunResult result = node.run();
  EXPECT_EQ(result.output, kHeading + "Nothing to toss\n");
}

TEST(Spine, FindsTicsInAnyLetterCase) {
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
  EXPECT_EQ(result.output, kHeading);
  EXPECT_TRUE(node.exists("files/A/one.zip"));
  EXPECT_TRUE(node.exists("files/A/two.zip"));
  EXPECT_TRUE(node.exists("files/A/three.zip"));
  EXPECT_FALSE(node.exists("files/A/four.zip"));
  EXPECT_TRUE(node.exists("in/four.tick"));
}

}  // namespace
