#include "announce/announcer.h"

#include <optional>
#include <string_view>
#include <utility>

#include "announce/ftn_address.h"
#include "announce/stored_message.h"
#include "app/toss_config.h"
#include "platform/file.h"
#include "platform/move.h"
#include "platform/system.h"
#include "res/messages.h"

namespace {

constexpr std::uint32_t kFirstCapacity = 8192;
constexpr int kMaxMessageNumber = 999;
constexpr std::size_t kBlockWidth = 27;  // head and closing lines of a file's block
constexpr char kKludge = '\x01';         // starts each control line

static_assert(Announcer::kHeaderSize == storedmsg::kHeaderSize);

std::string zoneNetNode(const FtnAddress& a) {
  return std::to_string(a.zone) + ":" + std::to_string(a.net) + "/" + std::to_string(a.node);
}

// Lower-case hexadecimal, right-aligned in at least `width` columns with spaces, as "%8x".
std::string paddedHex(std::uint32_t value, std::size_t width) {
  std::string digits;
  do {
    digits.insert(digits.begin(), "0123456789abcdef"[value % 16]);
    value /= 16;
  } while (value != 0);
  if (digits.size() < width) {
    digits.insert(0, width - digits.size(), ' ');
  }
  return digits;
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

// Removes a temporary file when the scope is left, unless it was kept.
class TemporaryFileGuard {
 public:
  explicit TemporaryFileGuard(std::string filePath) : path(std::move(filePath)) {}
  ~TemporaryFileGuard() {
    if (!path.empty()) {
      platform::deleteFile(path);
    }
  }
  TemporaryFileGuard(const TemporaryFileGuard&) = delete;
  TemporaryFileGuard& operator=(const TemporaryFileGuard&) = delete;

  void keep() { path.clear(); }

 private:
  std::string path;
};

}  // namespace

Announcer::~Announcer() = default;

bool Announcer::active() const {
  return config != nullptr && !config->netmailDir.empty();
}

void Announcer::begin() {
  beginAt(platform::now());
}

void Announcer::beginAt(std::int64_t time) {
  if (!active()) {
    return;
  }
  body = std::make_unique<ByteBuffer>(kFirstCapacity);
  subject = platform::formatLocalTime(loadMessage(msg::kAnnounceSubject).c_str(), time);

  header.fill(0);
  // The field is 32 bits wide; times past 2106 keep their low bits.
  const auto created = static_cast<std::uint32_t>(time);
  storedmsg::putUint32(header, storedmsg::kCreationTime, created);
  storedmsg::putText(header, storedmsg::kDateTime,
                     platform::formatLocalTime("%d %b %y  %H:%M", time));

  // The message goes from this system to itself: both ends carry the same address.
  const FtnAddress address = parseFtnAddress(config->ftnAddress);
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
           paddedHex(created, 8) + "\r\n";
  lines += "\r\n\r\n";  // two empty lines part the control lines from the file blocks
  body->append(lines);
}

void Announcer::addFile(const AnnounceEntry& entry) {
  if (!active() || !body) {
    return;
  }
  std::string block = headLine(entry.fileName) + "\r\n";
  block += "Fileecho   : " + entry.area + "\r\n";
  block += "Description: " + entry.description + "\r\n";
  {
    // A file held elsewhere cannot be opened; its block simply has no size line.
    const platform::File file =
        platform::File::open(entry.destinationPath, platform::OpenMode::readExisting);
    const std::optional<std::uint64_t> size = file.size();
    if (file.isOpen() && size) {
      block += "File size  : " + std::to_string(*size) + "\r\n";
    }
  }
  block += "Hatched by : " + entry.origin + "\r\n";
  block += "Full path  : " + entry.destinationPath + "\r\n";
  block += std::string(kBlockWidth, '=') + "\r\n\r\n";
  body->append(block);
}

void Announcer::addText(const std::string& text) {
  if (!active() || !body) {
    return;
  }
  body->append(text);
}

void Announcer::post() {
  if (!active() || !body) {
    return;
  }
  const std::string userName =
      config->userName.empty() ? loadMessage(msg::kMailboxOwner) : config->userName;
  storedmsg::putText(header, storedmsg::kFromUserName, loadMessage(msg::kHerald));
  storedmsg::putText(header, storedmsg::kToUserName, userName);
  storedmsg::putText(header, storedmsg::kSubject, subject);
  storedmsg::putUint16(header, storedmsg::kAttribute, storedmsg::kPrivate | storedmsg::kLocal);
  const char terminator = '\0';
  body->append(&terminator, 1);
  store();
  body.reset();
}

bool Announcer::store() const {
  const std::string& directory = config->netmailDir;
  int number = 1;
  while (number <= kMaxMessageNumber && platform::exists(messagePath(directory, number))) {
    ++number;
  }
  if (number > kMaxMessageNumber) {
    return false;
  }

  // The message is complete on disk before it gets its name, so a mail tosser scanning the
  // directory never picks up half a message.
  std::string temporaryPath;
  platform::File file = platform::File::createTemporary(directory, temporaryPath);
  if (!file.isOpen()) {
    return false;
  }
  TemporaryFileGuard guard(temporaryPath);
  // A temporary file is private to its creator; a message must be readable like any new file.
  file.setNewFilePermissions();
  if (!file.write(header.data(), header.size()) || !file.write(body->view()) || !file.sync() ||
      !file.close()) {
    return false;
  }

  // Another program may take a number between the check and the rename; the rename never
  // replaces, so such a number is simply passed over.
  for (; number <= kMaxMessageNumber; ++number) {
    const std::string path = messagePath(directory, number);
    if (!platform::exists(path) && platform::renameNoReplace(temporaryPath, path)) {
      guard.keep();
      return true;
    }
  }
  return false;
}
