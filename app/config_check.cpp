#include "app/config_check.h"

#include <algorithm>
#include <set>
#include <utility>

#include "announce/ftn_address.h"
#include "announce/stored_message.h"
#include "app/arrival_report.h"
#include "events/event_table.h"
#include "platform/directory.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/process.h"
#include "platform/status.h"
#include "platform/system.h"
#include "res/messages.h"
#include "tic/area_path_map.h"
#include "util/paths.h"

namespace {

// What a missing directory means for the run.
enum class Missing {
  created,        // the run creates it with its missing levels
  createdBelow,   // the run creates it with the first area directory below it
  alreadyWarned,  // the run needs it, and checkSurroundings warns about it
  warn,           // the run needs it: a warning of its own
};

// A place that the run writes.
struct WrittenPlace {
  std::string role;         // "inbound directory", "directory of area NODELIST", ...
  std::string path;         // empty: the current directory
  Missing missing;          // what a missing one means
  std::string consequence;  // said when it is missing and not created
};

std::string shown(const std::string& path) {
  return path.empty() ? std::string("(the current directory)") : path;
}

// Where makeDirectoryPath would make the missing directory `path`: the existing directory
// that its first missing level goes into (empty for the current directory). Fails with why the
// run cannot make it: that directory is missing too (the first level of a relative path is
// never made), is no directory, or this user cannot write it.
platform::Status whereMade(const std::string& path, std::string& parent) {
  for (const std::string& level : directoryLevels(path)) {
    if (platform::exists(level)) {
      continue;
    }
    const std::size_t last = level.rfind(platform::kSeparator);
    parent = last == std::string::npos ? std::string() : level.substr(0, last == 0 ? 1 : last);
    if (!parent.empty() && !platform::exists(parent)) {
      return platform::Status::refused(
          "it does not exist, and the run never makes the first level of a path: make it, "
          "or give an absolute path");
    }
    if (!parent.empty() && !platform::isDirectory(parent)) {
      return platform::Status::refused("Not a directory");
    }
    return platform::checkWritable(parent);
  }
  parent = path;
  return platform::Status::refused("Not a directory");
}

std::string byUser() {
  const std::string user = platform::runningUserName();
  return user.empty() ? std::string("by this user") : "by " + user;
}

// Says whether this user can write the place; adds a warning when the run would fail there.
std::string checkPlace(const WrittenPlace& place, std::vector<std::string>& warnings) {
  const platform::Status writable = platform::checkWritable(place.path);
  if (writable.ok()) {
    return "writable";
  }
  if (!platform::exists(place.path)) {
    if (place.missing == Missing::created || place.missing == Missing::createdBelow) {
      // The Fileecho directory itself is never made: its levels are made with an area's.
      const std::string madeAs = place.missing == Missing::created
                                     ? place.path
                                     : withTrailingBackslash(place.path) + "AREA";
      std::string parent;
      const platform::Status made = whereMade(madeAs, parent);
      if (made) {
        return "does not exist yet; the run creates it in " + shown(parent);
      }
      warnings.push_back("Warning: the " + place.role + " " + place.path + " cannot be created " +
                         byUser() + ": " + shown(parent) + ": " + made.text());
      return "cannot be created: " + shown(parent) + ": " + made.text();
    }
    if (place.missing == Missing::warn) {
      warnings.push_back("Warning: the " + place.role + " " + place.path + " does not exist; " +
                         place.consequence);
    }
    return "does not exist";
  }
  warnings.push_back("Warning: the " + place.role + " " + shown(place.path) + " is not writable " +
                     byUser() + ": " + writable.text());
  return "not writable: " + writable.text();
}

}  // namespace

platform::Status configurationStop(const TossConfig& settings) {
  if (settings.inboundDir.empty()) {
    return platform::Status::refused(loadMessage(msg::kNoInbound));
  }
  if (settings.fileechoDir.empty()) {
    return platform::Status::refused(loadMessage(msg::kNoFileecho));
  }
  if (!settings.netmailDir.empty() && settings.ftnAddress.empty()) {
    return platform::Status::refused(loadMessage(msg::kNoFtnAddress));
  }
  return {};
}

std::string stopLine(const platform::Status& stop, const std::string& configPath) {
  return "Error: " + stop.text() + " (" + configPath + ")";
}

void checkSurroundings(const TossConfig& settings, std::vector<std::string>& warnings) {
  if (!platform::isDirectory(settings.inboundDir)) {
    warnings.push_back("Warning: the inbound directory " + settings.inboundDir + " does not exist");
  } else {
    // A run as another user (root, most often) leaves directories, lists and messages that the
    // node's own user cannot change, and its next runs fail on them.
    if (const auto users = platform::foreignOwner(settings.inboundDir)) {
      warnings.push_back("Warning: running as " + users->runningUser +
                         ", but the inbound directory " + settings.inboundDir + " belongs to " +
                         users->owner + "; what this run creates will belong to " +
                         users->runningUser);
    }
  }
  if (!settings.netmailDir.empty() && !platform::isDirectory(settings.netmailDir)) {
    warnings.push_back("Warning: the netmail directory " + settings.netmailDir +
                       " does not exist; no announcement is stored");
  }
  if (!settings.ftnAddress.empty() && !isFtnAddress(settings.ftnAddress)) {
    warnings.push_back("Warning: FTNAddress " + settings.ftnAddress +
                       " does not read as zone:net/node[.point]");
  }
}

namespace {

void reportSettings(const ConfigReading& reading, std::ostream& out) {
  out << "Configuration file: " << reading.path << (reading.readable ? "" : " (not read)")
      << "\n\nSettings in effect:\n";
  std::size_t width = 0;
  for (const SettingInEffect& setting : reading.inEffect) {
    width = std::max(width, setting.key.size());
  }
  std::string section;
  for (const SettingInEffect& setting : reading.inEffect) {
    if (setting.section != section) {
      section = setting.section;
      out << "  [" << section << "]\n";
    }
    out << "    " << setting.key << std::string(width - setting.key.size(), ' ') << " = "
        << setting.value << (setting.fromFile ? "  (from the file)" : "  (default)") << '\n';
  }
}

const char* entries(std::size_t count) {
  return count == 1 ? " entry\n" : " entries\n";
}

// Reports each event line with what it accepts and does, in words, and warns of a command
// whose program the interpreter cannot find.
void reportEvents(const std::vector<EventEntry>& events, const std::string& flagsDir,
                  std::ostream& out, std::vector<std::string>& warnings) {
  for (const EventEntry& entry : events) {
    out << "    " << entry.areaMask << ' ' << entry.fileMask << ' ' << entry.command << "\n      "
        << describeEvent(entry, flagsDir) << '\n';
    if (entry.command.empty() || entry.command.front() == '%') {
      continue;
    }
    if (const platform::Status found = platform::checkCommandFound(entry.command); !found) {
      warnings.push_back("Warning: the event command " + entry.command + " cannot be started: " +
                         found.text() + "; each run for such a file ends with exit status 3");
    }
  }
}

// Reports the two lists with their entry counts and the events in words; returns the areas
// that the area list names (tag and directory).
std::vector<std::pair<std::string, std::string>> reportLists(const TossConfig& settings,
                                                             std::ostream& out,
                                                             std::vector<std::string>& warnings) {
  out << "\nLists:\n";
  std::vector<std::pair<std::string, std::string>> areas;
  if (settings.areaPathFile.empty()) {
    out << "  Area list (AreaPath)  none named\n";
  } else if (const auto text =
                 platform::readWholeFile(settings.areaPathFile, platform::kHoldWait)) {
    AreaPathMap map;
    map.parse(*text);
    for (const auto& [tag, directory] : map.list()) {
      // A tag whose directory is empty serves nothing: its files go into Fileecho.
      if (!directory.empty()) {
        areas.emplace_back(tag, directory);
      }
    }
    out << "  Area list (AreaPath)  " << settings.areaPathFile << ": " << areas.size()
        << entries(areas.size());
  } else {
    out << "  Area list (AreaPath)  " << settings.areaPathFile << ": cannot be read\n";
  }
  if (settings.eventsFile.empty()) {
    out << "  Events list (Events)  none named\n";
  } else if (platform::checkReadableFile(settings.eventsFile).ok()) {
    const std::vector<EventEntry> events = readEventList(settings.eventsFile);
    out << "  Events list (Events)  " << settings.eventsFile << ": " << events.size()
        << entries(events.size());
    reportEvents(events, settings.flagsDir, out, warnings);
  } else {
    out << "  Events list (Events)  " << settings.eventsFile << ": cannot be read\n";
  }
  return areas;
}

// Says what becomes of descriptions: cut by DescFilter, or kept whole.
void reportDescriptions(const TossConfig& settings, std::ostream& out) {
  out << "\nDescriptions: ";
  if (settings.descFilter) {
    out << "DescFilter is on: each description is cut at its first byte 1-31 or 176-223\n"
           "  (CP866 box drawing, but also most letters of Latin-1, CP1251 and UTF-8) or at\n"
           "  one of $#%^*@~`'|/\\_ (so \"Sysop's toolbox\" becomes \"Sysop\"). Meant for lists\n"
           "  read in CP866; DescFilter = NO keeps descriptions whole.\n";
  } else {
    out << "DescFilter is off: descriptions are kept whole.\n";
  }
}

// Every place a run of these settings writes to.
std::vector<WrittenPlace> placesWritten(
    const TossConfig& settings, const std::vector<std::pair<std::string, std::string>>& areas) {
  std::vector<WrittenPlace> places;
  places.push_back({"inbound directory", settings.inboundDir, Missing::alreadyWarned, ""});
  places.push_back({"Fileecho directory", settings.fileechoDir, Missing::createdBelow, ""});
  for (const auto& [tag, directory] : areas) {
    places.push_back({"directory of area " + tag, directory, Missing::created, ""});
  }
  if (!settings.ticDir.empty()) {
    places.push_back({"TIC directory", settings.ticDir, Missing::created, ""});
  }
  if (!settings.flagsDir.empty()) {
    places.push_back({"flags directory", settings.flagsDir, Missing::warn, "no flag file is made"});
  }
  if (!settings.netmailDir.empty()) {
    places.push_back({"netmail directory", settings.netmailDir, Missing::alreadyWarned, ""});
  }
  if (!settings.logFile.empty()) {
    if (platform::exists(settings.logFile)) {
      places.push_back({"log file", settings.logFile, Missing::warn, ""});
    } else {
      places.push_back({"log directory", platform::directoryOf(settings.logFile), Missing::warn,
                        "the run goes without a log"});
    }
  }
  return places;
}

}  // namespace

namespace {

std::string withoutTrailingSeparators(std::string path) {
  while (path.size() > 1 && path.back() == platform::kSeparator) {
    path.pop_back();
  }
  return path;
}

// Counts the entries of one kind that this user cannot write, and warns of each of the first
// few with its owner: a run fails on every one of them.
class Unwritable {
 public:
  Unwritable(std::string kindName, std::string kindPlural, std::vector<std::string>& warningLines)
      : kind(std::move(kindName)), plural(std::move(kindPlural)), warnings(warningLines) {}

  void check(const std::string& path) {
    ++seen;
    const platform::Status writable = platform::checkWritable(path);
    if (writable) {
      return;
    }
    if (++failed <= kShownEach) {
      std::string line = "Warning: the " + kind + " " + path + " is not writable " + byUser() +
                         ": " + writable.text();
      if (const auto users = platform::foreignOwner(path)) {
        line += "; it belongs to " + users->owner;
      }
      warnings.push_back(line);
    }
  }

  // "3 area directories" and how many of them cannot be written; warns of those not shown.
  std::string summary() const {
    if (failed > kShownEach) {
      warnings.push_back("Warning: " + std::to_string(failed - kShownEach) + " more " + plural +
                         " are not writable " + byUser());
    }
    std::string text = std::to_string(seen) + " " + (seen == 1 ? kind : plural);
    return failed == 0 ? text : text + " (" + std::to_string(failed) + " not writable)";
  }

 private:
  static constexpr std::size_t kShownEach = 10;
  std::string kind;
  std::string plural;
  std::vector<std::string>& warnings;
  std::size_t seen = 0;
  std::size_t failed = 0;
};

// Walks what earlier runs left: the area directories that exist (those of the area list and
// those in Fileecho), their description lists and the numbered messages of the netmail
// directory. A run as another user (root, most often) leaves them to that user, and the next
// run fails on them.
void reportExisting(const TossConfig& settings,
                    const std::vector<std::pair<std::string, std::string>>& areas,
                    std::ostream& out, std::vector<std::string>& warnings) {
  std::set<std::string> directories;
  for (const auto& [tag, directory] : areas) {
    if (platform::isDirectory(directory)) {
      directories.insert(withoutTrailingSeparators(directory));
    }
  }
  const std::string fileecho = withTrailingBackslash(settings.fileechoDir);
  platform::DirectorySearch areaSearch(settings.fileechoDir);
  std::string name;
  while (areaSearch.next(name)) {
    if (platform::isDirectory(fileecho + name)) {
      directories.insert(fileecho + name);
    }
  }
  Unwritable areaDirectories("area directory", "area directories", warnings);
  Unwritable lists("description list", "description lists", warnings);
  Unwritable messages("numbered message", "numbered messages", warnings);
  for (const std::string& directory : directories) {
    areaDirectories.check(directory);
    const std::string list = directory + platform::kSeparator + settings.descFile;
    if (platform::exists(list)) {
      lists.check(list);
    }
  }
  if (!settings.netmailDir.empty()) {
    platform::DirectorySearch messageSearch(settings.netmailDir);
    while (messageSearch.next(name)) {
      // 1.msg is the mail tosser's own and never written here.
      if (storedmsg::messageNumberOf(name) > 1) {
        messages.check(settings.netmailDir + name);
      }
    }
  }
  out << "\nWhat earlier runs left, " << byUser() << ":\n  " << areaDirectories.summary() << ", "
      << lists.summary();
  if (!settings.netmailDir.empty()) {
    out << ", " << messages.summary();
  }
  out << '\n';
}

// "1 error, 2 warnings." for the lines of the report.
std::string tally(const std::vector<std::string>& lines) {
  const auto errors = static_cast<std::size_t>(
      std::count_if(lines.begin(), lines.end(),
                    [](const std::string& line) { return line.rfind("Error:", 0) == 0; }));
  const std::size_t others = lines.size() - errors;
  std::string text;
  if (errors != 0) {
    text = std::to_string(errors) + (errors == 1 ? " error" : " errors");
  }
  if (others != 0) {
    text += (text.empty() ? "" : ", ") + std::to_string(others) +
            (others == 1 ? " warning" : " warnings");
  }
  return text + ".";
}

}  // namespace

int reportConfiguration(const ConfigReading& reading, std::ostream& out) {
  const TossConfig& settings = reading.settings;
  std::vector<std::string> warnings = reading.warnings;
  reportSettings(reading, out);
  const auto areas = reportLists(settings, out, warnings);
  reportDescriptions(settings, out);
  reportArrivalChecks(settings, out, warnings);
  if (const platform::Status stop = configurationStop(settings); !stop) {
    warnings.push_back(stopLine(stop, reading.path));
  } else {
    checkSurroundings(settings, warnings);
    out << "\nPlaces the run writes, " << byUser() << ":\n";
    for (const WrittenPlace& place : placesWritten(settings, areas)) {
      out << "  " << place.role << ' ' << shown(place.path) << ": " << checkPlace(place, warnings)
          << '\n';
    }
    reportExisting(settings, areas, out, warnings);
  }
  out << '\n';
  for (const std::string& line : warnings) {
    out << line << '\n';
  }
  if (warnings.empty()) {
    out << "Nothing to warn about.\n";
  } else {
    out << tally(warnings) << '\n';
  }
  out << std::flush;
  return warnings.empty() ? 0 : 1;
}
