// The netmail announcement that a tossing run stores.
#include <gtest/gtest.h>

#include <filesystem>
#include <iomanip>
#include <sstream>

#include "platform/file.h"
#include "platform/system.h"
#include "tests/support/node.h"

namespace {

// Writes the standard config with a netmail directory, which it creates.
void configure(const test::Node& node, const std::string& user = "UserName=Sysop") {
  std::filesystem::create_directories(node.path("netmail"));
  node.writeStandardConfig("NetmailDir=" + node.path("netmail") + "\nFTNAddress=2:5020/9999.1\n" +
                           user);
}

void addFile(const test::Node& node, const std::string& name) {
  node.addTic(name + ".tic", "AREA FE_A\r\nFILE " + name + ".zip\r\nDESC d\r\n");
  node.write("in/" + name + ".zip", "data");
}

std::size_t entryCount(const test::Node& node, const std::string& directory) {
  const std::filesystem::directory_iterator entries(node.path(directory));
  return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}

std::string field(const std::string& text, std::size_t width) {
  std::string bytes = text.substr(0, width - 1);
  bytes.resize(width, '\0');
  return bytes;
}

std::string block(const test::Node& node, const std::string& area, const std::string& name,
                  const std::string& lines) {
  return "=== " + name + " =================\r\nFileecho   : " + area + "\r\n" + lines +
         "Full path  : " + node.path("files/" + area + "/" + name) +
         "\r\n===========================\r\n\r\n";
}

TEST(AnnounceRun, TwoTossedFilesMakeOneMessage) {
  test::Node node;
  const std::string longName = "Sysop of a node with a long name, 47 bytes long";
  configure(node, "UserName=" + longName);
  node.addTic("a.tic", "AREA FE_X\r\nFILE x.zip\r\nDESC First file 1\r\nOrigin 2:5020/1\r\n");
  node.write("in/x.zip", "data");
  node.addTic("b.tic", "AREA FE_Y\r\nFILE y.zip\r\nDESC Second file\r\n");
  node.write("in/y.zip", "yy");
  const std::int64_t before = platform::now();
  node.run();
  const std::int64_t after = platform::now();

  // A fresh netmail directory: 1.msg is left to the tossers' high-water mark.
  ASSERT_EQ(entryCount(node, "netmail"), 1U);
  EXPECT_FALSE(node.exists("netmail/1.msg"));
  const std::string message = node.read("netmail/2.msg");
  ASSERT_GT(message.size(), 190U);
  std::uint32_t created = 0;
  for (int i = 3; i >= 0; --i) {
    created = created << 8 | static_cast<unsigned char>(message[176 + static_cast<unsigned>(i)]);
  }
  EXPECT_GE(created, before);
  EXPECT_LE(created, after);
  std::ostringstream msgid;
  msgid << std::hex << std::setw(8) << created;
  const std::string x = block(node, "FE_X", "x.zip",
                              "Description: First file 1\r\n"
                              "File size  : 4\r\nHatched by : 2:5020/1\r\n");
  const std::string y = block(node, "FE_Y", "y.zip",
                              "Description: Second file\r\n"
                              "File size  : 2\r\nHatched by : \r\n");
  // Only the order of the blocks is left to the directory listing of the .tic files.
  const bool xFirst = message.find("=== x.zip") < message.find("=== y.zip");
  EXPECT_EQ(message, field("Quenfar Herald", 36) + field(longName.substr(0, 35), 36) +
                         field(platform::formatLocalTime("Announce at %B %d, %Y", created), 72) +
                         field(platform::formatLocalTime("%d %b %y  %H:%M:%S", created), 20) +
                         std::string("\0\0\x0f\x27\x0f\x27\0\0\x9c\x13\x9c\x13", 12) +
                         message.substr(176, 4) + std::string("\0\0\0\0\0\0\x01\x01\0\0", 10) +
                         "\x01INTL 2:5020/9999 2:5020/9999\r\n\x01"
                         "FMPT 1\r\n\x01TOPT 1\r\n"
                         "\x01MSGID: 2:5020/9999.1 " +
                         msgid.str() + "\r\n\r\n\r\n" + (xFirst ? x + y : y + x) +
                         "File proceded 2\r\n" + std::string(1, '\0'));
}

TEST(AnnounceRun, TakesOneAboveTheHighestAndTheMarkAndSkipsFilesHeldOpen) {
  test::Node node;
  configure(node, "UserName=");
  node.write("netmail/1.msg", "one");  // too short to hold a high-water mark
  node.write("netmail/3.msg", "three");
  addFile(node, "x");
  node.run();
  {
    // Held as another program would hold it: it cannot be read, yet it is not free.
    const auto held =
        platform::File::open(node.path("netmail/5.msg"), platform::OpenMode::updateNew);
    addFile(node, "y");
    node.run();
  }
  EXPECT_NE(node.read("netmail/4.msg").find("=== x.zip"), std::string::npos);
  EXPECT_EQ(node.read("netmail/4.msg").substr(36, 36), field("Mailbox owner", 36));
  EXPECT_NE(node.read("netmail/6.msg").find("=== y.zip"), std::string::npos);
  EXPECT_EQ(node.read("netmail/1.msg") + node.read("netmail/3.msg") + node.read("netmail/5.msg"),
            "onethree");
  EXPECT_EQ(entryCount(node, "netmail"), 5U);

  // A tosser's high-water mark in 1.msg (replyTo, offset 184) is passed too, and the gaps that
  // deleted messages leave below it are never filled.
  std::string mark(190, '\0');
  mark[184] = 40;
  node.write("netmail/1.msg", mark + std::string(1, '\0'));
  std::filesystem::remove(node.path("netmail/4.msg"));
  addFile(node, "z");
  node.run();
  EXPECT_NE(node.read("netmail/41.msg").find("=== z.zip"), std::string::npos);
  EXPECT_EQ(node.read("netmail/1.msg"), mark + std::string(1, '\0'));
  EXPECT_FALSE(node.exists("netmail/4.msg"));
}

// quenfar-msgdump shows each message it is given under its name, and says why one cannot be
// read.
TEST(AnnounceRun, MsgdumpShowsSeveralMessagesAndWhyOneCannotBeRead) {
  test::Node node;
  configure(node);
  addFile(node, "x");
  node.run();
  addFile(node, "y");
  node.run();
  std::filesystem::copy_file(QUENFAR_MSGDUMP, node.path("bin/quenfar"),
                             std::filesystem::copy_options::overwrite_existing);
  const test::RunResult shown = node.run("netmail", "2.msg missing.msg 3.msg");
  EXPECT_EQ(shown.exitCode, 1);
  EXPECT_EQ(shown.errors, "quenfar-msgdump: cannot read missing.msg: No such file or directory\n");
  const std::size_t first = shown.output.find("==> 2.msg <==\n");
  const std::size_t gone = shown.output.find("\n==> missing.msg <==\n\n==> 3.msg <==\n");
  EXPECT_EQ(first, 0U) << shown.output;
  ASSERT_NE(gone, std::string::npos) << shown.output;
  EXPECT_NE(shown.output.find("=== x.zip"), std::string::npos);
  EXPECT_GT(shown.output.find("=== y.zip"), gone);
  EXPECT_EQ(node.run("netmail", "3.msg").output.find("==>"), std::string::npos);
}

TEST(AnnounceRun, NoMessageWithoutNetmailDirOrWithoutTossedFiles) {
  test::Node plain;
  plain.writeStandardConfig("FTNAddress=2:5020/9999\nUserName=Sysop");
  addFile(plain, "x");
  plain.run();
  EXPECT_TRUE(plain.exists("files/FE_A/x.zip"));
  EXPECT_FALSE(plain.exists("netmail"));

  test::Node idle;
  configure(idle);
  idle.addTic("x.tic", "AREA FE_A\r\nFILE x.zip\r\n");  // its file never arrived
  idle.run();
  EXPECT_EQ(entryCount(idle, "netmail"), 0U);
}

}  // namespace
