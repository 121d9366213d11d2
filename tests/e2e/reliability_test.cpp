// Runs that overlap, runs that died, and .tic files that try what they should not.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/node.h"
#include "tic/toss_journal.h"

namespace {

namespace fs = std::filesystem;

// A node with a log, a netmail directory and an event that notes every file it is run for.
void configure(const test::Node& node) {
  fs::create_directories(node.path("netmail"));
  node.write("bin/note.sh", "#!/bin/sh\necho \"$2\" >> \"$(dirname \"$0\")/../events.out\"\n");
  fs::permissions(node.path("bin/note.sh"), fs::perms(0755));
  node.write("bin/events.lst", "* * " + node.path("bin/note.sh") + "\r\n");
  node.writeStandardConfig(
      "NetmailDir=" + node.path("netmail") + "\nFTNAddress=2:5020/2\nOnScreen=no",
      "Events=events.lst");
}

void addFile(const test::Node& node, const std::string& name, const std::string& area = "FE_A",
             const std::string& extra = "") {
  node.addTic(name + ".tic",
              "AREA " + area + "\r\nFILE " + name + ".zip\r\nDESC About " + name + "\r\n" + extra);
  node.write("in/" + name + ".zip", "data of " + name);
}

// The names in a directory tree that the program keeps for itself while it runs.
std::size_t leftovers(const test::Node& node) {
  std::size_t found = 0;
  for (const auto& entry : fs::recursive_directory_iterator(node.root())) {
    if (entry.path().filename().string().rfind(".quenfar-", 0) == 0) {
      ++found;
    }
  }
  return found;
}

TEST(Reliability, OverlappingRunsTossAnnounceAndListEachFileOnce) {
  test::Node node;
  configure(node);
  constexpr int kFiles = 120;
  for (int i = 0; i < kFiles; ++i) {
    addFile(node, "f" + std::to_string(i), i % 2 == 0 ? "FE_A" : "FE_B");
  }
  node.runTogether(3);
  const std::string lists = node.read("files/FE_A/files.bbs") + node.read("files/FE_B/files.bbs");
  const std::string messages = test::allMessages(node);
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "f" + std::to_string(i) + ".zip";
    EXPECT_EQ(test::countOf(lists, "\r\n" + name + " ") + (lists.rfind(name + " ", 0) == 0 ? 1 : 0),
              1U)
        << name;
    EXPECT_EQ(test::countOf(messages, "=== " + name + " "), 1U) << name;
  }
  EXPECT_FALSE(node.exists("in/f0.tic"));
  EXPECT_EQ(leftovers(node), 0U);
  // A .tic that another run holds or has just tossed is passed over without a word.
  EXPECT_EQ(test::countOf(node.read("quenfar.log"), "Can't move file"), 0U);
}

TEST(Reliability, TossCutShortAfterTheMoveIsFinishedByTheNextRun) {
  test::Node node;
  configure(node);
  addFile(node, "late");
  {
    // A run that died right after moving the file: its journal is left behind unheld.
    TossJournal dead(node.path("in/"), {});
    ASSERT_TRUE(dead.noteToss(
        {"late.tic", node.path("files/FE_A/late.zip"), "FE_A", "", "About late", {}}));
    ASSERT_TRUE(dead.sync());  // as before any move
    fs::create_directories(node.path("files/FE_A"));
    fs::rename(node.path("in/late.zip"), node.path("files/FE_A/late.zip"));
    EXPECT_TRUE(dead.noteMoved("late.tic"));
    test::writeFile(node.path("files/FE_A/.quenfar-abc123"), "half a list");
  }
  const test::RunResult result = node.run();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(node.read("files/FE_A/files.bbs"), "late.zip      About late\r\n");
  EXPECT_FALSE(node.exists("in/late.tic"));
  EXPECT_EQ(node.read("events.out"), "late.zip\n");
  EXPECT_EQ(test::countOf(test::allMessages(node), "=== late.zip "), 1U);
  EXPECT_EQ(leftovers(node), 0U);
  EXPECT_EQ(test::countOf(node.read("quenfar.log"), "Can't move file"), 0U);
}

TEST(Reliability, FilesThatADeadRunTossedAreAnnouncedByTheNextRun) {
  test::Node node;
  configure(node);
  {
    // It died after the move; the .tic is gone.
    TossJournal dead(node.path("in/"), {});
    test::writeFile(node.path("files/FE_A/gone.zip"), "data");
    TossEvidence moved;
    moved.source = *platform::entryStamp(node.path("files/FE_A/gone.zip"));
    ASSERT_TRUE(dead.noteToss(
        {"gone.tic", node.path("files/FE_A/gone.zip"), "FE_A", "2:5020/1", "Gone", moved}));
    ASSERT_TRUE(dead.sync());  // as before any move
  }
  addFile(node, "fresh");
  node.run();
  const std::string messages = test::allMessages(node);
  EXPECT_EQ(test::countOf(messages, "=== gone.zip "), 1U);
  EXPECT_NE(messages.find("Description: Gone\r\nFile size  : 4\r\nHatched by : 2:5020/1\r\n"),
            std::string::npos);
  EXPECT_EQ(test::countOf(messages, "=== fresh.zip "), 1U);
  EXPECT_NE(messages.find("File proceded 2\r\n"), std::string::npos);
  EXPECT_EQ(leftovers(node), 0U);

  // Once announced, never again.
  addFile(node, "next");
  node.run();
  EXPECT_EQ(test::countOf(test::allMessages(node), "=== gone.zip "), 1U);
}

TEST(Reliability, HostileTicsTouchNothingOfTheProgramsOwn) {
  test::Node node;
  configure(node);
  node.write("files/FE_A/files.bbs", "keep.zip  Kept\r\n");
  for (const std::string name : {"files.bbs", "FILES.BBS", ".quenfar-abc123"}) {
    node.addTic(name + ".tic", "AREA FE_A\r\nFILE " + name + "\r\n");
    node.write("in/" + name, "hostile");
  }
  node.run();
  EXPECT_EQ(node.read("files/FE_A/files.bbs"), "keep.zip  Kept\r\n");
  const std::string log = node.read("quenfar.log");
  EXPECT_NE(log.find("Can't move file files.bbs\r\n"), std::string::npos);
  EXPECT_NE(log.find("Can't move file FILES.BBS\r\n"), std::string::npos);
  EXPECT_NE(log.find("Can't move file .quenfar-abc123\r\n"), std::string::npos);
  EXPECT_TRUE(node.exists("in/files.bbs.tic"));
}

TEST(Reliability, ControlCharactersOfTicValuesReachNoFileWeWrite) {
  test::Node node;
  configure(node);
  node.writeStandardConfig(
      "NetmailDir=" + node.path("netmail") + "\nFTNAddress=2:5020/2\nDescFilter=no", "");
  using namespace std::string_literals;
  node.addTic("a.tic", "AREA FE_A\r\nFILE a.zip\r\nDESC a\0b\x1b[2J\xE9t\xE9\r\n"s +
                           "Origin 2:5020/1\0evil\r\n"s);
  node.write("in/a.zip", "data");
  node.run();
  const std::string list = node.read("files/FE_A/files.bbs");
  EXPECT_EQ(list, "a.zip         a?b?[2J\xE9t\xE9\r\n");
  EXPECT_NE(node.read("quenfar.log").find("a.zip ---> FE_A (a?b?[2J\xE9t\xE9)\r\n"),
            std::string::npos);
  const std::string message = node.read("netmail/2.msg");
  EXPECT_NE(message.find("Hatched by : 2:5020/1?evil\r\n"), std::string::npos);
  // The body ends with its one zero byte and has no other.
  EXPECT_EQ(message.find('\0', 190), message.size() - 1);
}

TEST(Reliability, TicThatIsNoRegularFileIsPassedOverWithoutWaiting) {
  test::Node node;
  configure(node);
  ASSERT_EQ(std::system(("mkfifo '" + node.path("in/pipe.tic") + "'").c_str()), 0);
  fs::create_directories(node.path("in/dir.tic"));
  addFile(node, "real");
  const test::RunResult result = node.run();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(node.exists("files/FE_A/real.zip"));
  EXPECT_EQ(test::countOf(node.read("quenfar.log"), "Can't move file"), 0U);
}

}  // namespace

namespace {

TEST(Reliability, TossWhoseJournalWasLostIsRecognisedByItsSizeAndCrc) {
  test::Node node;
  configure(node);
  // After a power loss the move of the file survived, the journal did not.
  node.addTic("a.tic", "AREA FE_A\r\nFILE a.zip\r\nDESC Kept\r\nSize 9\r\nCrc CBF43926\r\n");
  node.write("files/FE_A/a.zip", "123456789");
  node.addTic("b.tic", "AREA FE_A\r\nFILE b.zip\r\nDESC Other\r\nSize 9\r\nCrc 00000000\r\n");
  node.write("files/FE_A/b.zip", "123456789");
  node.run();
  EXPECT_FALSE(node.exists("in/a.tic"));
  EXPECT_EQ(node.read("files/FE_A/files.bbs"), "a.zip         Kept\r\n");
  EXPECT_TRUE(node.exists("in/b.tic"));
  EXPECT_NE(node.read("quenfar.log").find("Can't move file b.zip\r\n"), std::string::npos);
}

}  // namespace

namespace {

TEST(Reliability, FilesOfAMessageThatCouldNotBeStoredAreAnnouncedLater) {
  test::Node node;
  node.writeStandardConfig("NetmailDir=" + node.path("netmail") + "\nFTNAddress=2:5020/2", "");
  addFile(node, "early");
  node.run();  // the netmail directory does not exist yet
  EXPECT_TRUE(node.exists("files/FE_A/early.zip"));
  fs::create_directories(node.path("netmail"));
  addFile(node, "later");
  node.run();
  const std::string message = node.read("netmail/2.msg");
  EXPECT_EQ(test::countOf(message, "=== early.zip "), 1U);
  EXPECT_EQ(test::countOf(message, "=== later.zip "), 1U);
  EXPECT_EQ(leftovers(node), 0U);
}

}  // namespace
