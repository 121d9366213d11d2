// The journal a run leaves behind when it dies, as the next run reads it.
#include "tic/toss_journal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

std::string onlyJournal(const std::string& directory) {
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    return entry.path().string();
  }
  return {};
}

TEST(TossJournal, DeadRunsRecordsAreAdoptedOnceAndACutRecordIsIgnored) {
  test::TempDir dir;
  const std::string inbound = dir.path() + "/";
  test::writeFile(dir / "cut.tic", "");      // still in the inbound: its toss was cut short
  test::writeFile(dir / "waiting.tic", "");  // still there too, but nothing of it was moved
  {
    TossJournal dead(inbound, {});
    ASSERT_TRUE(dead.noteToss(
        {"done.tic", "/area/done.zip", "FE_A", "2:5020/1", "Done\r\nwith a line end"}));
    ASSERT_TRUE(dead.noteToss({"cut.tic", "/area/cut.zip", "FE_A", "", "Cut"}));
    dead.noteMoved("cut.tic");
    ASSERT_TRUE(dead.noteToss({"waiting.tic", "/area/waiting.zip", "FE_A", "", "Late"}));
  }
  // The run died in the middle of writing a third record.
  const std::string path = onlyJournal(dir.path());
  test::writeFile(path, test::readFile(path) + "T 8 14 4 0 3\nhalf.ti");
  {
    TossJournal next(inbound, {});
    ASSERT_EQ(next.unannounced().size(), 1U);
    EXPECT_EQ(next.unannounced()[0].destination, "/area/done.zip");
    EXPECT_EQ(next.unannounced()[0].description, "Done\r\nwith a line end");
    EXPECT_EQ(next.unfinishedTics(), std::vector<std::string>{"cut.tic"});
    EXPECT_TRUE(next.moveRecorded("cut.tic", "/area/cut.zip"));
    EXPECT_FALSE(next.moveRecorded("cut.tic", "/area/other.zip"));
    EXPECT_FALSE(next.moveRecorded("done.tic", "/area/done.zip"));
    EXPECT_FALSE(next.moveRecorded("waiting.tic", "/area/waiting.zip"));
    // While it runs, a third run finds nothing to adopt.
    const TossJournal third(inbound, {});
    EXPECT_TRUE(third.unannounced().empty());
    next.noteDone("cut.tic");
    next.finish();
  }
  const TossJournal after(inbound, {});
  EXPECT_TRUE(after.unannounced().empty());
  EXPECT_TRUE(after.unfinishedTics().empty());
}

}  // namespace
