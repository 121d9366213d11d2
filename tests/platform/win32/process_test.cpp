// Event commands through cmd.exe: the command line, the refusals, the time limit. The test
// program itself serves as the command, through the helper modes in main.cpp.
#include "platform/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/system.h"
#include "tests/platform/win32/scratch_dir.h"

namespace {

using platform::RunOutcome;

// The test program, quoted so that the command starts with a quote, the case in which cmd.exe
// takes quotes off the line.
std::string self() {
  std::string quoted(1, '"');
  quoted += platform::programFilePath();
  quoted += '"';
  return quoted;
}

// Runs with the scratch directory as the current directory, where anything that a wrongly
// interpreted name would create turns up.
class Win32Process : public testing::Test {
 protected:
  Win32Process() : previous(std::filesystem::current_path()) {
    std::filesystem::current_path(dir.path());
  }
  ~Win32Process() override { std::filesystem::current_path(previous); }

  wintest::ScratchDir dir;
  std::filesystem::path previous;
};

TEST_F(Win32Process, PathAndNameArriveAsOneArgumentEachAndUninterpreted) {
  const std::string path = dir / "area with spaces\\a&echo x>made.txt^|b.zip";
  const std::string name = "a&echo x>made.txt^|b.zip";
  EXPECT_EQ(
      platform::runWithTimeout(self() + " --write-args args.txt \"own word\"", path, name, 20000)
          .outcome,
      RunOutcome::finished);
  EXPECT_EQ(wintest::readFile(dir / "args.txt"), "[own word]\n[" + path + "]\n[" + name + "]\n");
  EXPECT_EQ(wintest::listNames(dir.path()), "args.txt");
}

TEST_F(Win32Process, AnInterpreterCommandSeesTheQuotedArguments) {
  EXPECT_EQ(
      platform::runWithTimeout("echo>echo.txt", "C:\\area\\x y.zip", "x y.zip", 20000).outcome,
      RunOutcome::finished);
  EXPECT_EQ(wintest::readFile(dir / "echo.txt"), "\"C:\\area\\x y.zip\" \"x y.zip\"\r\n");
}

TEST_F(Win32Process, RefusesNamesThatTheInterpreterWouldReadInsideQuotes) {
  for (const std::string bad : {"a%PATH%.zip", "a\".zip", "a\r\n.zip"}) {
    EXPECT_EQ(platform::runWithTimeout("echo>out.txt", "C:\\area\\" + bad, "ok.zip", 20000).outcome,
              RunOutcome::notStarted);
    EXPECT_EQ(platform::runWithTimeout("echo>out.txt", "C:\\area\\ok.zip", bad, 20000).outcome,
              RunOutcome::notStarted);
  }
  EXPECT_EQ(wintest::listNames(dir.path()), "");
}

TEST_F(Win32Process, WithoutComSpecNothingStarts) {
  const std::string saved = platform::environment("ComSpec").value_or("");
  ASSERT_FALSE(saved.empty());
  _putenv("ComSpec=");
  EXPECT_FALSE(platform::environment("ComSpec").has_value());
  EXPECT_EQ(platform::runWithTimeout("echo>out.txt", "p", "n", 20000).outcome,
            RunOutcome::notStarted);
  _putenv(("ComSpec=" + saved).c_str());
  EXPECT_EQ(wintest::listNames(dir.path()), "");
}

TEST_F(Win32Process, EndsTheInterpreterWhenTheLimitPasses) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(platform::runWithTimeout(self() + " --sleep", "p", "n", 500).outcome,
            RunOutcome::killed);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

}  // namespace
