// The journal a run leaves behind when it dies, as the next run reads it: each row of the
// recovery table, and the journal's own faults.
#include "tic/toss_journal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "tests/support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::size_t journalCount(const std::string& directory) {
  std::size_t count = 0;
  for (const auto& entry : fs::directory_iterator(directory)) {
    count += entry.path().filename().string().rfind(".quenfar-journal-", 0) == 0 ? 1U : 0U;
  }
  return count;
}

// What a dead run did to one toss before it died, and what became of its files since.
struct Row {
  const char* name;
  bool moved;           // the file was renamed into its area
  const char* records;  // after its toss: V moved, D disposal pending, E events run
  bool stored;          // a message that announces it got its name
  bool ticThere;        // its .tic is still in the inbound
  bool otherTic;        // ... but it is another .tic of the same name
  bool fileReplaced;    // the file at the destination is another one
  const char* owes;     // F finish, P dispose only, A announce, E run events
};

const Row kRows[] = {
    {"NothingMovedTicThere", false, "", false, true, false, false, ""},
    {"NothingMovedTicGone", false, "", false, false, false, false, ""},
    {"MovedUnrecordedTicThere", true, "", false, true, false, false, "F"},
    {"MovedUnrecordedTicGone", true, "", false, false, false, false, "AE"},
    {"MovedTicThere", true, "V", false, true, false, false, "F"},
    {"MovedTicReplacedByANewOne", true, "V", false, true, true, false, "AE"},
    {"MovedFileReplacedSince", true, "V", false, false, false, true, ""},
    {"DisposalPending", true, "VD", false, true, false, false, "PAE"},
    {"DisposalPendingTicGoneSince", true, "VD", false, false, false, false, "AE"},
    {"EventsRun", true, "VE", false, false, false, false, "A"},
    {"EventsRunAndStored", true, "VE", true, false, false, false, ""},
    {"StoredEventsOwed", true, "V", true, false, false, false, "E"},
};

void PrintTo(const Row& row, std::ostream* out) {
  *out << row.name;
}

class RecoveryTable : public testing::TestWithParam<Row> {};

TEST_P(RecoveryTable, OwesWhatTheRecordsAndTheFilesSay) {
  const Row& row = GetParam();
  test::TempDir dir;
  const std::string inbound = dir.path() + "/";
  fs::create_directories(dir / "area");
  const std::string destination = dir / "area/a.zip";
  test::writeFile(dir / "a.tic", "AREA A\r\nFILE a.zip\r\n");
  test::writeFile(dir / "a.zip", "data");
  JournalEntry entry{"a.tic", destination, "A", "2:5020/1", "About a", {}};
  entry.evidence.tic = *platform::entryStamp(dir / "a.tic");
  entry.evidence.source = *platform::entryStamp(dir / "a.zip");
  {
    TossJournal dead(inbound, {});
    ASSERT_TRUE(dead.noteToss(entry));
    ASSERT_TRUE(dead.sync());  // as before any move
    if (row.moved) {
      fs::rename(dir / "a.zip", destination);
    }
    for (const char* record = row.records; *record != '\0'; ++record) {
      if (*record == 'V') {
        EXPECT_TRUE(dead.noteMoved("a.tic"));
      } else if (*record == 'D') {
        EXPECT_TRUE(dead.noteDisposalPending(entry));
      } else {
        EXPECT_TRUE(dead.noteEventsRun("a.tic"));
      }
    }
    if (row.stored) {
      EXPECT_TRUE(
          dead.noteMessageStaged(dir / "gone.tmp"));  // staged, then named: the file is gone
    }
  }
  if (!row.ticThere || row.otherTic) {
    fs::remove(dir / "a.tic");
  }
  if (row.otherTic) {
    // It may well get the inode number of the one that went, but not its time.
    test::writeFile(dir / "a.tic", "AREA A\r\nFILE a.zip\r\n");
    fs::last_write_time(dir / "a.tic", fs::last_write_time(destination) - std::chrono::hours(1));
  }
  if (row.fileReplaced) {
    fs::remove(destination);
    test::writeFile(destination, "newer");
  }
  std::optional<TossJournal> next;
  next.emplace(inbound, std::vector<std::string>{});
  const std::string owes = row.owes;
  const bool finish = owes.find('F') != std::string::npos;
  EXPECT_EQ(next->unfinishedTics().size(), finish ? 1U : 0U);
  EXPECT_EQ(next->placedBefore("a.tic", destination) != nullptr, finish);
  EXPECT_EQ(next->pendingDisposals().size(), owes.find('P') != std::string::npos ? 1U : 0U);
  EXPECT_EQ(next->isDisposalPending("a.tic"), owes.find('P') != std::string::npos);
  ASSERT_EQ(next->unannounced().size(), owes.find('A') != std::string::npos ? 1U : 0U);
  ASSERT_EQ(next->withoutEvents().size(), owes.find('E') != std::string::npos ? 1U : 0U);
  if (!next->unannounced().empty()) {
    EXPECT_EQ(next->unannounced()[0].description, "About a");
    EXPECT_EQ(next->unannounced()[0].destination, destination);
  }
  // While it runs, a third run finds nothing to adopt: the dead journal is held until the
  // second one ends, with what it owed carried into the second one's journal.
  {
    const TossJournal third(inbound, {});
    EXPECT_TRUE(third.unannounced().empty());
    EXPECT_TRUE(third.unfinishedTics().empty());
  }
  // The second run dies too: its own journal and the dead one say the same, once.
  const std::size_t unannounced = next->unannounced().size();
  const std::size_t withoutEvents = next->withoutEvents().size();
  next.reset();
  next.emplace(inbound, std::vector<std::string>{});
  EXPECT_EQ(next->unannounced().size(), unannounced);
  EXPECT_EQ(next->withoutEvents().size(), withoutEvents);
}

INSTANTIATE_TEST_SUITE_P(EveryRow, RecoveryTable, testing::ValuesIn(kRows),
                         [](const testing::TestParamInfo<Row>& row) { return row.param.name; });

TEST(TossJournal, ACutRecordIsIgnoredAndWhatIsSettledLeavesNoJournal) {
  test::TempDir dir;
  const std::string inbound = dir.path() + "/";
  test::writeFile(dir / "done.zip", "data");
  JournalEntry done{"done.tic", dir / "done.zip",          "FE_A",
                    "2:5020/1", "Done\r\nwith a line end", {}};
  done.evidence.source = *platform::entryStamp(dir / "done.zip");
  {
    TossJournal dead(inbound, {});
    ASSERT_TRUE(dead.noteToss(done));
    ASSERT_TRUE(dead.sync());  // as before any move
  }
  // The run died in the middle of writing a second record.
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    if (entry.path().filename().string().rfind(".quenfar-journal-", 0) == 0) {
      test::writeFile(entry.path().string(),
                      test::readFile(entry.path().string()) + "T 8 14 4 0 3 11\nhalf.ti");
    }
  }
  {
    TossJournal next(inbound, {});
    ASSERT_EQ(next.unannounced().size(), 1U);
    EXPECT_EQ(next.unannounced()[0].description, "Done\r\nwith a line end");
    EXPECT_TRUE(next.noteEventsRun("done.tic"));
    next.finish();  // its message is stored
  }
  EXPECT_EQ(journalCount(dir.path()), 0U);
}

TEST(TossJournal, WhatIsStillOwedAtTheEndGoesIntoANewJournalWhole) {
  test::TempDir dir;
  const std::string inbound = dir.path() + "/";
  test::writeFile(dir / "kept.tic", "");
  test::writeFile(dir / "kept.zip", "data");
  JournalEntry kept{"kept.tic", dir / "kept.zip", "FE_A", "", "Kept", {}};
  kept.evidence.source = *platform::entryStamp(dir / "kept.zip");
  {
    TossJournal run(inbound, {});
    ASSERT_TRUE(run.noteToss(kept));
    EXPECT_TRUE(run.noteMoved("kept.tic"));
    EXPECT_TRUE(run.noteDisposalPending(kept));  // its .tic could not be deleted
    EXPECT_TRUE(run.noteEventsRun("kept.tic"));
    run.finish();
  }
  EXPECT_EQ(journalCount(dir.path()), 1U);
  {
    TossJournal next(inbound, {});
    EXPECT_EQ(next.pendingDisposals(), std::vector<std::string>{"kept.tic"});
    EXPECT_TRUE(next.unannounced().empty());  // its message was stored
    EXPECT_TRUE(next.withoutEvents().empty());
    next.noteDisposed("kept.tic");
    next.finish();
  }
  EXPECT_EQ(journalCount(dir.path()), 0U);
}

TEST(TossJournal, AJournalThatCannotBeReadStaysForALaterRun) {
  test::TempDir dir;
  fs::create_directories(dir / ".quenfar-journal-abcdef");  // no regular file: cannot be read
  {
    TossJournal run(dir.path() + "/", {});
    run.finish();
  }
  EXPECT_TRUE(fs::is_directory(dir / ".quenfar-journal-abcdef"));
}

TEST(TossEvidence, KnowsTheMovedFileByItsIdentityOrACopyBySizeAndTime) {
  TossEvidence evidence;
  evidence.source = {1, 10, 4, 500, 0, 1};  // device, inode, size, time
  EXPECT_TRUE(evidence.isMovedFile({1, 10, 4, 500, 0, 1}));
  EXPECT_TRUE(evidence.isMovedFile({1, 10, 9, 900, 0, 1}));   // grown since: still that file
  EXPECT_FALSE(evidence.isMovedFile({1, 11, 4, 500, 0, 1}));  // same size and time, other file
  EXPECT_TRUE(evidence.isMovedFile({2, 77, 4, 500, 0, 1}));   // a copy on another file system
  EXPECT_FALSE(evidence.isMovedFile({2, 77, 4, 501, 0, 1}));
  EXPECT_FALSE(evidence.isMovedFile({2, 77, 5, 500, 0, 1}));
}

}  // namespace
