#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One line of the events list.
struct EventEntry {
  std::string areaMask;
  std::string fileMask;
  std::string command;
};

// True when `text` fits `mask`, letter case ignored: "?" is any one character, "*" one or more
// characters and the end of the mask.
bool matchMask(std::string mask, std::string text);

// True when the file name fits the mask: the name parts (before the last ".") are tried first,
// then the extension parts; a name without a dot is tested against the whole mask.
bool matchFileMask(const std::string& mask, const std::string& fileName);

// The operator's events, loaded once per run, carried out for each tossed file.
class EventTable {
 public:
  // Reads the events list at `eventsFile`; no list named, or a missing or unreadable list,
  // gives an empty table. Flag files go to `flagsDir` (empty, or ending with a separator);
  // a command may run for `processTimeMs` milliseconds.
  EventTable(const std::string& eventsFile, std::string flagsDir, std::int32_t processTimeMs);

  // Carries out, in list order, every event whose masks accept the file. False when a command
  // was ended by a signal that the program did not send before it could finish.
  bool runEvents(const std::string& area, const std::string& fileName,
                 const std::string& destinationPath);

  const std::vector<EventEntry>& list() const { return entries; }

 private:
  // Carries out one event for one file: a flag file ("%FLG%name", keyword in any case), or a
  // command waited for up to the configured time. An empty command does nothing. Silent in
  // every outcome.
  // False when its command was ended by a signal that the program did not send.
  bool runAction(const EventEntry& entry, const std::string& fileName,
                 const std::string& destinationPath);

  std::string flagsDir;
  std::int32_t processTimeMs;
  std::vector<EventEntry> entries;
};
