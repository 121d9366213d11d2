// The checks of what arrives, each switched on by its own key: links and passwords, Size and
// Crc (with the copies binkd renames), BadTicDir, AutoCreate, Replaces; and the one folder of
// an echo whatever the letter case of its tag.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/node.h"

namespace {

bool logHas(const test::Node& node, const std::string& line) {
  return node.read("quenfar.log").find("\r\n" + line + "\r\n") != std::string::npos;
}

// A .tic of area FE_A for `file`, with `lines` added, and the file with `data`.
void addTic(const test::Node& node, const std::string& ticName, const std::string& file,
            const std::string& lines, const std::string& data = "data") {
  node.addTic(ticName, "AREA FE_A\r\nFILE " + file + "\r\nDESC About " + file + "\r\n" + lines);
  node.write("in/" + file, data);
}

// One .tic each: what it carries, and the reason it is refused for (empty: it is tossed).
struct LinkCase {
  std::string file;
  std::string lines;
  std::string refusal;
};

const std::vector<LinkCase> kLinkCases = {
    {"good.zip", "From 2:5020/1\r\nPw secret\r\n", ""},
    {"domain.zip", "From 2:5020/1@fidonet\r\nPw SECRET\r\nTo 2:5020/4.5\r\n", ""},
    {"point0.zip", "From 2:5020/7.0\r\nTo 2:5020/2\r\n", ""},  // a link without a password
    {"aka.zip", "From 2:5020/7\r\nPw any\r\nTo 2:5020/3@fidonet\r\n", ""},
    {"stranger.zip", "From 2:5020/99\r\nPw SECRET\r\n", "unknown link 2:5020/99"},
    {"nofrom.zip", "Pw SECRET\r\n", "unknown link (no From)"},
    {"wrongpw.zip", "From 2:5020/1\r\nPw WRONGPW\r\n", "wrong password from 2:5020/1"},
    {"nopw.zip", "From 2:5020/1\r\n", "wrong password from 2:5020/1"},
    {"other.zip", "From 2:5020/1\r\nPw SECRET\r\nTo 2:5020/5\r\n",
     "addressed to 2:5020/5, not to this node"},
};

void configureLinks(const test::Node& node, const std::string& extra = "") {
  node.write("bin/links.lst", "; the node's links\r\n2:5020/1  SECRET ; hub\r\n\r\n2:5020/7\r\n");
  node.writeStandardConfig("OnScreen=no\nFTNAddress=2:5020/2\nAkas = 2:5020/3 2:5020/4.5\n" + extra,
                           "Links=links.lst");
}

TEST(LinkChecks, RefusesStrangersWrongPasswordsAndOtherAddressees) {
  test::Node node;
  configureLinks(node);
  for (const LinkCase& c : kLinkCases) {
    addTic(node, c.file + ".tic", c.file, c.lines);
  }
  const test::RunResult result = node.run();
  EXPECT_EQ(result.exitCode, 3);
  for (const LinkCase& c : kLinkCases) {
    const std::string tic = c.file + ".tic";
    if (c.refusal.empty()) {
      EXPECT_EQ(node.read("files/FE_A/" + c.file), "data") << c.file;
      EXPECT_FALSE(node.exists("in/" + tic)) << c.file;
      continue;
    }
    // Without BadTicDir a refused .tic and its file stay in the inbound.
    EXPECT_TRUE(node.exists("in/" + tic)) << c.file;
    EXPECT_TRUE(node.exists("in/" + c.file)) << c.file;
    EXPECT_FALSE(node.exists("files/FE_A/" + c.file)) << c.file;
    const std::string warning = "Warning: cannot toss " + c.file + " of " + tic + ": " + c.refusal;
    EXPECT_TRUE(logHas(node, warning)) << warning;
    EXPECT_NE(result.errors.find(warning + "\n"), std::string::npos) << warning;
  }
  // A password reaches neither the log nor the console.
  for (const char* secret : {"SECRET", "secret", "WRONGPW"}) {
    EXPECT_EQ(node.read("quenfar.log").find(secret), std::string::npos) << secret;
    EXPECT_EQ(result.errors.find(secret), std::string::npos) << secret;
    EXPECT_EQ(result.output.find(secret), std::string::npos) << secret;
  }
}

TEST(BadTicDir, RefusedTicsLeaveTheInboundWithTheirFiles) {
  test::Node node;
  configureLinks(node, "BadTicDir=" + node.path("bad") + "\nVerifyFiles=yes");
  for (const LinkCase& c : kLinkCases) {
    addTic(node, c.file + ".tic", c.file, c.lines);
  }
  // A name that the name rules refuse: the .tic goes, what it names is never touched.
  node.addTic("escape.tic", "AREA FE_A\r\nFILE ../outside\r\nFrom 2:5020/1\r\nPw SECRET\r\n");
  node.write("outside", "kept");
  // A file that another waiting .tic names (one whose Size it does not fit) stays for it; a
  // name taken in BadTicDir is kept.
  node.addTic("shared.tic", "AREA FE_A\r\nFILE shared.zip\r\nFrom 2:5020/99\r\n");
  node.addTic("waiting.tic",
              "AREA FE_A\r\nFILE SHARED.ZIP\r\nFrom 2:5020/1\r\nPw SECRET\r\n"
              "Size 9\r\n");
  node.write("in/shared.zip", "data");
  node.write("bad/shared.tic", "an older one");

  const test::RunResult result = node.run();
  EXPECT_EQ(result.exitCode, 3);
  const std::string bad = node.path("bad") + "/";
  for (const LinkCase& c : kLinkCases) {
    if (c.refusal.empty()) {
      continue;
    }
    const std::string tic = c.file + ".tic";
    EXPECT_FALSE(node.exists("in/" + tic)) << tic;
    EXPECT_FALSE(node.exists("in/" + c.file)) << tic;
    EXPECT_EQ(node.read("bad/" + c.file), "data") << tic;
    EXPECT_NE(node.read("bad/" + tic).find("FILE " + c.file), std::string::npos) << tic;
    const std::string warning = "Warning: " + tic + " refused (" + c.refusal + "); moved to " + bad;
    EXPECT_TRUE(logHas(node, warning)) << warning;
    EXPECT_NE(result.errors.find(warning + "\n"), std::string::npos) << warning;
  }
  EXPECT_TRUE(node.exists("bad/escape.tic"));
  EXPECT_EQ(node.read("outside"), "kept");
  EXPECT_TRUE(logHas(node,
                     "Warning: escape.tic refused (the name is not a plain file name of "
                     "the inbound); moved to " +
                         bad));
  EXPECT_EQ(node.read("bad/shared.tic"), "an older one");
  EXPECT_NE(node.read("bad/shared.tic.1").find("FILE shared.zip"), std::string::npos);
  EXPECT_EQ(node.read("in/shared.zip"), "data");
  EXPECT_TRUE(node.exists("in/waiting.tic"));
}

// ---- Size and Crc: "data" is 4 bytes with CRC-32 ADF3F363.

TEST(VerifyFiles, AFileThatDiffersFromItsTicWaits) {
  test::Node node;
  node.writeStandardConfig("OnScreen=no\nVerifyFiles=yes");
  addTic(node, "good.tic", "good.zip", "Size 4\r\nCrc adf3f363\r\n");
  addTic(node, "sizeonly.tic", "sizeonly.zip", "Size 4\r\n");
  addTic(node, "none.tic", "none.zip", "");
  addTic(node, "flipped.tic", "flipped.zip", "Size 4\r\nCrc ADF3F363\r\n", "dbta");
  addTic(node, "short.tic", "short.zip", "Size 4000\r\nCrc DEADBEEF\r\n");
  addTic(node, "badsize.tic", "badsize.zip", "Size four\r\n");
  const test::RunResult result = node.run();
  EXPECT_EQ(result.exitCode, 0);
  for (const char* tossed : {"good.zip", "sizeonly.zip", "none.zip"}) {
    EXPECT_TRUE(node.exists(std::string("files/FE_A/") + tossed)) << tossed;
  }
  for (const char* waiting : {"flipped", "short", "badsize"}) {
    EXPECT_TRUE(node.exists(std::string("in/") + waiting + ".tic")) << waiting;
    EXPECT_TRUE(node.exists(std::string("in/") + waiting + ".zip")) << waiting;
    EXPECT_FALSE(node.exists(std::string("files/FE_A/") + waiting + ".zip")) << waiting;
  }
  EXPECT_TRUE(logHas(node,
                     "Warning: flipped.tic waits for flipped.zip: flipped.zip is 4 bytes "
                     "with CRC AFB54D3A; flipped.tic says 4 bytes, CRC ADF3F363"));
  EXPECT_TRUE(logHas(node,
                     "Warning: short.tic waits for short.zip: short.zip is 4 bytes with "
                     "CRC ADF3F363; short.tic says 4000 bytes, CRC DEADBEEF"));
  EXPECT_TRUE(logHas(node,
                     "Warning: badsize.tic waits for badsize.zip: badsize.zip is 4 bytes; "
                     "badsize.tic says four bytes"));
  EXPECT_TRUE(logHas(node, "Can't move file flipped.zip"));

  // Without the key the same inbound is tossed as it always was.
  test::Node plain;
  plain.writeStandardConfig("OnScreen=no");
  addTic(plain, "flipped.tic", "flipped.zip", "Size 4\r\nCrc ADF3F363\r\n", "dbta");
  EXPECT_EQ(plain.run().exitCode, 0);
  EXPECT_EQ(plain.read("files/FE_A/flipped.zip"), "dbta");
}

TEST(VerifyFiles, TossesTheCopyThatTheMailerRenamed) {
  test::Node node;
  node.writeStandardConfig("OnScreen=no\nVerifyFiles=yes");
  // Two hatches of one name: binkd kept the second as A.ZIP.1 (rename-style postfix), or
  // FILE.ZI0, FILE.ZI1 (rename-style extension).
  node.addTic("first.tic", "AREA FE_A\r\nFILE A.ZIP\r\nSize 5\r\nCrc 9271EE57\r\n");
  node.write("in/A.ZIP", "first");
  node.addTic("second.tic", "AREA FE_B\r\nFILE A.ZIP\r\nSize 4\r\nCrc ADF3F363\r\n");
  node.write("in/A.ZIP.1", "data");
  node.addTic("ext.tic", "AREA FE_B\r\nFILE FILE.ZIP\r\nSize 4\r\nCrc ADF3F363\r\n");
  node.write("in/FILE.ZIP", "other");
  node.write("in/FILE.ZI0", "still other");
  node.write("in/FILE.ZI1", "data");
  const test::RunResult result = node.run();
  EXPECT_EQ(result.exitCode, 0) << result.errors;
  EXPECT_EQ(node.read("files/FE_A/A.ZIP"), "first");
  EXPECT_EQ(node.read("files/FE_B/A.ZIP"), "data");
  EXPECT_EQ(node.read("files/FE_B/FILE.ZIP"), "data");
  EXPECT_FALSE(node.exists("in/A.ZIP.1"));
  EXPECT_FALSE(node.exists("in/FILE.ZI1"));
  // The copies of others stay for their own .tic files.
  EXPECT_EQ(node.read("in/FILE.ZIP"), "other");
  EXPECT_EQ(node.read("in/FILE.ZI0"), "still other");
  EXPECT_TRUE(logHas(node, "A.ZIP ---> FE_B ()"));
}

// ---- One echo, one folder: tags ignore letter case.

TEST(AreaFolders, OneEchoKeepsOneFolderInAnyLetterCase) {
  test::Node node;
  node.write("bin/areas.lst", "HUSKY.DEV " + node.path("pub/husky") + "\r\n");
  node.writeStandardConfig("OnScreen=no", "AreaPath=areas.lst");
  std::filesystem::create_directories(node.path("files/Existing"));
  std::filesystem::create_directories(node.path("files/Both"));
  std::filesystem::create_directories(node.path("files/BOTH"));
  struct Case {
    std::string tag;
    std::string placedAs;
  };
  const std::vector<Case> cases = {
      {"Husky.Dev", "pub/husky/"},  // the list's entry in another case
      {"EXISTING", "files/Existing/"},
      {"BOTH", "files/BOTH/"},  // an exact match wins
      {"New.Area", "files/New.Area/"},
      {"NEW.AREA", "files/New.Area/"},  // made by this run in another case
  };
  int number = 0;
  for (const Case& c : cases) {
    const std::string name = "f" + std::to_string(++number) + ".zip";
    // One run each, in this order: the directory's order must not decide.
    node.addTic("x.tic", "AREA " + c.tag + "\r\nFILE " + name + "\r\n");
    node.write("in/" + name, c.tag);
    node.run();
    EXPECT_EQ(node.read(c.placedAs + name), c.tag) << c.tag;
  }
  EXPECT_FALSE(node.exists("files/NEW.AREA"));
  EXPECT_FALSE(node.exists("files/Husky.Dev"));
}

TEST(AutoCreate, OffRefusesAnAreaThatIsNowhere) {
  test::Node node;
  node.write("bin/areas.lst", "LISTED " + node.path("pub/listed") + "\r\n");
  node.writeStandardConfig("OnScreen=no\nAutoCreate=no", "AreaPath=areas.lst");
  std::filesystem::create_directories(node.path("files/Known"));
  addTic(node, "a.tic", "a.zip", "");
  node.addTic("listed.tic", "AREA listed\r\nFILE l.zip\r\n");
  node.write("in/l.zip", "l");
  node.addTic("known.tic", "AREA KNOWN\r\nFILE k.zip\r\n");
  node.write("in/k.zip", "k");
  const test::RunResult result = node.run();
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_EQ(node.read("pub/listed/l.zip"), "l");
  EXPECT_EQ(node.read("files/Known/k.zip"), "k");
  EXPECT_FALSE(node.exists("files/FE_A"));
  EXPECT_TRUE(node.exists("in/a.tic"));
  EXPECT_TRUE(logHas(node, "Warning: cannot toss a.zip of a.tic: unknown area FE_A"));
}

// ---- Replaces: older files of the area go, with their entries.

TEST(Replaces, RemovesTheOlderFilesItNamesAndTheirEntries) {
  test::Node node;
  node.writeStandardConfig("OnScreen=no\nReplaces=yes");
  const std::string area = "files/ARCHIVES/";
  for (const char* old :
       {"OLDVER10.ZIP", "prog10.zip", "PROG11.ZIP", "KEEP.ZIP", ".quenfar-x", "PROG1.ZIP.keep"}) {
    node.write(area + old, "old");
  }
  std::filesystem::create_directories(node.path(area + "PROG1DIR.ZIP"));
  std::filesystem::create_symlink(node.path(area + "KEEP.ZIP"), node.path(area + "PROG1L.ZIP"));
  node.write(area + "files.bbs",
             "OLDVER10.ZIP  Old\r\nKEEP.ZIP      Kept\r\nprog10.zip    Ten\r\n"
             "PROG12.ZIP    Earlier copy\r\n");
  node.addTic("a.tic",
              "AREA ARCHIVES\r\nFILE PROG12.ZIP\r\nDESC Twelve\r\nReplaces OLDVER10.ZIP\r\n"
              "Replaces PROG1*.ZIP\r\nReplaces files.bbs\r\nReplaces *quenfar*\r\n"
              "Replaces ../*\r\n");
  node.write("in/PROG12.ZIP", "new");
  const test::RunResult result = node.run();
  EXPECT_EQ(result.exitCode, 0) << result.errors;
  EXPECT_EQ(node.read(area + "files.bbs"), "KEEP.ZIP      Kept\r\nPROG12.ZIP    Twelve\r\n");
  EXPECT_EQ(node.read(area + "PROG12.ZIP"), "new");
  for (const char* gone : {"OLDVER10.ZIP", "prog10.zip", "PROG11.ZIP"}) {
    EXPECT_FALSE(node.exists(area + gone)) << gone;
  }
  for (const char* kept : {"KEEP.ZIP", ".quenfar-x", "PROG1.ZIP.keep", "PROG1DIR.ZIP"}) {
    EXPECT_TRUE(node.exists(area + kept)) << kept;
  }
  EXPECT_TRUE(std::filesystem::is_symlink(node.path(area + "PROG1L.ZIP")));
  EXPECT_TRUE(logHas(node, "Replaced OLDVER10.ZIP in ARCHIVES"));
  EXPECT_TRUE(logHas(node, "Replaced prog10.zip in ARCHIVES"));

  // Without the key, Replaces lines are not heeded.
  test::Node plain;
  plain.writeStandardConfig("OnScreen=no");
  plain.write(area + "OLDVER10.ZIP", "old");
  plain.addTic("a.tic", "AREA ARCHIVES\r\nFILE NEW.ZIP\r\nReplaces OLDVER10.ZIP\r\n");
  plain.write("in/NEW.ZIP", "new");
  plain.run();
  EXPECT_TRUE(plain.exists(area + "OLDVER10.ZIP"));
}

TEST(Replaces, ARunCutShortIsFinishedByTossingTheTicAgain) {
  // As a kill leaves it after the list was rewritten and before the old file was deleted: the
  // new file in place and listed, the old one unlisted, the .tic still in the inbound.
  test::Node node;
  node.writeStandardConfig("OnScreen=no\nReplaces=yes");
  node.write("files/FE_A/NEW.ZIP", "data");
  node.write("files/FE_A/OLD.ZIP", "old");
  node.write("files/FE_A/files.bbs", "NEW.ZIP       New\r\n");
  node.addTic("a.tic",
              "AREA FE_A\r\nFILE NEW.ZIP\r\nDESC New\r\nReplaces OLD.ZIP\r\n"
              "Size 4\r\nCrc ADF3F363\r\n");
  const test::RunResult result = node.run();
  EXPECT_EQ(result.exitCode, 0) << result.errors;
  EXPECT_FALSE(node.exists("files/FE_A/OLD.ZIP"));
  EXPECT_FALSE(node.exists("in/a.tic"));
  EXPECT_EQ(node.read("files/FE_A/files.bbs"), "NEW.ZIP       New\r\n");
  EXPECT_TRUE(logHas(node, "Replaced OLD.ZIP in FE_A"));
}

}  // namespace
