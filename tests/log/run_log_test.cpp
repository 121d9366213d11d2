// The run log's exact bytes, its console echo and its exclusive hold.
#include "log/run_log.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <utility>

#include "platform/file.h"
#include "platform/system.h"
#include "tests/support/node.h"
#include "tests/support/temp_dir.h"

namespace {

class RunLogTest : public testing::Test {
 protected:
  RunLogTest() {
    config.logFile = dir / "quenfar.log";
    config.onScreen = false;
    config.descInLog = true;
  }

  // One run: open, the given lines, close. Returns what reached the console.
  std::string runOnce(const std::function<void(RunLog&)>& lines, bool enabled = true) {
    testing::internal::CaptureStdout();
    {
      LogSettings settings = config;
      if (!enabled) {
        settings.logFile.clear();
      }
      RunLog log(settings);
      EXPECT_TRUE(log.open());
      lines(log);
      log.close();
    }
    return testing::internal::GetCapturedStdout();
  }

  std::string logText() const { return test::maskLogTimes(test::readFile(config.logFile)); }

  test::TempDir dir;
  LogSettings config;
};

TEST_F(RunLogTest, NewLogGetsHeaderBannersAndTwoEmptyLines) {
  runOnce([](RunLog& log) {
    log.writeMove("FILE.ZIP", "AREA", "A description");
    log.writeLine("Can't move file LOST.ZIP");
  });
  EXPECT_EQ(logText(), "Quenfar log file\r\n" + RunLog::systemLine(platform::systemName()) +
                           "\r\n"
                           "\r\n"
                           "=== Start  <time>\r\n"
                           "FILE.ZIP ---> AREA (A description)\r\n"
                           "Can't move file LOST.ZIP\r\n"
                           "=== End    <time>\r\n"
                           "\r\n"
                           "\r\n");
}

TEST_F(RunLogTest, SecondRunAppendsWithoutHeader) {
  runOnce([](RunLog&) {});
  runOnce([](RunLog& log) { log.writeLine("Nothing to toss"); });
  const std::string block = "=== Start  <time>\r\n=== End    <time>\r\n\r\n\r\n";
  EXPECT_EQ(logText(), "Quenfar log file\r\n" + RunLog::systemLine(platform::systemName()) +
                           "\r\n\r\n" + block +
                           "=== Start  <time>\r\nNothing to toss\r\n=== End    <time>\r\n\r\n\r\n");
}

TEST_F(RunLogTest, BannersUseEnglishNames) {
  runOnce([](RunLog&) {});
  const std::string text = test::readFile(config.logFile);
  const std::size_t start = text.find("=== Start  ");
  ASSERT_NE(start, std::string::npos);
  // "=== Start  HH:MM:SS  Weekday, DD Month YYYY"
  const std::string banner = text.substr(start, text.find("\r\n", start) - start);
  EXPECT_EQ(banner[13], ':');
  EXPECT_EQ(banner[16], ':');
  EXPECT_EQ(banner.substr(19, 2), "  ");
  bool weekday = false;
  for (const char* day :
       {"Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday", "Sunday"}) {
    weekday = weekday || banner.compare(21, std::string(day).size(), day) == 0;
  }
  EXPECT_TRUE(weekday) << banner;
}

TEST_F(RunLogTest, MoveLineVariants) {
  struct Case {
    bool descInLog;
    std::uint16_t cutSymbols;
    std::string description;
    std::string line;
  };
  const std::string forty = "0123456789012345678901234567890123456789";
  const std::vector<Case> cases = {
      {true, 0, forty, "F.ZIP ---> A (" + forty + ")"},
      {true, 10, forty, "F.ZIP ---> A (0123456789)"},
      {true, 50, forty, "F.ZIP ---> A (" + forty + ")"},
      {true, 0, "", "F.ZIP ---> A ()"},
      {false, 10, forty, "F.ZIP ---> A"},
  };
  for (const Case& c : cases) {
    test::TempDir caseDir;
    config.logFile = caseDir / "q.log";
    config.descInLog = c.descInLog;
    config.cutSymbols = c.cutSymbols;
    runOnce([&](RunLog& log) { log.writeMove("F.ZIP", "A", c.description); });
    const std::string text = logText();
    EXPECT_NE(text.find("<time>\r\n" + c.line + "\r\n=== End"), std::string::npos) << c.line;
  }
}

TEST_F(RunLogTest, EchoesMoveLinesWithoutDescriptionEvenWithoutLog) {
  config.onScreen = true;
  config.logFile.clear();
  const std::string console =
      runOnce([](RunLog& log) { log.writeMove("F.ZIP", "AREA", "desc"); }, false);
  EXPECT_EQ(console, "F.ZIP ---> AREA\n");
  EXPECT_FALSE(test::fileExists(dir / "quenfar.log"));
}

TEST_F(RunLogTest, LogHeldElsewhereIsLeftAlone) {
  test::writeFile(config.logFile, "held\r\n");
  {
    const platform::File holder =
        platform::File::open(config.logFile, platform::OpenMode::readExisting);
    ASSERT_TRUE(holder.isOpen());
    RunLog log(config);
    EXPECT_FALSE(log.open());
    log.writeLine("lost");
    log.close();
  }
  EXPECT_EQ(test::readFile(config.logFile), "held\r\n");
}

TEST_F(RunLogTest, UnwritablePathTurnsLoggingOff) {
  config.logFile = dir / "no/such/dir/q.log";
  RunLog log(config);
  EXPECT_FALSE(log.open());
}

TEST_F(RunLogTest, FailingWriteTurnsLoggingOffAndKeepsWhatWasWritten) {
  RunLog log(config);
  ASSERT_TRUE(log.open());
  log.writeLine("kept");
  // A file size limit just past what is written fails the next line part way, as a full disk
  // does; SIGXFSZ ignored, the write reports EFBIG.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = static_cast<rlim_t>(std::filesystem::file_size(config.logFile) + 4);
  const auto previous = std::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  log.writeLine("a line past the limit");
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);
  log.writeLine("after");
  log.close();
  EXPECT_EQ(logText(), "Quenfar log file\r\n" + RunLog::systemLine(platform::systemName()) +
                           "\r\n\r\n=== Start  <time>\r\nkept\r\n");
}

TEST(RunLogSystemLine, WordsOfEachSystem) {
  const std::pair<platform::SystemName, std::string> cases[] = {
      {{true, "NT 4.0", "1381 Service Pack 6"},
       "Running under Windows NT 4.0 Build 1381 Service Pack 6"},
      {{true, "98  A ", ""}, "Running under Windows 98  A "},
      {{false, "Linux 6.1.0-18-amd64", ""}, "Running under Linux 6.1.0-18-amd64"},
      {{true, "", ""}, "Running under Windows "},
  };
  for (const auto& [system, line] : cases) {
    EXPECT_EQ(RunLog::systemLine(system), line);
  }
}

}  // namespace
