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

TEST(Descriptions, LongDescriptionsBecomeContinuationLines) {
  struct Case {
    std::string ticLines;
    std::string entry;
  };
  const std::vector<Case> cases = {
      // LDesc lines, cleaned as the description is, empty ones dropped.
      {"DESC Tools\r\nLDesc First line\r\nLDesc *** \r\nLDesc Second / line\r\n",
       "NEW.ZIP       Tools\r\n              First line\r\n              Second\r\n"},
      // Without LDesc, the second and later Desc lines.
      {"DESC Tools\r\nDESC More about it\r\n",
       "NEW.ZIP       Tools\r\n              More about it\r\n"},
      {"DESC Tools\r\n", "NEW.ZIP       Tools\r\n"},
  };
  for (const Case& c : cases) {
    test::Node node;
    node.writeStandardConfig("LongDesc=yes");
    node.write("files/UTILS/files.bbs", "NEW.ZIP  old\r\n  old more\r\nB.ZIP  b\r\n");
    node.addTic("a.tic", "AREA UTILS\r\nFILE NEW.ZIP\r\n" + c.ticLines);
    node.write("in/NEW.ZIP", "data");
    node.run();
    EXPECT_EQ(node.read("files/UTILS/files.bbs"), "B.ZIP  b\r\n" + c.entry) << c.ticLines;
    EXPECT_TRUE(logHasLine(node, "NEW.ZIP ---> UTILS (Tools)")) << c.ticLines;
  }
  // Without the key only the first Desc line is listed, and old continuation lines stay.
  test::Node plain;
  plain.writeStandardConfig();
  plain.write("files/UTILS/files.bbs", "NEW.ZIP  old\r\n  old more\r\n");
  plain.addTic("a.tic", "AREA UTILS\r\nFILE NEW.ZIP\r\nDESC Tools\r\nLDesc More\r\n");
  plain.write("in/NEW.ZIP", "data");
  plain.run();
  EXPECT_EQ(plain.read("files/UTILS/files.bbs"), "  old more\r\nNEW.ZIP       Tools\r\n");
}

}  // namespace
