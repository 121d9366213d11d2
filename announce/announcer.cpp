#include "announce/announcer.h"

#include <optional>
#include <string_view>
#include <utility>

#include "announce/ftn_address.h"
#include "announce/stored_message.h"
#include "platform/file.h"
#include "platform/move.h"
#include "platform/system.h"
#include "res/messages.h"
#include "util/text.h"

namespace {

constexpr std::size_t kFirstCapacity = std::size_t{8} << 20;
constexpr int kMaxMessageNumber = 999;
constexpr std::size_t kBlockWidth = 27;  // head and closing lines of a file's block
constexpr char kKludge = '\x01';         // starts each control line

std::string zoneNetNode(const FtnAddress& a) {
  return std::to_string(a.zone) + ":" + std::to_string(a.net) + "/" + std::to_string(a.node);
}

// "=== name " then "=" up to the block width; a long name is cut so the line keeps its width.
std::string headLine(const std::string& fileName) {
  std::string line = "=== " + fileName + " ";
  line.resize(kBlockWidth, '=');
  return line;
}

std::string messagePath(const std::string& directory, int number) {
  return directory + std::to_string(number) + ".msg";
}

}  // namespace

Announcer::Announcer(const TossConfig& settings, std::int64_t time)
    : netmailDir(settings.netmailDir), userName(settings.userName) {
  if (netmailDir.empty()) {
    return;
  }
  // Room for the blocks of some tens of thousands of files is set aside at once. Memory that
  // is never written costs nothing, and a body that does not move while it grows is not copied
  // and touched again; a larger one grows by doubling.
  body = std::make_unique<std::string>();
  body->reserve(kFirstCapacity);
  subject = platform::formatLocalTime(loadMessage(msg::kAnnounceSubject).c_str(), time);

  header.fill(0);
  // The field is 32 bits wide; times past 2106 keep their low bits.
  const auto created = static_cast<std::uint32_t>(time);
  storedmsg::putUint32(header, storedmsg::kCreationTime, created);
  storedmsg::putText(header, storedmsg::kDateTime,
                     platform::formatLocalTime("%d %b %y  %H:%M:%S", time));

  // The message goes from this system to itself: both ends carry the same address.
  const FtnAddress address = parseFtnAddress(settings.ftnAddress);
  storedmsg::putUint16(header, storedmsg::kDestNode, address.node);
  storedmsg::putUint16(header, storedmsg::kOrigNode, address.node);
  storedmsg::putUint16(header, storedmsg::kOrigNet, address.net);
  storedmsg::putUint16(header, storedmsg::kDestNet, address.net);

  // Zone and point have no place in the header; the control lines carry them.
  const std::string kludge(1, kKludge);
  std::string lines = kludge + "INTL " + zoneNetNode(address) + " " + zoneNetNode(address) + "\r\n";
  if (address.complete()) {
    const std::string point = std::to_string(address.point);
    lines += kludge + "FMPT " + point + "\r\n" + kludge + "TOPT " + point + "\r\n";
  }
  lines += kludge + "MSGID: " + zoneNetNode(address) + "." + std::to_string(address.point) + " " +
           toHex(created, 8, ' ') + "\r\n";
  lines += "\r\n\r\n";  // two empty lines part the control lines from the file blocks
  body->append(lines);
}

void Announcer::addFile(const AnnounceEntry& entry) {
  if (!body) {
    return;
  }
  std::optional<std::uint64_t> size = entry.size;
  if (!size) {
    // A file held elsewhere cannot be opened; its block simply has no size line.
    const platform::File file =
        platform::File::open(entry.destinationPath, platform::OpenMode::readExisting);
    if (file.isOpen()) {
      size = file.openedStamp().size;
    }
  }
  std::string& block = *body;
  block += headLine(entry.fileName);
  block += "\r\nFileecho   : ";
  block += entry.area;
  block += "\r\nDescription: ";
  block += entry.description;
  if (size) {
    block += "\r\nFile size  : ";
    block += std::to_string(*size);
  }
  block += "\r\nHatched by : ";
  block += entry.origin;
  block += "\r\nFull path  : ";
  block += entry.destinationPath;
  block += "\r\n";
  block.append(kBlockWidth, '=');
  block += "\r\n\r\n";
  ++files;
}

void Announcer::addText(std::string_view text) {
  if (!body) {
    return;
  }
  body->append(text);
}

bool Announcer::post() {
  if (!body) {
    return false;
  }
  const std::string toName = userName.empty() ? loadMessage(msg::kMailboxOwner) : userName;
  storedmsg::putText(header, storedmsg::kFromUserName, loadMessage(msg::kHerald));
  storedmsg::putText(header, storedmsg::kToUserName, toName);
  storedmsg::putText(header, storedmsg::kSubject, subject);
  storedmsg::putUint16(header, storedmsg::kAttribute, storedmsg::kPrivate | storedmsg::kLocal);
  body->push_back('\0');
  const bool stored = store();
  body.reset();
  return stored;
}

bool Announcer::store() const {
  // The message is complete on disk before it gets its name, so a mail tosser scanning the
  // directory never picks up half a message; the name is taken only while it is free, so a
  // number that another program takes meanwhile is simply passed over.
  const auto write = [this](platform::File& file) {
    return file.write(header.data(), header.size()) && file.write(*body);
  };
  for (int number = 1; number <= kMaxMessageNumber; ++number) {
    const std::string path = messagePath(netmailDir, number);
    if (platform::exists(path)) {
      continue;
    }
    if (platform::writeWhole(path, platform::WriteMode::createOnly, write)) {
      return true;
    }
    if (!platform::exists(path)) {
      return false;  // the number is still free: the write itself failed
    }
  }
  return false;
}
