// Putting a file's entry into its area's description list.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
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
  const bool written = updater.update(listPath, fileName, out);
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
      {"a.zip", "a.zip         \r\n"},  // a description that is cut away entirely
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
