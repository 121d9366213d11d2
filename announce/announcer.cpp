#include "announce/announcer.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>
#include <utility>

#include "announce/ftn_address.h"
#include "announce/stored_message.h"
#include "platform/directory.h"
#include "platform/durability.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/system.h"
#include "res/messages.h"
#include "util/text.h"

namespace {

// The body goes to the temporary file in pieces of about this size.
constexpr std::size_t kWriteSize = std::size_t{64} << 10;
constexpr std::uint32_t kHighWaterNumber = 1;  // 1.msg: the tossers' high-water mark
constexpr std::size_t kBlockWidth = 27;        // head and closing lines of a file's block
constexpr char kKludge = '\x01';               // starts each control line

std::string zoneNetNode(const FtnAddress& a) {
  return std::to_string(a.zone) + ":" + std::to_string(a.net) + "/" + std::to_string(a.node);
}

// "=== name " then "=" up to the block width; a long name is cut so the line keeps its width.
std::string headLine(const std::string& fileName) {
  std::string line = "=== " + fileName + " ";
  line.resize(kBlockWidth, '=');
  return line;
}

std::string messagePath(const std::string& directory, std::uint32_t number) {
  return directory + std::to_string(number) + ".msg";
}

// The high-water mark that a *.msg tosser keeps in 1.msg: the number of the last message it
// has scanned, in the header's replyTo field. 0 when there is no 1.msg or it is too short to
// hold one.
std::uint32_t highWaterMark(const std::string& directory) {
  const platform::Result<std::string> first =
      platform::readWholeFile(messagePath(directory, kHighWaterNumber), platform::kHoldWait);
  if (!first || first->size() < storedmsg::kHeaderSize) {
    return 0;
  }
  return storedmsg::getUint16(*first, storedmsg::kReplyTo);
}

// The number for a new message: one above every numbered message of the directory and above
// the high-water mark, so that a tosser that exports only what lies above its mark never
// passes it over. A gap below (a message deleted) is never filled.
std::uint32_t nextMessageNumber(const std::string& directory) {
  std::uint32_t highest = std::max(kHighWaterNumber, highWaterMark(directory));
  platform::DirectorySearch search(directory);
  std::string name;
  while (search.next(name)) {
    highest = std::max(highest, storedmsg::messageNumberOf(name));
  }
  return highest + 1;
}

}  // namespace

Announcer::Announcer(const AnnounceSettings& settings, std::int64_t time)
    : enabled(!settings.netmailDir.empty()),
      netmailDir(settings.netmailDir),
      userName(settings.userName) {
  if (!enabled) {
    return;
  }
  body.reserve(kWriteSize + 4096);
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
  body.append(lines);
}

Announcer::~Announcer() {
  discard();
}

void Announcer::addFile(const AnnounceEntry& entry) {
  if (!enabled || staged) {
    return;
  }
  std::optional<std::uint64_t> size = entry.size;
  if (!size) {
    // A file held elsewhere cannot be opened; its block simply has no size line.
    const platform::File placed =
        platform::File::open(entry.destinationPath, platform::OpenMode::readExisting);
    if (placed.isOpen()) {
      size = placed.openedStamp().size;
    }
  }
  std::string& block = body;
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
  if (body.size() >= kWriteSize) {
    writeOut();
  }
}

void Announcer::addText(std::string_view text) {
  if (!enabled || staged) {
    return;
  }
  body.append(text);
  if (body.size() >= kWriteSize) {
    writeOut();
  }
}

void Announcer::writeOut() {
  if (finished) {
    body.clear();
    return;
  }
  if (!stagedFile.isOpen()) {
    // The header's place is kept; it is written once the message is complete. A message file
    // gets the permission bits of any new file.
    stagedFile = platform::File::createTemporary(netmailDir, temporaryPath);
    writing = stagedFile.why();
    if (writing) {
      writing = stagedFile.setNewFilePermissions();
    }
    if (writing) {
      writing = stagedFile.write(std::string(storedmsg::kHeaderSize, '\0'));
    }
  }
  if (writing) {
    writing = stagedFile.write(body);
  }
  finished = !writing;
  body.clear();
}

void Announcer::discard() {
  stagedFile.close().ignore();
  if (!temporaryPath.empty()) {
    platform::deleteFile(temporaryPath).ignore();
    temporaryPath.clear();
  }
  finished = true;
}

platform::Status Announcer::stage() {
  if (!enabled || staged) {
    return platform::Status::refused("there is nothing to stage");
  }
  staged = true;
  const std::string toName = userName.empty() ? loadMessage(msg::kMailboxOwner) : userName;
  storedmsg::putText(header, storedmsg::kFromUserName, loadMessage(msg::kHerald));
  storedmsg::putText(header, storedmsg::kToUserName, toName);
  storedmsg::putText(header, storedmsg::kSubject, subject);
  storedmsg::putUint16(header, storedmsg::kAttribute, storedmsg::kPrivate | storedmsg::kLocal);
  body.push_back('\0');
  writeOut();
  const std::string_view headerBytes(reinterpret_cast<const char*>(header.data()), header.size());
  if (writing) {
    writing = stagedFile.writeAt(0, headerBytes);
  }
  if (!writing) {
    const platform::Status cause = writing;
    discard();
    return cause;
  }
  return {};
}

platform::Status Announcer::publish(bool contentsOnDisk) {
  if (!staged || !writing || !stagedFile.isOpen()) {
    return writing ? platform::Status::refused("it was not staged") : writing;
  }
  // The message is complete on disk before it gets its name, so a mail tosser scanning the
  // directory never picks up half a message; the name is taken only while it is free, so a
  // number that another program takes meanwhile is simply passed over.
  platform::Status stored = contentsOnDisk ? platform::Status() : stagedFile.sync();
  if (!stored) {
    return stored;
  }
  for (std::uint32_t candidate = nextMessageNumber(netmailDir);
       candidate <= storedmsg::kHighestMessageNumber; ++candidate) {
    const std::string path = messagePath(netmailDir, candidate);
    if (platform::exists(path)) {
      continue;
    }
    stored = platform::nameTemporary(stagedFile, temporaryPath, path);
    if (stored) {
      stagedFile.close().ignore();
      temporaryPath.clear();
      finished = true;
      return {};
    }
    if (!platform::exists(path)) {
      return stored;
    }
    // Taken meanwhile: the next number is tried.
  }
  return platform::Status::refused(
      "the messages are numbered up to 99999999.msg, the highest number there is; renumber "
      "them from 2 (or move them away) and set the high-water mark of 1.msg to match");
}
