// Event commands through /bin/sh: argument passing, the child's surroundings, the time limit.
#ifndef _WIN32

#include "platform/process.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "tests/support/node.h"
#include "tests/support/temp_dir.h"

namespace {

// The command runs in the temporary directory, so that anything a wrongly interpreted path or
// name would create turns up there.
std::string inDir(const test::TempDir& dir, const std::string& command) {
  return "cd '" + dir.path() + "' && " + command;
}

std::string firstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

TEST(Process, PathAndNameArriveAsSingleUninterpretedArguments) {
  test::TempDir dir;
  const std::string path = dir / "$(touch X) `touch Y` b.zip";
  const std::string name = "a;touch Z.zip\"'\\ *";
  EXPECT_EQ(platform::runWithTimeout(inDir(dir, "printf '[%s]\\n' one \"two words\" > out"), path,
                                     name, 10000)
                .outcome,
            platform::RunOutcome::finished);
  EXPECT_EQ(test::readFile(dir / "out"), "[one]\n[two words]\n[" + path + "]\n[" + name + "]\n");
  for (const char* injected : {"X", "Y", "Z.zip"}) {
    EXPECT_FALSE(test::fileExists(dir / injected)) << injected;
  }
}

TEST(Process, ChildHasItsOwnSessionEmptyInputNoInheritedFilesAndIsReaped) {
  test::TempDir dir;
  // A stdio stream is not close-on-exec, so the command could inherit it by accident.
  std::FILE* stray = std::fopen((dir / "stray").c_str(), "w");
  ASSERT_NE(stray, nullptr);
  // One output for everything: a redirection of a single command would make the shell keep a
  // copy of its standard output open meanwhile.
  const platform::RunOutcome outcome =
      platform::runWithTimeout(
          inDir(dir,
                "exec > out && echo $$ && cut -d' ' -f6 /proc/$$/stat && readlink /proc/$$/fd/0 && "
                "ls /proc/$$/fd && exit 3; :"),
          "p", "n", 10000)
          .outcome;
  std::fclose(stray);
  EXPECT_EQ(outcome, platform::RunOutcome::finished);
  const std::string out = test::readFile(dir / "out");
  const std::string pid = firstLine(out);
  ASSERT_FALSE(pid.empty());
  // Session id, then standard input, then the open descriptors.
  EXPECT_EQ(out, pid + "\n" + pid + "\n/dev/null\n0\n1\n2\n");
  EXPECT_FALSE(test::fileExists("/proc/" + pid)) << "left a zombie";
}

// A command ended by a signal that the program did not send (a stop sent to the whole process
// group) is told apart from one that finished, so that its events can be carried out again.
TEST(Process, ACommandEndedByASignalOfAnotherIsToldApart) {
  test::TempDir dir;
  EXPECT_EQ(platform::runWithTimeout(inDir(dir, "kill -TERM $$; sleep 5"), "p", "n", 10000).outcome,
            platform::RunOutcome::signalled);
  EXPECT_EQ(platform::runWithTimeout(inDir(dir, "exit 1"), "p", "n", 10000).outcome,
            platform::RunOutcome::finished);
}

TEST(Process, TimeOutKillsTheInterpreterBeforeItsNextStep) {
  test::TempDir dir;
  const platform::RunOutcome outcome =
      platform::runWithTimeout(
          inDir(dir, "echo $$ > pid && sleep 5 > /dev/null 2>&1 && touch late; :"), "p", "n", 500)
          .outcome;
  EXPECT_EQ(outcome, platform::RunOutcome::killed);
  // The shell that would have run the later step is gone and reaped, so it can never run.
  const std::string pid = firstLine(test::readFile(dir / "pid"));
  ASSERT_FALSE(pid.empty());
  EXPECT_FALSE(test::fileExists("/proc/" + pid));
  EXPECT_FALSE(test::fileExists(dir / "late"));
}

TEST(Process, TellsTheStatusAndWhatTheInterpreterCouldNotRun) {
  test::TempDir dir;
  test::writeFile(dir / "plain.sh", "exit 0\n");  // not executable
  const struct {
    std::string command;
    platform::RunOutcome outcome;
    int status;
  } cases[] = {
      {"exit 0", platform::RunOutcome::finished, 0},
      {"exit 5", platform::RunOutcome::finished, 5},
      {dir / "missing-command", platform::RunOutcome::cannotRun, 127},
      {dir / "plain.sh", platform::RunOutcome::cannotRun, 126},
  };
  for (const auto& c : cases) {
    const platform::RunResult result = platform::runWithTimeout(c.command, "p", "n", 10000);
    EXPECT_EQ(result.outcome, c.outcome) << c.command;
    EXPECT_EQ(result.status, c.status) << c.command;
  }
}

TEST(Process, TimeOutEndsWhatTheCommandStartedInTheBackground) {
  test::TempDir dir;
  const platform::RunResult result = platform::runWithTimeout(
      "sleep 30 > /dev/null 2>&1 & echo $! > '" + dir / "bg" + "'; sleep 30 > /dev/null 2>&1; :",
      "p", "n", 500);
  EXPECT_EQ(result.outcome, platform::RunOutcome::killed);
  const std::string pid = firstLine(test::readFile(dir / "bg"));
  ASSERT_FALSE(pid.empty());
  EXPECT_TRUE(test::processEndsSoon(pid)) << "the background child outlived the time limit";
}

}  // namespace

#endif
