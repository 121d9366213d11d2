#pragma once

#include <string>
#include <vector>

struct TossConfig;

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
  virtual ~EventTable();

  // Remembers the configuration and appends the events of its events list. A missing or
  // unreadable list leaves the table as it was.
  void load(const TossConfig* target);

  // Carries out, in list order, every event whose masks accept the file.
  void runEvents(const std::string& area, const std::string& fileName,
                 const std::string& destinationPath);

  // Carries out one event for one file: a flag file ("%FLG%name", keyword in any case), or a
  // command waited for up to the configured time. An empty command does nothing. Silent in
  // every outcome.
  void runAction(const EventEntry& entry, const std::string& fileName,
                 const std::string& destinationPath);

  const std::vector<EventEntry>& list() const { return entries; }

 private:
  const TossConfig* config = nullptr;
  std::vector<EventEntry> entries;
};
