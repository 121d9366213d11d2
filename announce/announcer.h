#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "announce/announce_entry.h"
#include "announce/stored_message.h"
#include "util/toss_config.h"

// Collects the netmail message that lists the files tossed in a run, and stores it as the
// lowest free "%d.msg" of the netmail directory. Without a netmail directory every operation
// does nothing.
class Announcer {
 public:
  // Starts the message of a run dated `time` (seconds since 1970-01-01 00:00:00 UTC): header
  // fields and control lines, addressed from and to the settings' FTN address.
  Announcer(const TossConfig& settings, std::int64_t time);

  // True when there is a netmail directory to store the message in.
  bool active() const { return body != nullptr; }

  // Appends the block of one tossed file.
  void addFile(const AnnounceEntry& entry);

  // Appends the bytes of `text` to the body.
  void addText(std::string_view text);

  // The number of file blocks in the message so far.
  std::int32_t fileCount() const { return files; }

  // Completes the header, ends the body with a zero byte and stores the message under the
  // lowest free number from 1 to 999, never over an existing entry and never half-written;
  // releases the body. A missing netmail directory stores nothing. True when stored.
  bool post();

 private:
  // Writes header and body to a temporary file in the netmail directory and renames it to the
  // lowest free "%d.msg". False, with the temporary file removed, when nothing was stored.
  bool store() const;

  std::string netmailDir;
  std::string userName;
  std::string subject;
  std::array<unsigned char, storedmsg::kHeaderSize> header{};
  std::unique_ptr<std::string> body;  // none without a netmail directory
  std::int32_t files = 0;
};
