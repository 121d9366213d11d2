// The stored announcement: its bytes, the address it is read from, and where it is stored.
#include "announce/announcer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>

#include "announce/ftn_address.h"
#include "platform/file.h"
#include "platform/system.h"
#include "tests/support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

constexpr std::int64_t kTime = 1700000000;  // 0x6553f100

std::string field(const std::string& text, std::size_t width) {
  std::string bytes = text;
  bytes.resize(width, '\0');
  return bytes;
}

// A netmail directory and an announcer that stores into it, begun by begin().
struct Netmail {
  test::TempDir dir;
  AnnounceSettings config;
  std::optional<Announcer> announcer;

  explicit Netmail(const std::string& address) {
    config.netmailDir = dir.path() + "/";
    config.ftnAddress = address;
    config.userName = "Sysop";
  }
  void begin(std::int64_t time) { announcer.emplace(config, time); }
  std::string post() {
    EXPECT_TRUE(store(*announcer));
    return test::readFile(dir / "2.msg");
  }
  // Stages and publishes, as a run does.
  static bool store(Announcer& message) { return message.stage() && message.publish(); }
};

TEST(Announcer, StoresTheWholeMessageByteForByte) {
  Netmail mail("2:5020/9999.1");
  test::writeFile(mail.dir / "x.zip", "data");
  mail.begin(kTime);
  mail.announcer->addFile({"FE_A", "x.zip", "First file", "2:5020/1", mail.dir / "x.zip"});
  // A file that cannot be opened gets no size line; an empty origin leaves its line bare.
  mail.announcer->addFile({"FE_B", "gone.zip", "", "", mail.dir / "gone.zip"});
  mail.announcer->addText("File proceded 2\r\n");

  // Net 5020 is 0x139c and node 9999 0x270f; the attribute is Private and Local.
  const std::string header =
      field("Quenfar Herald", 36) + field("Sysop", 36) +
      field(platform::formatLocalTime("Announce at %B %d, %Y", kTime), 72) +
      field(platform::formatLocalTime("%d %b %y  %H:%M:%S", kTime), 20) +
      std::string(
          "\0\0\x0f\x27\x0f\x27\0\0\x9c\x13\x9c\x13\x00\xf1\x53\x65\0\0\0\0\0\0\x01\x01\0\0", 26);
  const std::string block = "===========================\r\n\r\n";
  EXPECT_EQ(mail.post(),
            header +
                "\x01INTL 2:5020/9999 2:5020/9999\r\n\x01"
                "FMPT 1\r\n\x01TOPT 1\r\n"
                "\x01MSGID: 2:5020/9999.1 6553f100\r\n\r\n\r\n"
                "=== x.zip =================\r\nFileecho   : FE_A\r\n"
                "Description: First file\r\nFile size  : 4\r\nHatched by : 2:5020/1\r\n"
                "Full path  : " +
                mail.dir / "x.zip" + "\r\n" + block +
                "=== gone.zip ==============\r\nFileecho   : FE_B\r\nDescription: \r\n"
                "Hatched by : \r\nFull path  : " +
                mail.dir / "gone.zip" + "\r\n" + block + "File proceded 2\r\n" +
                std::string(1, '\0'));
}

TEST(AnnounceAddress, ReadsNumbersLikeScanfDecimalFields) {
  const std::pair<const char*, std::vector<int>> cases[] = {
      // zone, net, node, point, numbers read
      {" 2:\t5020/ +9999. 7 rest", {2, 5020, 9999, 7, 4}},
      {"2:5020/9999.", {2, 5020, 9999, 0, 3}},
      {"2 :5020/9999.1", {2, 0, 0, 0, 1}},
      {"2:-/1.1", {2, 0, 0, 0, 1}},
      {"-2:65536/4294967297.99999", {65534, 0, 1, 34463, 4}},
      {"99999999999999999999:1/1.1", {65535, 1, 1, 1, 4}},  // 1661992959 modulo 2^32
      {"zone", {0, 0, 0, 0, 0}},
  };
  for (const auto& [text, expected] : cases) {
    const FtnAddress a = parseFtnAddress(text);
    EXPECT_EQ(std::vector<int>({a.zone, a.net, a.node, a.point, a.numbersRead}), expected) << text;
  }
}

TEST(Announcer, ThreeNumberAddressAndHeadLinesOfLongNames) {
  Netmail mail("2:5020/9999");
  mail.begin(0x12345);
  const std::string name22 = "abcdefghijklmnopqrstuv";
  for (const std::string& name : {std::string("ABCD.ZIP"), name22, name22 + "wxyz0123"}) {
    mail.announcer->addFile({"A", name, "", "", ""});
  }
  const std::string message = mail.post();
  EXPECT_EQ(message.substr(190, 67),
            "\x01INTL 2:5020/9999 2:5020/9999\r\n\x01MSGID: 2:5020/9999.0    12345\r\n\r\n\r\n");
  for (const std::string& line :
       {"=== ABCD.ZIP " + std::string(14, '='), "=== " + name22 + " ", "=== " + name22 + "w"}) {
    EXPECT_NE(message.find("\r\n" + line + "\r\nFileecho"), std::string::npos) << line;
  }
}

TEST(Announcer, SizeLineShowsFilesOver4GiBAndIsLeftOutForHeldFiles) {
  Netmail mail("2:5020/9999");
  ASSERT_TRUE(platform::File::open(mail.dir / "big.iso", platform::OpenMode::updateNew)
                  .truncateTo(5ULL << 30));  // sparse: takes no room on the disk
  test::writeFile(mail.dir / "held.zip", "held");
  const auto held = platform::File::open(mail.dir / "held.zip", platform::OpenMode::readExisting);
  mail.begin(kTime);
  mail.announcer->addFile({"A", "big.iso", "", "", mail.dir / "big.iso"});
  mail.announcer->addFile({"A", "held.zip", "", "", mail.dir / "held.zip"});
  const std::string message = mail.post();
  EXPECT_NE(message.find("\r\nFile size  : 5368709120\r\n"), std::string::npos);
  EXPECT_NE(message.find("=== held.zip ==============\r\nFileecho   : A\r\n"
                         "Description: \r\nHatched by"),
            std::string::npos);
}

TEST(Announcer, MissingNetmailDirectoryIsNotCreated) {
  Netmail mail("2:5020/9999");
  mail.config.netmailDir = mail.dir / "absent/";
  mail.begin(kTime);
  EXPECT_FALSE(Netmail::store(*mail.announcer));
  EXPECT_FALSE(test::fileExists(mail.dir / "absent"));
}

// The body goes to the disk in pieces as it grows: a long message is stored whole and in
// order, a message that is never stored leaves nothing behind, and a full netmail numbering
// keeps no temporary file either.
TEST(Announcer, LongMessageIsStoredWholeAndUnstoredOnesLeaveNothing) {
  Netmail mail("2:5020/9999");
  mail.begin(kTime);
  const int count = 2000;  // some 300 KiB of blocks
  for (int i = 0; i < count; ++i) {
    mail.announcer->addFile({"AREA", "F" + std::to_string(i) + ".ZIP",
                             "Description " + std::to_string(i), "2:5020/1",
                             "/files/F" + std::to_string(i)});
  }
  mail.announcer->addText("File proceded " + std::to_string(count) + "\r\n");
  const std::string message = mail.post();
  ASSERT_GT(message.size(), 300000U);
  std::size_t at = 0;
  for (int i = 0; i < count; ++i) {
    const std::string head = "=== F" + std::to_string(i) + ".ZIP ";
    const std::size_t found = message.find(head, at);
    ASSERT_NE(found, std::string::npos) << i;
    EXPECT_EQ(message.compare(found + 27, 38, "\r\nFileecho   : AREA\r\nDescription: Desc"), 0)
        << i;
    at = found + head.size();
  }
  EXPECT_EQ(message.substr(message.size() - 21), "File proceded 2000\r\n" + std::string(1, '\0'));

  {
    Announcer unstored(mail.config, kTime);
    for (int i = 0; i < count; ++i) {
      unstored.addFile({"AREA", "G.ZIP", "", "", ""});
    }
    EXPECT_TRUE(unstored.stage().ok());
  }
  // Numbers only grow: with the highest one taken, nothing below it is filled in.
  test::writeFile(mail.dir / "99999999.msg", "");
  Announcer overflowing(mail.config, kTime);
  overflowing.addFile({"AREA", "H.ZIP", "", "", ""});
  // 1.msg is free, yet it is the high-water mark of the tossers and never a message.
  EXPECT_TRUE(overflowing.stage().ok());
  const platform::Status full = overflowing.publish();
  EXPECT_NE(full.text().find("99999999.msg"), std::string::npos) << full.text();
  EXPECT_FALSE(test::fileExists(mail.dir / "1.msg"));
  overflowing.discard();
  for (const auto& entry : fs::directory_iterator(mail.dir.path())) {
    EXPECT_TRUE(entry.path().extension() == ".msg") << entry.path();
  }
}

TEST(StoredMessage, NumbersOnlyPlainDecimalMsgNamesUpToEightDigits) {
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"1.msg", 1},         {"2.MSG", 2},  {"0042.Msg", 42}, {"99999999.msg", 99999999},
      {"100000000.msg", 0}, {".msg", 0},   {"2.msg~", 0},    {"2.txt", 0},
      {"-2.msg", 0},        {"2a.msg", 0}, {"x.msg", 0},     {"2 .msg", 0},
  };
  for (const auto& [name, number] : cases) {
    EXPECT_EQ(storedmsg::messageNumberOf(name), number) << name;
  }
}

}  // namespace
