// The run's spine: banner, refusals, the inbound search and "Nothing to toss".
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

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

namespace {

// A working configuration and one .tic whose file has arrived: what a run would toss.
void addWaitingTic(const test::Node& node) {
  node.writeStandardConfig();
  node.addTic("a.tic", "AREA FE_A\r\nFILE a.zip\r\n");
  node.write("in/a.zip", "a");
}

TEST(CommandLine, HelpAndVersionPrintAndTouchNothing) {
  for (const std::string option : {"--help", "-h", "--version", "-V"}) {
    const test::Node node;
    addWaitingTic(node);
    const test::RunResult result = node.run("", option);
    EXPECT_EQ(result.exitCode, 0) << option;
    EXPECT_EQ(result.errors, "") << option;
    if (option == "--version" || option == "-V") {
      EXPECT_EQ(result.output, "quenfar 3.75\n");
    } else {
      EXPECT_EQ(result.output.rfind("Usage: quenfar [--help | --version]\n", 0), 0U);
      EXPECT_NE(result.output.find("Exit status:"), std::string::npos);
    }
    EXPECT_TRUE(node.exists("in/a.tic")) << option;
    EXPECT_FALSE(node.exists("quenfar.log")) << option;
  }
}

TEST(CommandLine, UnknownOptionIsAUsageErrorAndTossesNothing) {
  for (const std::string arguments : {"--toss", "-x", "--help extra", "now"}) {
    const test::Node node;
    addWaitingTic(node);
    const test::RunResult result = node.run("", arguments);
    EXPECT_EQ(result.exitCode, 2) << arguments;
    EXPECT_EQ(result.output, "") << arguments;
    EXPECT_NE(result.errors.find("Usage: quenfar"), std::string::npos) << arguments;
    EXPECT_TRUE(node.exists("in/a.tic")) << arguments;
  }
}

TEST(Diagnostics, EachMistakeIsOneWarningOnStandardErrorAndInTheLog) {
  struct Case {
    std::string extra;  // lines added to a working configuration
    std::string warning;
  };
  const Case cases[] = {
      {"Inboud=in", "Warning: unknown key Inboud in [QUENFAR] of "},
      {"NetmailDir=<root>/no/such/mail\nFTNAddress=2:5020/1",
       "Warning: the netmail directory <root>/no/such/mail/ does not exist; no announcement is "
       "stored"},
      {"NetmailDir=<root>\nFTNAddress=fidonet",
       "Warning: FTNAddress fidonet does not read as "
       "zone:net/node[.point]"},
      {"NetmailDir=<root>\nFTNAddress=2:5020/1.2.3",
       "Warning: FTNAddress 2:5020/1.2.3 does not "
       "read as zone:net/node[.point]"},
  };
  for (const Case& c : cases) {
    test::Node node;
    std::string extra = c.extra;
    std::string warning = c.warning;
    for (std::string* text : {&extra, &warning}) {
      for (std::size_t at = text->find("<root>"); at != std::string::npos;
           at = text->find("<root>")) {
        text->replace(at, 6, node.root());
      }
    }
    node.writeStandardConfig(extra);
    const test::RunResult result = node.run();
    EXPECT_EQ(result.exitCode, 0) << c.extra;
    EXPECT_EQ(result.output, kHeading + "Nothing to toss\n") << c.extra;
    EXPECT_EQ(result.errors.rfind(warning, 0), 0U) << result.errors;
    EXPECT_EQ(std::count(result.errors.begin(), result.errors.end(), '\n'), 1) << result.errors;
    EXPECT_NE(node.read("quenfar.log")
                  .find("\r\n" + result.errors.substr(0, result.errors.size() - 1) + "\r\n"),
              std::string::npos)
        << c.extra;
  }
}

TEST(Diagnostics, MissingInboundAndUnopenableLogAreNamed) {
  test::Node node;
  node.writeConfig("[QUENFAR]\nInbound=" + node.path("gone") + "\nFileecho=" + node.path("files") +
                   "\nLogfile=" + node.path("no/dir/q.log") + "\n");
  const test::RunResult result = node.run();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.output, kHeading + "Nothing to toss\n");
  EXPECT_EQ(result.errors, "Warning: the inbound directory " + node.path("gone") +
                               " does not exist\nWarning: cannot open the log file " +
                               node.path("no/dir/q.log") + ": No such file or directory\n");
}

TEST(Diagnostics, ACleanConfigurationSaysNothing) {
  test::Node node;
  node.writeStandardConfig("NetmailDir=" + node.root() + "\nFTNAddress=2:5020/1.0\nOnScreen=no");
  node.addTic("a.tic", "AREA FE_A\r\nFILE a.zip\r\n");
  node.write("in/a.zip", "a");
  const test::RunResult result = node.run();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.errors, "");
  EXPECT_EQ(node.read("quenfar.log").find("Warning"), std::string::npos);
}

}  // namespace
