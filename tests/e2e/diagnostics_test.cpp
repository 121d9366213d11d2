// What the sysop hears when something is wrong: each diagnostic is one line with the words that
// say what, where and why, and none of them changes what the run does. The stops, the command
// line, --check and the exit statuses.
#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <string>

#include "tests/support/node.h"

namespace {

using test::kHeading;

// Replaces every "<root>" in `text` by the node's directory.
std::string atNode(const test::Node& node, std::string text) {
  for (std::size_t at = text.find("<root>"); at != std::string::npos; at = text.find("<root>")) {
    text.replace(at, 6, node.root());
  }
  return text;
}

// The configuration file as the program names it: its real path.
std::string configPath(const test::Node& node) {
  return std::filesystem::weakly_canonical(node.path("bin/quenfar.cfg")).string();
}

// Drops the lines that start with `prefix` from CR LF text.
std::string withoutLines(const std::string& text, const std::string& prefix) {
  std::string kept;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    end = end == std::string::npos ? text.size() : end + 2;
    if (text.compare(start, prefix.size(), prefix) != 0) {
      kept += text.substr(start, end - start);
    }
    start = end;
  }
  return kept;
}

// Every entry that a run can leave in the node, the program's own directory aside: files with
// their bytes (the node's directory written as "<root>"), directories as "<dir>". The log's
// times are masked and its "Warning: " lines dropped, so that a run with a mistake compares
// with the same run without it.
std::map<std::string, std::string> nodeFiles(const test::Node& node) {
  std::map<std::string, std::string> files;
  const std::filesystem::path root(node.root());
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    const std::string name = entry.path().lexically_relative(root).generic_string();
    if (name == "bin" || name.rfind("bin/", 0) == 0) {
      continue;
    }
    if (entry.is_directory()) {
      files[name] = "<dir>";
    } else if (name == "quenfar.log") {
      files[name] = withoutLines(test::maskLogTimes(test::readFile(entry.path())), "Warning: ");
    } else {
      files[name] = test::readFile(entry.path());
    }
    std::string& contents = files[name];
    for (std::size_t at = contents.find(node.root()); at != std::string::npos;
         at = contents.find(node.root())) {
      contents.replace(at, node.root().size(), "<root>");
    }
  }
  return files;
}

void addTossableTic(const test::Node& node) {
  node.addTic("a.tic", "AREA FE_A\r\nFILE a.zip\r\nDESC An archive\r\n");
  node.write("in/a.zip", "a");
}

// ---- The three stops: seen on standard error and in the log, with the file that was read.

TEST(ConfigurationStop, WithoutAFileNamesTheFileLookedFor) {
  test::Node node;
  // A quenfar.cfg in the current directory is not the program's own and is never read.
  node.write("quenfar.cfg", "[QUENFAR]\nInbound=in\nFileecho=files\n");
  const std::map<std::string, std::string> before = nodeFiles(node);
  const test::RunResult result = node.run();
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.output, kHeading + "Inbound dir not defined\n");
  EXPECT_EQ(result.errors, "Warning: cannot read the configuration file " + configPath(node) +
                               "\nError: Inbound dir not defined (" + configPath(node) + ")\n");
  EXPECT_EQ(nodeFiles(node), before);
}

TEST(ConfigurationStop, ComeInOrderAndTouchNothing) {
  struct Case {
    std::string config;
    std::string message;
  };
  const Case cases[] = {
      {"[QUENFAR]\nFileecho=files\n", "Inbound dir not defined"},
      {"[QUENFAR]\n", "Inbound dir not defined"},
      {"[QUENFAR]\nInbound=in\nTICDir=kept\nLogfile=q.log\n", "Fileecho dir not defined"},
      {"[QUENFAR]\nInbound=in\nFileecho=files\nNetmailDir=mail\nTICDir=kept\nLogfile=q.log\n",
       "FTN address not defined"},
  };
  for (const Case& c : cases) {
    test::Node node;
    node.writeConfig(c.config);
    addTossableTic(node);
    const std::map<std::string, std::string> before = nodeFiles(node);
    const test::RunResult result = node.run();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.output, kHeading + c.message + "\n") << c.config;
    EXPECT_EQ(nodeFiles(node), before) << c.config;
  }
}

TEST(ConfigurationStop, GoesIntoAnExistingLogWithItsWarnings) {
  test::Node node;
  node.writeConfig(atNode(node,
                          "[QUENFAR]\nInbound=<root>/in\nLogfile=<root>/quenfar.log\n"
                          "Inboud=x\n"));
  addTossableTic(node);
  node.write("quenfar.log", "earlier\r\n");
  std::map<std::string, std::string> expected = nodeFiles(node);
  const test::RunResult result = node.run();
  const std::string warning = "Warning: unknown key Inboud in [QUENFAR] of " + configPath(node);
  const std::string error = "Error: Fileecho dir not defined (" + configPath(node) + ")";
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.output, kHeading + "Fileecho dir not defined\n");
  EXPECT_EQ(result.errors, warning + "\n" + error + "\n");
  EXPECT_EQ(test::maskLogTimes(node.read("quenfar.log")), "earlier\r\n=== Start  <time>\r\n" +
                                                              warning + "\r\n" + error +
                                                              "\r\n=== End    <time>\r\n\r\n\r\n");
  // Nothing else is touched: the .tic and its file stay, no area is made.
  std::map<std::string, std::string> after = nodeFiles(node);
  after.erase("quenfar.log");
  expected.erase("quenfar.log");
  EXPECT_EQ(after, expected);
}

TEST(ConfigurationStop, NamesTheFileBehindTheLinkAndCreatesNoLog) {
  test::Node node;
  node.write("etc/quenfar.cfg", atNode(node,
                                       "[QUENFAR]\nInbound=<root>/in\nFileecho=<root>/f\n"
                                       "NetmailDir=<root>\nLogfile=<root>/quenfar.log\n"));
  std::filesystem::create_symlink(node.path("etc/quenfar.cfg"), node.path("bin/quenfar.cfg"));
  addTossableTic(node);
  const std::map<std::string, std::string> before = nodeFiles(node);
  const test::RunResult result = node.run();
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.output, kHeading + "FTN address not defined\n");
  EXPECT_EQ(result.errors, "Error: FTN address not defined (" +
                               std::filesystem::canonical(node.path("etc/quenfar.cfg")).string() +
                               ")\n");
  EXPECT_EQ(nodeFiles(node), before);
}

// ---- Mistakes in the file: one warning each, and the run does what it does without them.

TEST(ConfigurationWarning, EachMistakeIsOneLineAndChangesNothing) {
  struct Case {
    std::string quenfar, include;          // the mistaken configuration
    std::string twinQuenfar, twinInclude;  // the same run without the warning
    std::string warning;                   // <cfg>: the configuration file's real path
  };
  const std::string areas = "AreaPath = <root>/areas.lst";
  const Case cases[] = {
      // [INCLUDE] lists that cannot be read: the path tried and the system's words.
      {"", "AreaPath = <root>/no/areas.lst", "", "",
       "Warning: cannot read the area path list <root>/no/areas.lst (AreaPath): No such file or "
       "directory"},
      {"", "AreaPath = areas.lst", "", "",
       "Warning: cannot read the area path list <root>/bin/areas.lst (AreaPath areas.lst, "
       "without a /, is looked for beside the program): No such file or directory"},
      {"", "Events = <root>/events.d", "", "",
       "Warning: cannot read the events list <root>/events.d (Events): Is a directory"},
      // Names the program does not know.
      {"", "AreaPaths = <root>/areas.lst", "", "",
       "Warning: unknown key AreaPaths in [INCLUDE] of <cfg>"},
      {areas, "", "", "",
       "Warning: unknown key AreaPath in [QUENFAR] of <cfg>; it belongs in [INCLUDE]"},
      {"", "[INCLUDES]\n" + areas, "", "", "Warning: unknown section [INCLUDES] of <cfg>"},
      // Inline comments, kept as written; quoted, the same value is taken as meant.
      {"Descfile = files.bbs   ; the list", "", "Descfile = \"files.bbs   ; the list\"", "",
       "Warning: the value of Descfile in [QUENFAR] of <cfg> holds an inline comment, kept as "
       "part of the value: \"files.bbs   ; the list\""},
      {"Descfile = files.bbs\t;list", "", "Descfile = 'files.bbs\t;list'", "",
       "Warning: the value of Descfile in [QUENFAR] of <cfg> holds an inline comment, kept as "
       "part of the value: \"files.bbs\t;list\""},
      // Settings that do not read: the run goes on as without them.
      {"FTNAddress=fidonet", "", "", "",
       "Warning: FTNAddress fidonet does not read as zone:net/node[.point]"},
      {"FTNAddress=2:5020/1.2.3", "", "", "",
       "Warning: FTNAddress 2:5020/1.2.3 does not read as zone:net/node[.point]"},
  };
  for (const Case& c : cases) {
    test::Node node;
    test::Node twin;
    for (const test::Node* each : {&node, &twin}) {
      // A list in the current directory, where a bare name is not looked for.
      each->write("areas.lst", atNode(*each, "FE_A <root>/elsewhere\r\n"));
      std::filesystem::create_directories(each->path("events.d"));
      addTossableTic(*each);
    }
    node.writeStandardConfig(atNode(node, c.quenfar), atNode(node, c.include));
    twin.writeStandardConfig(atNode(twin, c.twinQuenfar), atNode(twin, c.twinInclude));
    std::string warning = atNode(node, c.warning);
    if (const std::size_t at = warning.find("<cfg>"); at != std::string::npos) {
      warning.replace(at, 5, configPath(node));
    }
    const test::RunResult result = node.run();
    const test::RunResult twinResult = twin.run();
    EXPECT_EQ(result.exitCode, 0) << c.warning;
    EXPECT_EQ(result.errors, warning + "\n");
    EXPECT_EQ(twinResult.errors, "") << c.warning;
    EXPECT_NE(node.read("quenfar.log").find("\r\n" + warning + "\r\n"), std::string::npos);
    EXPECT_EQ(result.output, twinResult.output) << c.warning;
    EXPECT_EQ(nodeFiles(node), nodeFiles(twin)) << c.warning;
  }
}

// ---- A run as a user that does not own the node.

TEST(OwnershipWarning, NamesBothUsersBeforeTheRunCreatesAnything) {
  if (geteuid() != 0) {
    GTEST_SKIP() << "giving the inbound to another user needs root";
  }
  constexpr uid_t kOther = 65534;
  // getpwuid's record is overwritten by the next call: each name is copied at once.
  const passwd* entry = getpwuid(kOther);
  ASSERT_NE(entry, nullptr);
  const std::string otherName = entry->pw_name;
  entry = getpwuid(geteuid());
  ASSERT_NE(entry, nullptr);
  const std::string selfName = entry->pw_name;
  test::Node node;
  test::Node twin;
  for (const test::Node* each : {&node, &twin}) {
    each->writeStandardConfig("OnScreen=no");
    addTossableTic(*each);
  }
  ASSERT_EQ(chown(node.path("in").c_str(), kOther, kOther), 0);
  const test::RunResult result = node.run();
  const std::string warning = "Warning: running as " + selfName + ", but the inbound directory " +
                              node.path("in") + " belongs to " + otherName +
                              "; what this run creates will belong to " + selfName;
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.errors, warning + "\n");
  const std::string log = node.read("quenfar.log");
  EXPECT_LT(log.find(warning + "\r\n"), log.find("a.zip ---> FE_A"));
  const test::RunResult twinResult = twin.run();
  EXPECT_EQ(twinResult.errors, "");
  EXPECT_EQ(result.output, twinResult.output);
  EXPECT_EQ(nodeFiles(node), nodeFiles(twin));
}

TEST(ConfigurationWarning, MissingDirectoriesAndAnUnopenableLogAreNamed) {
  test::Node node;
  node.writeConfig("[QUENFAR]\nInbound=" + node.path("gone") + "\nFileecho=" + node.path("files") +
                   "\nNetmailDir=" + node.path("no/such/mail") + "\nFTNAddress=2:5020/1" +
                   "\nLogfile=" + node.path("no/dir/q.log") + "\n");
  const test::RunResult result = node.run();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.output, kHeading + "Nothing to toss\n");
  EXPECT_EQ(result.errors, "Warning: the inbound directory " + node.path("gone") +
                               " does not exist\nWarning: the netmail directory " +
                               node.path("no/such/mail") +
                               "/ does not exist; no announcement is stored\n"
                               "Warning: cannot open the log file " +
                               node.path("no/dir/q.log") + ": No such file or directory\n");
}

TEST(ConfigurationWarning, NoneForACleanConfiguration) {
  test::Node node;
  node.writeStandardConfig("NetmailDir=" + node.root() + "\nFTNAddress=2:5020/1.0\nOnScreen=no");
  addTossableTic(node);
  const test::RunResult result = node.run();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_EQ(result.errors, "");
  EXPECT_EQ(node.read("quenfar.log").find("Warning"), std::string::npos);
}

// ---- The command line: help, the version, and a usage error that tosses nothing.

TEST(CommandLine, OptionsPrintOrRefuseAndTouchNothing) {
  // The help and the version print and end; anything else is a usage error.
  for (const std::string arguments :
       {"--help", "-h", "--version", "-V", "--toss", "-x", "--help extra", "now"}) {
    const test::Node node;
    node.writeStandardConfig();
    addTossableTic(node);
    const test::RunResult result = node.run("", arguments);
    const bool version = arguments == "--version" || arguments == "-V";
    const bool help = arguments == "--help" || arguments == "-h";
    EXPECT_EQ(result.exitCode, version || help ? 0 : 2) << arguments;
    if (version) {
      EXPECT_EQ(result.output, "quenfar 3.75\n");
    } else if (help) {
      EXPECT_EQ(result.output.rfind("Usage: quenfar [--help | --version]\n", 0), 0U);
      EXPECT_NE(result.output.find("Exit status:"), std::string::npos);
    } else {
      EXPECT_EQ(result.output, "") << arguments;
      EXPECT_NE(result.errors.find("Usage: quenfar"), std::string::npos) << arguments;
    }
    EXPECT_EQ(result.errors.empty(), version || help) << arguments;
    EXPECT_TRUE(node.exists("in/a.tic")) << arguments;
    EXPECT_FALSE(node.exists("quenfar.log")) << arguments;
  }
}

// ---- quenfar --check: the settings, the lists, the places written, and every warning.

TEST(CheckOption, ReportsACleanConfigurationAndTouchesNothing) {
  test::Node node;
  node.write("areas.lst", atNode(node,
                                 ";tag dir\r\nNODELIST <root>/pub/nodelist\r\n"
                                 "FE_B=<root>/files/b\r\nEMPTY \r\n"));
  node.write("events.lst", "* * %FLG%new.flg\r\n;comment\r\nFE_A * /bin/true\r\nshort line\r\n");
  std::filesystem::create_directories(node.path("flags"));
  node.writeStandardConfig(atNode(node,
                                  "TICDir = <root>/tics\nFlagsDir = <root>/flags\n"
                                  "NetmailDir = <root>\nFTNAddress = 2:5020/1\nCutSymbols="),
                           atNode(node, "AreaPath = <root>/areas.lst\nEvents = <root>/events.lst"));
  addTossableTic(node);
  const std::map<std::string, std::string> before = nodeFiles(node);
  const test::RunResult result = node.run("", "--check");
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_EQ(result.errors, "");
  for (const std::string& line : {
           "Configuration file: " + configPath(node) + "\n",
           atNode(node, "    Inbound     = <root>/in  (from the file)\n"),
           std::string("    Descfile    = files.bbs  (default)\n"),
           atNode(node, "    TICDir      = <root>/tics/  (from the file)\n"),
           std::string("    CutSymbols  = 0  (default)\n"),
           std::string("    ProcessTime = 10  (default)\n"),
           atNode(node, "    AreaPath    = <root>/areas.lst  (from the file)\n"),
           atNode(node, "  Area list (AreaPath)  <root>/areas.lst: 2 entries\n"),
           atNode(node, "  Events list (Events)  <root>/events.lst: 2 entries\n"),
           atNode(node,
                  "    * * %FLG%new.flg\n      any area; files whose name or extension is "
                  "anything; makes the flag file <root>/flags/new.flg\n"),
           std::string("    FE_A * /bin/true\n      area FE_A; files whose name or extension is "
                       "anything; runs /bin/true\n"),
           std::string("Descriptions: DescFilter is on: each description is cut at its first"),
           atNode(node, "  inbound directory <root>/in: writable\n"),
           atNode(node,
                  "  Fileecho directory <root>/files: does not exist yet; the run creates "
                  "it in <root>\n"),
           atNode(node,
                  "  directory of area NODELIST <root>/pub/nodelist: does not exist yet; "
                  "the run creates it in <root>\n"),
           atNode(node,
                  "  TIC directory <root>/tics/: does not exist yet; the run creates it in "
                  "<root>\n"),
           atNode(node, "  flags directory <root>/flags/: writable\n"),
           atNode(node, "  log directory <root>/: writable\n"),
       }) {
    EXPECT_NE(result.output.find(line), std::string::npos) << line << result.output;
  }
  EXPECT_EQ(result.output.find("EMPTY"), std::string::npos);
  for (const char* internal : {"AreaPathMap", "EventTable"}) {
    EXPECT_EQ(result.output.find(internal), std::string::npos) << internal;
  }
  EXPECT_EQ(result.output.substr(result.output.size() - 25), "\n\nNothing to warn about.\n");
  EXPECT_EQ(nodeFiles(node), before);
}

TEST(CheckOption, ListsEveryWarningAndExitsOne) {
  test::Node node;
  node.write("plainfile", "not a directory");
  std::filesystem::create_directories(node.path("in"));
  node.writeConfig(atNode(node,
                          "[QUENFAR]\nInbound = <root>/in\nFileecho = <root>/plainfile/files\n"
                          "Logfile = <root>/logs/q.log\nFlagsDir = <root>/flags\n"
                          "UserName = John ; sysop\nOnSreen = no\n"
                          "[INCLUDE]\nEvents = events.lst\n"));
  addTossableTic(node);
  const std::map<std::string, std::string> before = nodeFiles(node);
  const test::RunResult result = node.run("", "--check");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.errors, "");
  const std::string user = getpwuid(geteuid())->pw_name;
  const std::string cfg = configPath(node);
  for (const std::string& line : {
           "Warning: unknown key OnSreen in [QUENFAR] of " + cfg + "\n",
           "Warning: the value of UserName in [QUENFAR] of " + cfg +
               " holds an inline comment, kept as part of the value: \"John ; sysop\"\n",
           atNode(node,
                  "Warning: cannot read the events list <root>/bin/events.lst (Events "
                  "events.lst, without a /, is looked for beside the program): No such "
                  "file or directory\n"),
           atNode(node,
                  "Warning: the Fileecho directory <root>/plainfile/files cannot be "
                  "created by " +
                      user + ": <root>/plainfile: Not a directory\n"),
           atNode(node,
                  "Warning: the flags directory <root>/flags/ does not exist; no flag file "
                  "is made\n"),
           atNode(node,
                  "Warning: the log directory <root>/logs/ does not exist; the run goes "
                  "without a log\n"),
       }) {
    EXPECT_NE(result.output.find(line), std::string::npos) << line << result.output;
  }
  EXPECT_EQ(result.output.substr(result.output.size() - 13), "\n6 warnings.\n");
  EXPECT_EQ(nodeFiles(node), before);
}

TEST(CheckOption, ShowsTheChecksOfArrivingFilesAndWarnsOfTheirTroubles) {
  test::Node node;
  node.write("links.lst", "2:5020/1 SECRET\r\n2:5020/7\r\nnot an address\r\n");
  node.writeStandardConfig("OnScreen = off\nVerifyFiles = yes\nReplaces=yes\nAkas=2:5020/3",
                           atNode(node, "Links = <root>/links.lst"));
  const test::RunResult result = node.run("", "--check");
  EXPECT_EQ(result.exitCode, 1);
  const std::string cfg = configPath(node);
  for (const std::string& line : {
           std::string("    VerifyFiles = YES  (from the file)\n"),
           std::string("    AutoCreate  = YES  (default)\n"),
           atNode(node, "    Links       = <root>/links.lst  (from the file)\n"),
           atNode(node,
                  "  Links        <root>/links.lst: 2 links; a .tic from any other, with another "
                  "password, or To another node is refused\n"),
           std::string("  Akas         2:5020/3: To may name these or FTNAddress\n"),
           std::string("  BadTicDir    a refused .tic stays in the inbound\n"),
           std::string("  LongDesc     NO: only the first Desc line is listed\n"),
           "Warning: OnScreen = off in [QUENFAR] of " + cfg +
               " is neither YES nor NO; taken as YES\n",
           atNode(node,
                  "Warning: line 3 of the links list <root>/links.lst cannot be read: it does not "
                  "begin with an FTN address zone:net/node[.point]; it names no link\n"),
           std::string("Warning: VerifyFiles is on without BadTicDir: a refused .tic stays in the "
                       "inbound, and is refused again by every run\n"),
       }) {
    EXPECT_NE(result.output.find(line), std::string::npos) << line << result.output;
  }
  EXPECT_EQ(result.output.find("SECRET"), std::string::npos);
  EXPECT_EQ(result.output.substr(result.output.size() - 13), "\n3 warnings.\n");

  // The run says the same warnings once, and goes on.
  addTossableTic(node);
  const test::RunResult run = node.run();
  EXPECT_EQ(test::countOf(run.errors, "Warning: OnScreen = off"), 1U) << run.errors;
  EXPECT_EQ(test::countOf(node.read("quenfar.log"), "Warning: OnScreen = off"), 1U);
  EXPECT_EQ(test::countOf(run.errors, "Warning: line 3 of the links list"), 1U);
}

TEST(CheckOption, AStopIsAnErrorOfTheReport) {
  test::Node node;
  node.writeConfig("[QUENFAR]\nInbound = in\n");
  const test::RunResult result = node.run("", "--check");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_NE(result.output.find("\nError: Fileecho dir not defined (" + configPath(node) +
                               ")\n1 error.\n"),
            std::string::npos)
      << result.output;
  EXPECT_EQ(node.run("", "--check now").exitCode, 2);
  // Errors and warnings are counted apart; a wrong word is blamed, not the option before it.
  node.writeConfig("[QUENFAR]\nInbound = in\nOnSreen = no\n");
  const std::string both = node.run("", "--check").output;
  EXPECT_EQ(both.substr(both.size() - 33), "quenfar.cfg)\n1 error, 1 warning.\n") << both;
  const test::RunResult wrong = node.run("", "--check --verbose");
  EXPECT_EQ(wrong.exitCode, 2);
  EXPECT_EQ(wrong.errors.substr(0, wrong.errors.find('\n')),
            "quenfar: unknown option --verbose after --check");
}

// --check judges a path as the run does: the run never makes the first level of a relative
// path, so with "files" missing the run fails, and --check says so beforehand.
TEST(CheckOption, JudgesARelativePathAsTheRunDoesAndAMissingEventCommand) {
  test::Node node;
  node.write("events.lst", "NODELIST NODELIST.* /usr/local/lib/ftn/nodelist-updat -q\r\n");
  node.writeConfig(atNode(node,
                          "[QUENFAR]\nInbound = <root>/in\nFileecho = files\n"
                          "[INCLUDE]\nEvents = <root>/events.lst\n"));
  addTossableTic(node);
  const test::RunResult check = node.run("", "--check");
  EXPECT_EQ(check.exitCode, 1);
  for (const std::string& line : {
           std::string("Warning: the Fileecho directory files cannot be created by ") +
               getpwuid(geteuid())->pw_name +
               ": files: it does not exist, and the run never makes the first level of a path: "
               "make it, or give an absolute path\n",
           std::string("    NODELIST NODELIST.* /usr/local/lib/ftn/nodelist-updat -q\n      "
                       "area NODELIST; files whose name is NODELIST or whose extension is "
                       "anything; runs /usr/local/lib/ftn/nodelist-updat -q\n"),
           std::string("Warning: the event command /usr/local/lib/ftn/nodelist-updat -q cannot "
                       "be started: No such file or directory; each run for such a file ends "
                       "with exit status 3\n"),
           std::string("\n2 warnings.\n"),
       }) {
    EXPECT_NE(check.output.find(line), std::string::npos) << line << check.output;
  }
  EXPECT_EQ(node.run().exitCode, 3);
  EXPECT_TRUE(node.exists("in/a.tic"));
  // Once the first level is there, both agree that the run can go.
  std::filesystem::create_directories(node.path("files"));
  EXPECT_NE(node.run("", "--check").output.find("Fileecho directory files: writable"),
            std::string::npos);
  EXPECT_EQ(node.run().exitCode, 0);
  EXPECT_TRUE(node.exists("files/FE_A/a.zip"));
}

// ---- Exit status 3: the run completed, but a .tic failed for another reason than waiting.

TEST(ExitStatus, ARefusedTicMakesTheRunTroubled) {
  test::Node node;
  node.writeStandardConfig("OnScreen=no");
  node.addTic("bad.tic", "AREA FE_A\r\nFILE ../x\r\n");
  node.write("x", "outside");
  addTossableTic(node);
  const test::RunResult result = node.run();
  EXPECT_EQ(result.exitCode, 3);
  EXPECT_TRUE(node.exists("in/bad.tic"));
  EXPECT_EQ(node.read("x"), "outside");
  EXPECT_TRUE(node.exists("files/FE_A/a.zip"));
  EXPECT_FALSE(node.exists("files/x"));
  EXPECT_NE(node.read("quenfar.log").find("Can't move file ../x\r\n"), std::string::npos);
}

TEST(ExitStatus, AFileStillOnItsWayIsNoTrouble) {
  test::Node node;
  node.writeStandardConfig("OnScreen=no");
  node.addTic("late.tic", "AREA FE_A\r\nFILE late.zip\r\n");
  addTossableTic(node);
  const test::RunResult result = node.run();
  EXPECT_EQ(result.exitCode, 0);
  EXPECT_TRUE(node.exists("in/late.tic"));
  EXPECT_TRUE(node.exists("files/FE_A/a.zip"));
}

}  // namespace
