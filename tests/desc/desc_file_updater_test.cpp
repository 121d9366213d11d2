// Putting a file's entry into its area's description list.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "desc/desc_file_updater.h"
#include "platform/file.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

using Names = std::vector<std::string>;

bool updateList(const std::string& listPath, const std::string& fileName,
                const std::string& description, std::string* cleaned = nullptr) {
  // A list held by another program is waited for only briefly here.
  DescFileUpdater updater(cutDescription, std::chrono::milliseconds(20));
  const std::string out = updater.clean(description);
  const bool written = updater.update(listPath, fileName, out).ok();
  if (cleaned != nullptr) {
    *cleaned = out;
  }
  return written;
}

// The names in a directory, sorted; a temporary file left behind shows up here.
Names entriesOf(const std::string& directory) {
  Names names;
  for (const auto& entry : fs::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(DescFileUpdater, NewListHoldsOneEntryPaddedToTwelveColumns) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"ABCD.ZIP", "ABCD.ZIP      desc\r\n"},
      {"FILE0001.ZIP", "FILE0001.ZIP  desc\r\n"},
      {"LONGFILE01.ZIP", "LONGFILE01.ZIP  desc\r\n"},
      {"a.zip", "a.zip         \r\n"},               // a description that is cut away entirely
      {"my file.zip", "\"my file.zip\"  desc\r\n"},  // a name with a space is quoted
  };
  for (const auto& [name, list] : cases) {
    test::TempDir dir;
    EXPECT_TRUE(updateList(dir / "files.bbs", name, name == "a.zip" ? "*gone*" : "desc"));
    EXPECT_EQ(test::readFile(dir / "files.bbs"), list);
    EXPECT_EQ(entriesOf(dir.path()), Names{"files.bbs"});
  }
}

TEST(DescFileUpdater, ReplacesOldEntriesAndNormalisesOtherLines) {
  const std::string entry = "Arc.Zip       New text\r\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"B.ZIP  b\r\narc.zip  old\r\nC.ZIP  c\r\n", "B.ZIP  b\r\nC.ZIP  c\r\n" + entry},
      {"ARC.ZIP  old\r\n              more\r\n +also\r\nB.ZIP  b\r\nArc.zip again\r\n",
       "              more\r\n +also\r\nB.ZIP  b\r\n" + entry},
      {"ARC.ZIP\r\nARC.ZIP.BAK  x\r\nXARC.ZIP  y\r\nARC.ZIP\tz w\r\n",
       "ARC.ZIP\r\nARC.ZIP.BAK  x\r\nXARC.ZIP  y\r\nARC.ZIP\tz w\r\n" + entry},
      {"ARC.ZIP  a much longer old description than the new one\r\n", entry},
      {"\r\n\r\nB.ZIP  b\n\nC.ZIP  \xB0\xFF\rD.ZIP  d\r\n\r\n\nE.ZIP  e",
       "B.ZIP  b\r\nC.ZIP  \xB0\xFF\r\nD.ZIP  d\r\nE.ZIP  e\r\n" + entry},
      {"", entry},
      // A write that a power cut tore leaves NUL bytes: they go.
      {std::string("B.ZIP  b\r\nARC.ZIP  half", 17) + std::string(37, '\0'),
       "B.ZIP  b\r\nARC.ZIP\r\n" + entry},
      {"B.ZIP  b\r\n" + std::string(9, '\0') + "C.ZIP  c\r\n", "B.ZIP  b\r\nC.ZIP  c\r\n" + entry},
      // Quoted names are whole names: neither is this file's entry.
      {"\"Arc.Zip x\"  other\r\n\"Arc\"  two\r\n",
       "\"Arc.Zip x\"  other\r\n\"Arc\"  two\r\n" + entry},
  };
  for (const auto& [oldList, newList] : cases) {
    test::TempDir dir;
    test::writeFile(dir / "files.bbs", oldList);
    EXPECT_TRUE(updateList(dir / "files.bbs", "Arc.Zip", "New text")) << oldList;
    EXPECT_EQ(test::readFile(dir / "files.bbs"), newList) << oldList;
    EXPECT_EQ(entriesOf(dir.path()), Names{"files.bbs"});
  }
}

TEST(DescFileUpdater, KeepsPermissionBitsOfOldListAndGivesNewListTheUsualOnes) {
  test::TempDir dir;
  test::writeFile(dir / "old/files.bbs", "B.ZIP  b\r\n");
  fs::permissions(dir / "old/files.bbs", fs::perms(0604));
  EXPECT_TRUE(updateList(dir / "old/files.bbs", "A.ZIP", "a"));
  EXPECT_EQ(fs::status(dir / "old/files.bbs").permissions(), fs::perms(0604));

  test::writeFile(dir / "new/reference", "");
  EXPECT_TRUE(updateList(dir / "new/files.bbs", "A.ZIP", "a"));
  EXPECT_EQ(fs::status(dir / "new/files.bbs").permissions(),
            fs::status(dir / "new/reference").permissions());
}

TEST(DescFileUpdater, ListThatCannotBeReadStaysUntouched) {
  for (const std::string oldList : {"ARC.ZIP  old\r\n", ""}) {
    test::TempDir dir;
    test::writeFile(dir / "files.bbs", oldList);
    {
      // flock holds are per open file, so this open conflicts like another program's.
      const platform::File holder =
          platform::File::open(dir / "files.bbs", platform::OpenMode::readExisting);
      std::string cleaned;
      EXPECT_FALSE(updateList(dir / "files.bbs", "ARC.ZIP", "New / text", &cleaned));
      EXPECT_EQ(cleaned, "New");
    }
    // An empty name would take every continuation line for its entry.
    EXPECT_FALSE(updateList(dir / "files.bbs", "", "name missing"));
    EXPECT_EQ(test::readFile(dir / "files.bbs"), oldList);
    EXPECT_EQ(entriesOf(dir.path()), Names{"files.bbs"});
  }
  test::TempDir dir;
  fs::create_symlink(dir / "nowhere", dir / "files.bbs");
  EXPECT_FALSE(updateList(dir / "files.bbs", "A.ZIP", "a"));
  EXPECT_TRUE(fs::is_symlink(dir / "files.bbs"));
  EXPECT_EQ(entriesOf(dir.path()), Names{"files.bbs"});
}

TEST(DescFileUpdater, ReadOnlyAreaKeepsListAndGetsNoTemporaryFile) {
  test::TempDir dir;
  test::writeFile(dir / "files.bbs", "B.ZIP  b\r\n");
  fs::permissions(dir.path(), fs::perms(0555));
  if (std::ofstream(dir / "probe")) {
    GTEST_SKIP() << "permission bits do not restrict this user";
  }
  EXPECT_FALSE(updateList(dir / "files.bbs", "A.ZIP", "a"));
  EXPECT_EQ(test::readFile(dir / "files.bbs"), "B.ZIP  b\r\n");
  EXPECT_EQ(entriesOf(dir.path()), Names{"files.bbs"});
}

}  // namespace

namespace {

// What rewriting a list gives: every non-empty line that is no entry of the name, ended by
// CR LF, then the new entry.
std::string rewritten(const std::string& list, const std::string& name, const std::string& entry) {
  std::string upperName = name;
  for (char& c : upperName) {
    c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  std::string result;
  std::size_t start = 0;
  while (start < list.size()) {
    std::size_t end = list.find_first_of("\r\n", start);
    const std::string line = list.substr(start, end == std::string::npos ? end : end - start);
    if (end == std::string::npos) {
      end = list.size();
    } else if (list[end] == '\r' && end + 1 < list.size() && list[end + 1] == '\n') {
      ++end;
    }
    start = end + 1;
    std::string key = line.substr(0, line.find(' '));
    for (char& c : key) {
      c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
    }
    if (!line.empty() && !(line.find(' ') != std::string::npos && key == upperName)) {
      result += line + "\r\n";
    }
  }
  return result + entry;
}

// Looked up without opening the list, which the updater may still hold.
std::uint64_t inodeOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? static_cast<std::uint64_t>(info.st_ino) : 0;
}

TEST(DescFileUpdater, AppendingGivesTheBytesOfRewritingOverMixedSequences) {
  const std::vector<std::string> names = {"A.ZIP", "a.zip", "B.ZIP", "LONGNAME01.ARJ",
                                          "c.Zip", "D.RAR", "d.rar", "E.7Z"};
  // What another program may do to the list between two updates.
  const std::vector<std::string> foreignLines = {"X.ZIP  added by hand\r\n",
                                                 "              | a continuation line\r\n",
                                                 "\r\n",
                                                 "LF.ZIP  a line ended the other way\n",
                                                 "B.ZIP  a second entry of B\r\n",
                                                 "bare\r\n"};
  for (unsigned seed = 1; seed <= 20; ++seed) {
    std::srand(seed);
    test::TempDir dir;
    const std::string listPath = dir / "files.bbs";
    if (seed % 3 == 0) {
      test::writeFile(listPath, "OLD.ZIP  from before\r\n   more about it\r\n");
    } else if (seed % 3 == 1) {
      test::writeFile(listPath, "OLD.ZIP  in another form\n\nA.ZIP  older\n");
    }
    // One updater for the whole sequence, as one run has.
    DescFileUpdater updater(cutDescription, std::chrono::milliseconds(20));
    std::string expected = test::fileExists(listPath) ? test::readFile(listPath) : "";
    for (int step = 0; step < 30; ++step) {
      const int choice = std::rand() % 10;
      if (choice < 7) {
        const std::string& name = names[static_cast<std::size_t>(std::rand()) % names.size()];
        const std::string cleaned = updater.clean("Step " + std::to_string(step));
        const bool wasInForm = !expected.empty() && expected.find('\n') != std::string::npos &&
                               rewritten(expected, "\x01", "") == expected;
        const std::uint64_t before = test::fileExists(listPath) ? inodeOf(listPath) : 0;
        ASSERT_TRUE(updater.update(listPath, name, cleaned));
        const std::string entry =
            name + std::string(name.size() < 12 ? 14 - name.size() : 2, ' ') + cleaned + "\r\n";
        const std::string next = rewritten(expected, name, entry);
        // A list in the written form that gains a new name keeps its file: it was appended to.
        if (wasInForm && next == expected + entry) {
          EXPECT_EQ(inodeOf(listPath), before) << "seed " << seed << " step " << step;
        }
        expected = next;
      } else if (choice < 9) {
        expected += foreignLines[static_cast<std::size_t>(std::rand()) % foreignLines.size()];
        test::writeFile(listPath, expected);
      } else {
        // Replaced by another program through a new file.
        expected = "NEW.ZIP  a list made elsewhere\r\n";
        test::writeFile(dir / "other", expected);
        fs::rename(dir / "other", listPath);
      }
      ASSERT_EQ(test::readFile(listPath), expected) << "seed " << seed << " step " << step;
    }
  }
}

// Two runs on the same lists: one run keeps a list held between its updates and lets go of
// it when asked, and never waits for a list while holding another. What the other run wrote
// in between is kept, whichever way the list was changed.
TEST(DescFileUpdater, RunsTakeTurnsOnHeldListsAndKeepEachOthersEntries) {
  test::TempDir dir;
  const std::string first = dir / "first.bbs";
  const std::string second = dir / "second.bbs";
  DescFileUpdater runA(cutDescription, std::chrono::milliseconds(0));
  DescFileUpdater runB(cutDescription, std::chrono::milliseconds(0));

  ASSERT_TRUE(runA.update(first, "A1.ZIP", "a"));
  EXPECT_FALSE(runB.update(first, "B1.ZIP", "b"));  // still held by run A
  runA.releaseHolds();
  ASSERT_TRUE(runB.update(first, "B1.ZIP", "b"));
  runB.releaseHolds();
  // Run A appends after run B's entry, not over it, and replaces its own entry whole.
  ASSERT_TRUE(runA.update(first, "A2.ZIP", "a"));
  ASSERT_TRUE(runA.update(first, "a1.zip", "again"));
  EXPECT_EQ(test::readFile(first), "B1.ZIP        b\r\nA2.ZIP        a\r\na1.zip        again\r\n");

  // Each run holds one list and asks for the other's: the one that cannot have it lets go of
  // its own, so the other run is not kept waiting on it.
  runA.releaseHolds();
  ASSERT_TRUE(runA.update(first, "A3.ZIP", "a"));
  ASSERT_TRUE(runB.update(second, "B2.ZIP", "b"));
  EXPECT_FALSE(runA.update(second, "A4.ZIP", "a"));
  EXPECT_TRUE(runB.update(first, "B3.ZIP", "b"));
  EXPECT_EQ(test::readFile(first),
            "B1.ZIP        b\r\nA2.ZIP        a\r\na1.zip        again\r\n"
            "A3.ZIP        a\r\nB3.ZIP        b\r\n");
}

// The set of names a run keeps holds short keys, which two names share now and then in a long
// list: F0006648.ZIP and F0025482.ZIP do. Such a name is still appended, not taken for an
// entry the list has, and a name the list has in another letter case is still replaced.
TEST(DescFileUpdater, NameSharingAKeyWithAnotherIsAppendedAndRealEntriesReplaced) {
  test::TempDir dir;
  const std::string listPath = dir / "files.bbs";
  std::string list;
  for (int i = 0; i < 25482; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "F%07d.ZIP", i);
    list += std::string(name) + "  Archive\r\n";
  }
  test::writeFile(listPath, list);
  const std::uint64_t inode = inodeOf(listPath);
  DescFileUpdater updater(cutDescription, std::chrono::milliseconds(20));
  ASSERT_TRUE(updater.update(listPath, "F0025482.ZIP", "New"));
  EXPECT_EQ(inodeOf(listPath), inode);
  list += "F0025482.ZIP  New\r\n";
  EXPECT_EQ(test::readFile(listPath), list);

  ASSERT_TRUE(updater.update(listPath, "f0006648.zip", "Newer"));
  EXPECT_EQ(test::readFile(listPath), rewritten(list, "f0006648.zip", "f0006648.zip  Newer\r\n"));
}

}  // namespace

namespace {

TEST(DescFileUpdater, LongDescriptionsFollowTheirEntryAndGoWithIt) {
  test::TempDir dir;
  const std::string list = dir / "files.bbs";
  test::writeFile(list, "OLD.ZIP       Old\r\n  old more\r\nKEEP.ZIP      Kept\r\n  kept more\r\n");
  DescFileUpdater updater(keepDescription, std::chrono::milliseconds(20),
                          Continuations::goWithEntry);
  ASSERT_TRUE(updater.update(list, "A.ZIP", "First", {"second", "", "third"}).ok());
  ASSERT_TRUE(updater.update(list, "LONGERNAME.ZIP", "One", {"two"}).ok());
  EXPECT_EQ(test::readFile(list),
            "OLD.ZIP       Old\r\n  old more\r\nKEEP.ZIP      Kept\r\n  kept more\r\n"
            "A.ZIP         First\r\n              second\r\n              third\r\n"
            "LONGERNAME.ZIP  One\r\n                two\r\n");
  // A new entry of a file takes the old one's continuation lines along; so does removing it.
  ASSERT_TRUE(updater.update(list, "a.zip", "Again").ok());
  ASSERT_TRUE(updater.removeEntries(list, {"OLD.ZIP", "missing.zip"}).ok());
  EXPECT_EQ(test::readFile(list),
            "KEEP.ZIP      Kept\r\n  kept more\r\nLONGERNAME.ZIP  One\r\n"
            "                two\r\na.zip         Again\r\n");
  // Removing what the list does not hold leaves it as it is; a missing list stays missing.
  ASSERT_TRUE(updater.removeEntries(list, {"NONE.ZIP"}).ok());
  ASSERT_TRUE(updater.removeEntries(dir / "none.bbs", {"KEEP.ZIP"}).ok());
  EXPECT_FALSE(fs::exists(dir / "none.bbs"));

  // Without it, continuation lines stay where they stood, as they always did.
  DescFileUpdater plain(keepDescription, std::chrono::milliseconds(20));
  test::writeFile(list, "A.ZIP  Old\r\n  more\r\n");
  ASSERT_TRUE(plain.update(list, "A.ZIP", "New").ok());
  EXPECT_EQ(test::readFile(list), "  more\r\nA.ZIP         New\r\n");
}

}  // namespace
