// Runs that meet a fault: a second file system, a name that is no plain file, a .tic that
// cannot be disposed of, a stale file, a dupe, a message that cannot be stored, a signal. Each
// loses nothing and tosses or announces nothing twice.
#ifndef _WIN32

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/directories.h"
#include "tests/support/node.h"
#include "tic/toss_journal.h"

namespace fs = std::filesystem;

namespace {

// Every event writes what it sees: the file in its area, the file and the .tic in the inbound,
// the .tic in TICDir.
void configure(const test::Node& node, const std::string& extra = "") {
  node.write("bin/see.sh",
             "for f in \"$1\" '" + node.path("in/") + "'\"$2\" '" + node.path("in/") +
                 "'\"${2%.*}.tic\" '" + node.path("kept/") +
                 "'\"${2%.*}.tic\"; do [ -e \"$f\" ] && printf 'y' || printf 'n'; done >> '" +
                 node.path("events.out") + "'\necho \" $2\" >> '" + node.path("events.out") +
                 "'\n");
  node.write("bin/events.lst", "* * sh " + node.path("bin/see.sh") + "\r\n");
  node.writeStandardConfig(
      "NetmailDir=" + node.path("netmail") + "\nFTNAddress=2:5020/2\nOnScreen=no\n" + extra,
      "Events=events.lst");
  fs::create_directories(node.path("netmail"));
}

// A .tic and its file, with the file's Size and Crc ("data of x" has CRC-32 given below).
void addFile(const test::Node& node, const std::string& ticName, const std::string& fileName,
             const std::string& extra = "") {
  node.addTic(ticName,
              "AREA FE_A\r\nFILE " + fileName + "\r\nDESC About " + fileName + "\r\n" + extra);
  node.write("in/" + fileName, "data");
}

constexpr const char* kSizeAndCrc = "Size 4\r\nCrc ADF3F363\r\n";  // of "data"

// Runs a shell command in the node's directory; its exit status.
int shell(const test::Node& node, const std::string& command) {
  return std::system(("cd '" + node.root() + "' && " + command).c_str());
}

TEST(Order, EventsSeeTheFileInItsAreaAndTheTicAlreadyDisposedOf) {
  for (const bool keep : {false, true}) {
    test::Node node;
    configure(node, keep ? "TICDir=" + node.path("kept") : "");
    addFile(node, "a.tic", "a.zip");
    const test::RunResult result = node.run();
    EXPECT_EQ(result.exitCode, 0);
    // In its area, gone from the inbound, the .tic gone from the inbound and, with TICDir,
    // kept there.
    EXPECT_EQ(node.read("events.out"), std::string(keep ? "ynny" : "ynnn") + " a.zip\n");
    EXPECT_NE(node.read("files/FE_A/files.bbs").find("a.zip"), std::string::npos);
  }
}

TEST(Faults, TicDirOnAnotherFileSystemTakesTheTicAcross) {
  // A rename onto another file system fails with EXDEV.
  const test::OtherFileSystem other;
  if (other.path().empty()) {
    GTEST_SKIP() << "no second file system to keep .tic files on: " << other.whyNone();
  }
  test::Node node;
  const std::string kept = other / "kept";
  fs::create_directory(kept);
  configure(node, "TICDir=" + kept);
  addFile(node, "a.tic", "a.zip");
  const test::RunResult first = node.run();
  EXPECT_EQ(first.exitCode, 0) << first.errors;
  EXPECT_EQ(first.errors, "");
  EXPECT_FALSE(node.exists("in/a.tic"));
  EXPECT_EQ(test::readFile(kept + "/a.tic"), "AREA FE_A\r\nFILE a.zip\r\nDESC About a.zip\r\n");
  fs::remove_all(kept);
  node.run();
  EXPECT_EQ(test::countOf(test::allMessages(node), "=== a.zip "), 1U);
  EXPECT_EQ(test::countOf(node.read("events.out"), " a.zip"), 1U);
}

TEST(Faults, TicThatCannotBeDisposedOfIsAWarningAndIsNotTossedAgain) {
  struct Case {
    std::string label;
    std::string ticDir;  // inside the node
    std::string warning;
  };
  const Case cases[] = {
      // TICDir cannot be made: a file stands where a level of it should be.
      {"TICDir under a file", "afile/kept", "cannot make TICDir "},
      // The place in TICDir is taken by a directory: the move fails.
      {"directory in TICDir", "kept", "cannot move "},
  };
  for (const Case& c : cases) {
    test::Node node;
    configure(node, "TICDir=" + node.path(c.ticDir));
    node.write("afile", "x");
    fs::create_directories(node.path("kept/a.tic"));
    addFile(node, "a.tic", "a.zip");
    const test::RunResult first = node.run();
    EXPECT_EQ(first.exitCode, 0) << c.label;
    EXPECT_NE(first.errors.find("Warning: " + c.warning), std::string::npos)
        << c.label << ": " << first.errors;
    EXPECT_NE(first.errors.find("a.zip is tossed, and the next run only disposes of the .tic"),
              std::string::npos)
        << c.label << ": " << first.errors;
    EXPECT_TRUE(node.exists("in/a.tic")) << c.label;
    EXPECT_EQ(node.read("files/FE_A/a.zip"), "data") << c.label;
    node.run();
    node.run();
    // Tossed, announced and its event run once, however often the .tic stays.
    EXPECT_EQ(test::countOf(test::allMessages(node), "=== a.zip "), 1U) << c.label;
    EXPECT_EQ(test::countOf(node.read("events.out"), " a.zip"), 1U) << c.label;
    EXPECT_EQ(test::countOf(node.read("files/FE_A/files.bbs"), "About a.zip"), 1U) << c.label;
  }
}

TEST(Faults, AStaleFileOfTheSameNameIsNotTakenForTheNewOne) {
  test::Node node;
  configure(node);
  node.write("files/FE_A/a.zip", "last week's");
  node.addTic("a.tic", "AREA FE_A\r\nFILE a.zip\r\nDESC New\r\n" + std::string(kSizeAndCrc));
  {
    // A run died after noting the toss, before the file arrived.
    TossJournal dead(node.path("in/"), {});
    ASSERT_TRUE(dead.noteToss({"a.tic", node.path("files/FE_A/a.zip"), "FE_A", "", "New", {}}));
  }
  const test::RunResult waiting = node.run();
  EXPECT_EQ(waiting.exitCode, 0);
  EXPECT_TRUE(node.exists("in/a.tic"));
  EXPECT_EQ(node.read("files/FE_A/a.zip"), "last week's");
  EXPECT_FALSE(node.exists("events.out"));
  EXPECT_EQ(test::countOf(test::allMessages(node), "=== a.zip "), 0U);
  // The log says why, and standard error stays quiet: the file is on its way.
  EXPECT_NE(node.read("quenfar.log")
                .find("Can't move file a.zip\r\nWarning: a.tic waits for "
                      "a.zip, which has not arrived in the inbound\r\n"),
            std::string::npos);
  EXPECT_EQ(waiting.errors, "");

  node.write("in/a.zip", "data");
  node.run();
  EXPECT_EQ(node.read("files/FE_A/a.zip"), "data");
  EXPECT_FALSE(node.exists("in/a.tic"));
  EXPECT_EQ(test::countOf(test::allMessages(node), "=== a.zip "), 1U);
}

TEST(Faults, ATicWaitingForMoreThanADayIsReportedOnceADay) {
  test::Node node;
  configure(node);
  node.addTic("a.tic", "AREA FE_A\r\nFILE a.zip\r\n");
  ASSERT_EQ(shell(node, "touch -d '3 days ago' in/a.tic"), 0);
  const test::RunResult first = node.run();
  EXPECT_EQ(first.errors,
            "Warning: a.tic waits for a.zip, which has not arrived in the inbound for more than a "
            "day\n");
  EXPECT_EQ(first.exitCode, 0);
  EXPECT_EQ(node.run().errors, "");
}

TEST(Faults, AFileNameThatIsNoPlainFileOfTheInboundIsRefusedWithItsCause) {
  struct Case {
    std::string label;
    std::string fileName;
    std::string cause;   // the start of it
    std::string ending;  // and how it ends
  };
  const Case cases[] = {
      {"another .tic", "B.TIC", "the name is that of a .tic control file", "file\n"},
      {"a symbolic link", "link.zip", "cannot move ", ": it is a symbolic link\n"},
      {"a directory", "dir.zip", "cannot move ", ": it is a directory\n"},
  };
  for (const Case& c : cases) {
    test::Node node;
    configure(node);
    node.addTic("a.tic", "AREA FE_A\r\nFILE " + c.fileName + "\r\n");
    addFile(node, "b.tic", "b.zip");  // the .tic that a.tic names, or another
    node.write("private", "secret");
    ASSERT_EQ(chmod(node.path("private").c_str(), 0600), 0);
    fs::create_symlink(node.path("private"), node.path("in/link.zip"));
    fs::create_directories(node.path("in/dir.zip"));
    const test::RunResult result = node.run();
    EXPECT_EQ(result.exitCode, 3) << c.label;
    const std::size_t warning =
        result.errors.find("Warning: cannot toss " + c.fileName + " of a.tic: " + c.cause);
    ASSERT_NE(warning, std::string::npos) << c.label << ": " << result.errors;
    EXPECT_EQ(result.errors.substr(result.errors.find('\n', warning) + 1 - c.ending.size(),
                                   c.ending.size()),
              c.ending)
        << c.label << ": " << result.errors;
    EXPECT_NE(node.read("quenfar.log").find("Can't move file " + c.fileName + "\r\nWarning: "),
              std::string::npos)
        << c.label;
    // Nothing of it reached the area; the victim is tossed as usual.
    EXPECT_FALSE(node.exists("files/FE_A/" + c.fileName)) << c.label;
    EXPECT_TRUE(node.exists("in/a.tic")) << c.label;
    EXPECT_EQ(node.read("files/FE_A/b.zip"), "data") << c.label;
    EXPECT_TRUE(fs::is_symlink(node.path("in/link.zip"))) << c.label;
  }
}

TEST(Faults, ADupeTicIsDisposedOfWithoutASecondBlockOrEvent) {
  test::Node node;
  configure(node);
  addFile(node, "a.tic", "a.zip", kSizeAndCrc);
  node.addTic("b.tic",
              "AREA FE_A\r\nFILE a.zip\r\nDESC About a.zip\r\n" + std::string(kSizeAndCrc));
  const test::RunResult result = node.run();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_FALSE(node.exists("in/a.tic"));
  EXPECT_FALSE(node.exists("in/b.tic"));
  EXPECT_EQ(test::countOf(test::allMessages(node), "=== a.zip "), 1U);
  EXPECT_EQ(test::countOf(node.read("events.out"), " a.zip"), 1U);
  const std::string log = node.read("quenfar.log");
  EXPECT_TRUE(log.find("Duplicate a.tic: a.zip was tossed in this run\r\n") != std::string::npos ||
              log.find("Duplicate b.tic: a.zip was tossed in this run\r\n") != std::string::npos)
      << log;
}

TEST(Faults, AnAnnouncementThatCannotBeStoredIsAWarningAndComesLater) {
  test::Node node;
  configure(node);
  // Numbers only grow; the highest one taken leaves none above it.
  node.write("netmail/99999999.msg", "");
  addFile(node, "a.tic", "a.zip");
  const test::RunResult first = node.run();
  EXPECT_EQ(first.exitCode, 3);
  const std::string warning =
      "Warning: cannot store the announcement in " + node.path("netmail") +
      "/: the messages are numbered up to 99999999.msg, the highest number there is; renumber "
      "them from 2 (or move them away) and set the high-water mark of 1.msg to match; the next "
      "run announces its files";
  EXPECT_NE(first.errors.find(warning + "\n"), std::string::npos) << first.errors;
  EXPECT_NE(node.read("quenfar.log").find(warning + "\r\n"), std::string::npos);
  EXPECT_FALSE(node.exists("netmail/1.msg"));

  EXPECT_EQ(test::countOf(first.errors, "99999999.msg"), 1U) << "said once";

  fs::rename(node.path("netmail/99999999.msg"), node.path("netmail/7.msg"));
  const test::RunResult second = node.run();
  EXPECT_EQ(second.exitCode, 0);
  EXPECT_NE(node.read("netmail/8.msg").find("=== a.zip "), std::string::npos);
}

TEST(Signals, TermFinishesTheTossesInHandStoresItsMessageAndStops) {
  test::Node node;
  configure(node);
  // The event of the first toss says it started, then takes its time.
  node.write("bin/events.lst", "* * sh " + node.path("bin/slow.sh") + "\r\n");
  node.write("bin/slow.sh", "echo \"$2\" >> '" + node.path("events.out") + "'; touch '" +
                                node.path("started") + "'; sleep 1\n");
  for (const char* name : {"a", "b", "c"}) {
    addFile(node, std::string(name) + ".tic", std::string(name) + ".zip");
  }
  const int status =
      shell(node,
            "(bin/quenfar > out 2> err < /dev/null & pid=$!; n=0; "
            "while [ ! -e started ] && [ $n -lt 200 ]; do sleep 0.05; n=$((n+1)); done; "
            "kill -TERM $pid; wait $pid; echo $? > rc)");
  ASSERT_EQ(status, 0);
  EXPECT_EQ(node.read("rc"), "0\n");
  // The tosses in hand, complete and announced; the events not begun left for the next run.
  EXPECT_EQ(test::countOf(node.read("events.out"), ".zip"), 1U);
  const std::string first = test::allMessages(node);
  EXPECT_EQ(test::countOf(first, "File proceded 3\r\n"), 1U);
  EXPECT_NE(node.read("quenfar.log").find("Stopped by signal 15"), std::string::npos);
  node.run();
  const std::string all = test::allMessages(node);
  for (const char* name : {"a.zip", "b.zip", "c.zip"}) {
    EXPECT_EQ(test::countOf(all, std::string("=== ") + name + " "), 1U) << name;
    EXPECT_EQ(test::countOf(node.read("events.out"), name), 1U) << name;
  }
}

TEST(Signals, AClosedStandardOutputDoesNotEndTheRun) {
  test::Node node;
  configure(node);
  addFile(node, "a.tic", "a.zip");
  // The reader of the pipe is gone before the banner is written.
  ASSERT_EQ(shell(node, "bin/quenfar < /dev/null 2> err | true"), 0);
  EXPECT_EQ(node.read("files/FE_A/a.zip"), "data");
  EXPECT_EQ(test::countOf(test::allMessages(node), "=== a.zip "), 1U);
}

TEST(Faults, AnAreaDirectoryThatCannotBeMadeSaysWhy) {
  test::Node node;
  configure(node);
  node.write("files/FE_A", "a file where the area should be");
  addFile(node, "a.tic", "a.zip");
  const test::RunResult result = node.run();
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_EQ(result.errors, "Warning: cannot toss a.zip of a.tic: cannot make the area directory " +
                               node.path("files/FE_A") + ": it is not a directory\n");
  EXPECT_TRUE(node.exists("in/a.tic"));
  EXPECT_EQ(node.read("in/a.zip"), "data");
}

}  // namespace

#endif
