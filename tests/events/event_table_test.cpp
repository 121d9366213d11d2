// The events list format and the two mask tests.
#include "events/event_table.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "tests/support/temp_dir.h"

namespace {

// Loads a list from a real file and renders its entries as "area|file|command" lines.
std::string loadList(const std::string& contents) {
  test::TempDir dir;
  test::writeFile(dir / "events.lst", contents);
  const EventTable table(dir / "events.lst", "", 10000);
  std::string rendered;
  for (const EventEntry& entry : table.list()) {
    rendered += entry.areaMask + "|" + entry.fileMask + "|" + entry.command + "\n";
  }
  return rendered;
}

TEST(EventTable, SplitsEachLineIntoThreeFields) {
  const std::pair<std::string, std::string> cases[] = {
      {";NODELIST events", ""},
      {"NODELIST NODELIST.* nlupd.bat -q", "NODELIST|NODELIST.*|nlupd.bat -q\n"},
      {"* * %FLG%newfiles.flg", "*|*|%FLG%newfiles.flg\n"},
      {"FE_A   *.ZIP   unpack.bat   ", "FE_A|*.ZIP|unpack.bat\n"},
      {"FE_A *.ZIP", ""},
      {"FE_A *.ZIP ", "FE_A|*.ZIP|\n"},
      {"FE_A    ", ""},
      {"NOSPACE", ""},
      {"", ""},
      {" ;x y z", "|;x|y z\n"},
      {"AREA\tFILE CMD", ""},
      {"A\tB C\tD E", "A\tB|C\tD|E\n"},
      {"A B \tcmd\t", "A|B|\tcmd\t\n"},
  };
  for (const auto& [line, expected] : cases) {
    EXPECT_EQ(loadList(line + "\r\n"), expected) << line;
  }
}

TEST(EventTable, KeepsLinesInOrderWithDuplicatesAndAnyLineEnd) {
  EXPECT_EQ(loadList("; comments\r\n\r\n;A B C\nA B one\rA B two\r\n\nA B one\r\nZ Y last"),
            "A|B|one\nA|B|two\nA|B|one\nZ|Y|last\n");
}

TEST(EventTable, MissingListGivesAnEmptyTable) {
  const EventTable table("/nonexistent/events.lst", "", 10000);
  EXPECT_TRUE(table.list().empty());
}

TEST(EventTable, ReportsCommandsThatFailOrOverrunAndSaysWhetherTheRunIsTroubled) {
  test::TempDir dir;
  const struct {
    std::string command;
    std::string warning;  // expected after "Warning: event command for x.zip "
    std::string note;     // expected after "The event command for x.zip "
    bool troubled;
  } cases[] = {
      {"exit 0", "", "", false},
      {"exit 4", "", "ended with status 4: exit 4", false},
      {dir / "nodelist-updat",
       "could not be started (the command interpreter ended with status 127: not found or not "
       "executable): " +
           dir / "nodelist-updat",
       "", true},
      {"sleep 5 > /dev/null 2>&1; :", "stopped after 300 ms: sleep 5 > /dev/null 2>&1; :", "",
       true},
      {"%FLG%", "", "", false},
  };
  for (const auto& c : cases) {
    test::writeFile(dir / "events.lst", "* * " + c.command + "\r\n");
    std::string warnings;
    std::string notes;
    EventTable table(dir / "events.lst", dir.path() + "/", 300,
                     {[&](const std::string& line) { warnings += line + "\n"; },
                      [&](const std::string& line) { notes += line + "\n"; }});
    const EventsOutcome outcome = table.runEvents("A", "x.zip", dir / "x.zip");
    EXPECT_EQ(warnings,
              c.warning.empty() ? "" : "Warning: event command for x.zip " + c.warning + "\n")
        << c.command;
    EXPECT_EQ(notes, c.note.empty() ? "" : "The event command for x.zip " + c.note + "\n")
        << c.command;
    EXPECT_EQ(outcome.troubled, c.troubled) << c.command;
    EXPECT_EQ(table.anyTroubled(), c.troubled) << c.command;
    EXPECT_FALSE(outcome.interrupted) << c.command;
  }
}

TEST(Mask, IsDescribedInWordsAsItMatches) {
  const std::pair<std::string, std::string> masks[] = {
      {"NODELIST", "NODELIST"},
      {"*", "anything"},
      {"FE_*", "FE_ followed by anything"},
      {"F*X", "F followed by anything"},  // the mask ends at its star
      {"N?DE", "N?DE (? being any one character)"},
      {"*?", "anything"},
      {"", "nothing but an empty text"},
  };
  for (const auto& [mask, words] : masks) {
    EXPECT_EQ(describeMask(mask), words) << mask;
  }
  const std::pair<EventEntry, std::string> events[] = {
      {{"NODELIST", "NODELIST.*", "nlupd.sh -q"},
       "area NODELIST; files whose name is NODELIST or whose extension is anything; runs "
       "nlupd.sh -q"},
      {{"*", "*.ZIP", "%flg%zip.flg"},
       "any area; files whose name is anything or whose extension is ZIP; makes the flag file "
       "/flags/zip.flg"},
      {{"FE_?", "README", "%FLX%x"},
       "area FE_? (? being any one character); files whose name or extension is README; does "
       "nothing (%FLG% is the only keyword)"},
      {{"A", "A.B.C", ""},
       "area A; files whose name is A.B or whose extension is C; does nothing (no command)"},
  };
  for (const auto& [entry, words] : events) {
    EXPECT_EQ(describeEvent(entry, "/flags/"), words) << entry.fileMask;
  }
}

struct MaskCase {
  const char* mask;
  const char* text;
  bool expected;
};

TEST(Mask, MatchesPositionallyIgnoringCase) {
  const MaskCase cases[] = {
      {"fe_a", "FE_A", true},   {"FE?A", "FE_A", true}, {"FE?A", "FEA", false},
      {"FE*", "FE_A", true},    {"FE*", "FEX", true},   {"FE*", "FE", false},
      {"F*X", "FE_A", true},    {"*", "A", true},       {"*", "", false},
      {"", "", true},           {"", "A", false},       {"FE_A", "FE_AB", false},
      {"FE_AB", "FE_A", false}, {"?", "", false},       {"??", "ab", true},
  };
  for (const MaskCase& c : cases) {
    EXPECT_EQ(matchMask(c.mask, c.text), c.expected) << c.mask << " / " << c.text;
  }
}

TEST(Mask, FileMaskTriesNameThenExtension) {
  const MaskCase cases[] = {
      {"*.ZIP", "A.ZIP", true},
      {"*.ZIP", "README.TXT", true},
      {"README.*", "X.TXT", true},
      {"ZIP", "ZIP.TXT", true},
      {"ZIP", "A.ZIP", true},
      {"*.*", "README", true},
      {"A.B", "X.Y", false},
      {"*.zip", "a.ZIP", true},
      {"A.ZIP", "B.ARJ", false},
      {"X.", "Y.", true},
      {"X.Z", "Y.", false},
      {"X.Z", "X.", true},
      {"?.ZIP", "AB.ARJ", false},
      {"A.B.C", "X.C", true},
      {"A.B.C", "A.B.X", true},
      {"A.B.C", "A.X.Y", false},
      // The examples of the documentation.
      {"NODELIST.*", "NODEDIFF.A45", true},
      {"NODELIST.*", "README", false},
      {"NODELIST.Z??", "NODELIST.TXT", true},
      {"NODELIST.Z??", "FILES.Z45", true},
      {"NODELIST.Z??", "NODEDIFF.A45", false},
      {"ZIP", "ZIPS.TXT", false},
      {"*.ZIP", "NODEDIFF.A45", true},
      {"NODELIST", "X.NODELIST", true},
  };
  for (const MaskCase& c : cases) {
    EXPECT_EQ(matchFileMask(c.mask, c.text), c.expected) << c.mask << " / " << c.text;
  }
}

}  // namespace
