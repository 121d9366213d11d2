#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "announce/announce_entry.h"
#include "announce/stored_message.h"
#include "platform/file.h"
#include "platform/status.h"

// What the announcement takes from the settings.
struct AnnounceSettings {
  std::string netmailDir;  // ends with a separator; no announcement when empty
  std::string ftnAddress;  // from and to
  std::string userName;    // to; the mailbox owner when empty
};

// Collects the netmail message that lists the files tossed in a run, and stores it as the
// "%d.msg" of the netmail directory numbered one above every numbered message there and above
// the high-water mark that 1.msg holds (the mail tossers' own, never written here). The body is
// written as it grows to a temporary file of that directory, so memory does not grow with the run.
// Without a netmail directory every operation does nothing.
class Announcer {
 public:
  // Starts the message of a run dated `time` (seconds since 1970-01-01 00:00:00 UTC): header
  // fields and control lines, addressed from and to the settings' FTN address.
  Announcer(const AnnounceSettings& settings, std::int64_t time);
  // A message begun and never stored leaves no temporary file behind.
  ~Announcer();
  Announcer(const Announcer&) = delete;
  Announcer& operator=(const Announcer&) = delete;

  // True when there is a netmail directory to store the message in.
  bool active() const { return enabled; }

  // Appends the block of one tossed file.
  void addFile(const AnnounceEntry& entry);

  // Appends the bytes of `text` to the body.
  void addText(std::string_view text);

  // The number of file blocks in the message so far.
  std::int32_t fileCount() const { return files; }

  // Completes the header, ends the body with a zero byte and writes the whole message to its
  // temporary file, which is not yet synced: a flush of the netmail directory's file system
  // puts it on the disk together with the rest of the run. Fails, with the cause, when the
  // message cannot be written; the temporary file is then gone.
  platform::Status stage();

  // The temporary file of a staged message: while it exists under this path, the message has
  // not been given its name.
  const std::string& stagedPath() const { return temporaryPath; }

  // Syncs the staged message (nothing is left to write after such a flush), unless
  // `contentsOnDisk` says that a flush since it was staged did so, and gives it the number one
  // above the highest numbered message and the high-water mark of 1.msg, never over an
  // existing entry and never above 99999999. The name itself is not flushed: the caller does
  // that before it lets go of what the message announces. On failure, with the cause, the
  // temporary file stays until discard().
  platform::Status publish(bool contentsOnDisk = false);

  // Gives up a message that is not stored: its temporary file is deleted.
  void discard();

 private:
  // Writes what the body holds so far to the temporary file, creating it first.
  void writeOut();

  bool enabled = false;
  bool finished = false;     // stored, or cannot be: nothing more goes to the temporary file
  platform::Status writing;  // how writing the temporary file went
  bool staged = false;
  std::string netmailDir;
  std::string userName;
  std::string subject;
  std::array<unsigned char, storedmsg::kHeaderSize> header{};
  std::string body;  // what is not yet in the temporary file
  platform::File stagedFile;
  std::string temporaryPath;
  std::int32_t files = 0;
};
