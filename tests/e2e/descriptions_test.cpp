// Descriptions of tossed files: cleaned, put into the area's list and written to the log.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/file.h"
#include "tests/support/node.h"

namespace {

bool logHasLine(const test::Node& node, const std::string& line) {
  return node.read("quenfar.log").find("\r\n" + line + "\r\n") != std::string::npos;
}

TEST(Descriptions, CleanedDescriptionReachesListAndLog) {
  const std::string raw = "Fresh release / v2\tbeta  ";
  // Unfiltered, the description keeps everything but its control characters.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "Fresh release"},
      {"DescFilter=yes", "Fresh release"},
      {"DescFilter=nO", "Fresh release / v2?beta  "}};
  for (const auto& [setting, description] : cases) {
    test::Node node;
    node.writeStandardConfig(setting);
    node.write("files/UTILS/files.bbs", "other.zip  Other\r\nnew.zip  old text\r\n\r\n");
    node.addTic("a.tic", "AREA UTILS\r\nFILE NEW.ZIP\r\nDESC " + raw + "\r\n");
    node.write("in/NEW.ZIP", "data");
    node.run();
    EXPECT_EQ(node.read("files/UTILS/files.bbs"),
              "other.zip  Other\r\nNEW.ZIP       " + description + "\r\n");
    EXPECT_TRUE(logHasLine(node, "NEW.ZIP ---> UTILS (" + description + ")")) << setting;
  }
}

TEST(Descriptions, ListHeldPastTheWaitIsUpdatedByTheNextRun) {
  test::Node node;
  node.writeStandardConfig();
  node.write("files/UTILS/files.bbs", "NEW.ZIP  old text\r\n");
  node.addTic("a.tic", "AREA UTILS\r\nFILE NEW.ZIP\r\nDESC New text\r\n");
  node.write("in/NEW.ZIP", "data");
  {
    // Held for longer than a run waits: the file is placed, but its .tic stays until the
    // entry is in the list.
    const platform::File holder =
        platform::File::open(node.path("files/UTILS/files.bbs"), platform::OpenMode::readExisting);
    const test::RunResult result = node.run();
    EXPECT_EQ(result.errors.rfind("Warning: cannot update the description list ", 0), 0U);
  }
  EXPECT_EQ(node.read("files/UTILS/files.bbs"), "NEW.ZIP  old text\r\n");
  EXPECT_EQ(node.read("files/UTILS/NEW.ZIP"), "data");
  EXPECT_TRUE(node.exists("in/a.tic"));
  EXPECT_FALSE(logHasLine(node, "NEW.ZIP ---> UTILS (New text)"));

  node.run();
  EXPECT_EQ(node.read("files/UTILS/files.bbs"), "NEW.ZIP       New text\r\n");
  EXPECT_FALSE(node.exists("in/a.tic"));
  EXPECT_TRUE(logHasLine(node, "NEW.ZIP ---> UTILS (New text)"));
}

}  // namespace
