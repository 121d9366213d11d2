#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/process.h"

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

// Says in words what text a mask accepts, for the sysop: "NODELIST", "anything", "FE_
// followed by anything" (a star takes one or more characters, and the mask ends there),
// "N?DE (? being any one character)", "nothing but an empty text". Letter case is ignored.
std::string describeMask(const std::string& mask);

// Says in words which areas and files an event accepts and what it does: "area NODELIST;
// files whose name is NODELIST or whose extension is anything; runs nlupd.sh". Flag files are
// named in `flagsDir`.
std::string describeEvent(const EventEntry& entry, const std::string& flagsDir);

// Returns the lines of the events list at `eventsFile`, in list order; no list named, or a
// missing or unreadable list, gives none.
std::vector<EventEntry> readEventList(const std::string& eventsFile);

// Where the events tell how their commands went. `warning` takes what the sysop must see (a
// command that could not be started or was stopped at its time limit), `note` what the log
// alone keeps (a command that ended with a status other than 0). Either may be empty.
struct EventReports {
  std::function<void(const std::string&)> warning;
  std::function<void(const std::string&)> note;
};

// How the events of one file went.
struct EventsOutcome {
  bool interrupted = false;  // a command was ended by a signal that the program did not send
  bool troubled = false;     // a command could not be started, or was stopped at its limit
};

// The operator's events, loaded once per run, carried out for each tossed file.
class EventTable {
 public:
  // Reads the events list at `eventsFile` (see readEventList). Flag files go to `flagsDir` (empty,
  // or ending with a separator); a command may run for `processTimeMs` milliseconds. What the
  // commands do is told to `reports`.
  EventTable(const std::string& eventsFile, std::string flagsDir, std::int32_t processTimeMs,
             EventReports reports = {});

  // Carries out, in list order, every event whose masks accept the file, and says how they
  // went: a "Warning: event command for NAME ..." line for each command that could not be
  // started or was stopped at its time limit, a log line for each other status but 0.
  EventsOutcome runEvents(const std::string& area, const std::string& fileName,
                          const std::string& destinationPath);

  // True once a command of this table could not be started or was stopped at its limit.
  bool anyTroubled() const { return troubled; }

  const std::vector<EventEntry>& list() const { return entries; }

 private:
  // Carries out one event for one file: a flag file ("%FLG%name", keyword in any case), or a
  // command waited for up to the configured time, whose outcome it reports and adds to
  // `outcome`. An empty command does nothing.
  void runAction(const EventEntry& entry, const std::string& fileName,
                 const std::string& destinationPath, EventsOutcome& outcome);
  // Tells how a command went that did not end with status 0.
  void report(const platform::RunResult& result, const std::string& command,
              const std::string& fileName, EventsOutcome& outcome) const;

  std::string flagsDir;
  std::int32_t processTimeMs;
  EventReports reports;
  std::vector<EventEntry> entries;
  bool troubled = false;
};
