#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "announce/announce_entry.h"
#include "util/byte_buffer.h"

struct TossConfig;

// Collects the netmail message that lists the files tossed in a run, and stores it as the
// lowest free "%d.msg" of the netmail directory. Without a netmail directory every operation
// does nothing. Nothing is ever reported.
class Announcer {
 public:
  static constexpr std::size_t kHeaderSize = 190;

  virtual ~Announcer();

  void setConfig(const TossConfig* target) { config = target; }

  // Starts a new message: header fields and control lines, dated now.
  void begin();
  // As begin(), dated `time` (seconds since 1970-01-01 00:00:00 UTC).
  void beginAt(std::int64_t time);

  // Appends the block of one tossed file.
  void addFile(const AnnounceEntry& entry);

  // Appends the bytes of `text` to the body.
  void addText(const std::string& text);

  // Completes the header, ends the body with a zero byte and stores the message under the
  // lowest free number from 1 to 999, never over an existing entry and never half-written;
  // releases the body. A missing netmail directory stores nothing.
  void post();

 private:
  bool active() const;
  // Writes header and body to a temporary file in the netmail directory and renames it to the
  // lowest free "%d.msg". False, with the temporary file removed, when nothing was stored.
  bool store() const;

  std::string subject;
  std::array<unsigned char, kHeaderSize> header{};
  const TossConfig* config = nullptr;
  std::unique_ptr<ByteBuffer> body;
};
