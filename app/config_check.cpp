#include "app/config_check.h"

#include <algorithm>
#include <set>
#include <utility>

#include "announce/ftn_address.h"
#include "app/arrival_report.h"
#include "events/event_table.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/status.h"
#include "platform/system.h"
#include "res/messages.h"
#include "tic/area_path_map.h"
#include "util/line_reader.h"

namespace {

// What a missing directory means for the run.
enum class Missing {
  created,        // the run creates it with its missing levels
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

// The nearest directory above `path` that exists; empty for the current directory.
std::string nearestExisting(std::string path) {
  for (;;) {
    while (path.size() > 1 && path.back() == platform::kSeparator) {
      path.pop_back();
    }
    const std::size_t last = path.rfind(platform::kSeparator);
    if (last == std::string::npos) {
      return {};
    }
    path.resize(last == 0 ? 1 : last);
    if (platform::exists(path)) {
      return path;
    }
  }
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
    if (place.missing == Missing::created) {
      const std::string parent = nearestExisting(place.path);
      const platform::Status above = platform::checkWritable(parent);
      const bool directory = parent.empty() || platform::isDirectory(parent);
      if (above.ok() && directory) {
        return "does not exist yet; the run creates it in " + shown(parent);
      }
      const std::string why = directory ? above.text() : std::string("Not a directory");
      warnings.push_back("Warning: the " + place.role + " " + place.path + " cannot be created " +
                         byUser() + ": " + shown(parent) + ": " + why);
      return "cannot be created: " + shown(parent) + ": " + why;
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

// The tags of an area path list as its reader takes them: the text before the first space or
// "=" of each line that is not a comment.
std::set<std::string> areaTags(const std::string& text) {
  std::set<std::string> tags;
  std::uint32_t position = 0;
  while (position < text.size()) {
    const std::string line = readLine(text, position);
    const std::size_t separator = line.find_first_of(" =");
    if (!line.empty() && line.front() != ';' && separator != std::string::npos) {
      tags.insert(line.substr(0, separator));
    }
  }
  return tags;
}

}  // namespace

int configurationStop(const TossConfig& settings) {
  if (settings.inboundDir.empty()) {
    return msg::kNoInbound;
  }
  if (settings.fileechoDir.empty()) {
    return msg::kNoFileecho;
  }
  if (!settings.netmailDir.empty() && settings.ftnAddress.empty()) {
    return msg::kNoFtnAddress;
  }
  return 0;
}

std::string stopLine(int message, const std::string& configPath) {
  return "Error: " + loadMessage(message) + " (" + configPath + ")";
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

// Reports the two lists with their entry counts; returns the areas that the area list names
// (tag and directory).
std::vector<std::pair<std::string, std::string>> reportLists(const TossConfig& settings,
                                                             std::ostream& out) {
  out << "\nLists:\n";
  std::vector<std::pair<std::string, std::string>> areas;
  if (settings.areaPathFile.empty()) {
    out << "  AreaPathMap  none named\n";
  } else if (const auto text =
                 platform::readWholeFile(settings.areaPathFile, platform::kHoldWait)) {
    AreaPathMap map;
    map.parse(*text);
    for (const std::string& tag : areaTags(*text)) {
      // A tag whose directory is empty serves nothing: its files go into Fileecho.
      if (std::string directory = map.lookup(tag); !directory.empty()) {
        areas.emplace_back(tag, std::move(directory));
      }
    }
    out << "  AreaPathMap  " << settings.areaPathFile << ": " << areas.size()
        << entries(areas.size());
  } else {
    out << "  AreaPathMap  " << settings.areaPathFile << ": cannot be read\n";
  }
  if (settings.eventsFile.empty()) {
    out << "  EventTable   none named\n";
  } else if (platform::checkReadableFile(settings.eventsFile).ok()) {
    const EventTable events(settings.eventsFile, settings.flagsDir, settings.processTimeMs);
    out << "  EventTable   " << settings.eventsFile << ": " << events.list().size()
        << entries(events.list().size());
  } else {
    out << "  EventTable   " << settings.eventsFile << ": cannot be read\n";
  }
  return areas;
}

// Every place a run of these settings writes to.
std::vector<WrittenPlace> placesWritten(
    const TossConfig& settings, const std::vector<std::pair<std::string, std::string>>& areas) {
  std::vector<WrittenPlace> places;
  places.push_back({"inbound directory", settings.inboundDir, Missing::alreadyWarned, ""});
  places.push_back({"Fileecho directory", settings.fileechoDir, Missing::created, ""});
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

int reportConfiguration(const ConfigReading& reading, std::ostream& out) {
  const TossConfig& settings = reading.settings;
  std::vector<std::string> warnings = reading.warnings;
  reportSettings(reading, out);
  const auto areas = reportLists(settings, out);
  reportArrivalChecks(settings, out, warnings);
  if (const int stop = configurationStop(settings); stop != 0) {
    warnings.push_back(stopLine(stop, reading.path));
  } else {
    checkSurroundings(settings, warnings);
    out << "\nPlaces the run writes, " << byUser() << ":\n";
    for (const WrittenPlace& place : placesWritten(settings, areas)) {
      out << "  " << place.role << ' ' << shown(place.path) << ": " << checkPlace(place, warnings)
          << '\n';
    }
  }
  out << '\n';
  for (const std::string& line : warnings) {
    out << line << '\n';
  }
  if (warnings.empty()) {
    out << "Nothing to warn about.\n";
  } else {
    out << warnings.size() << (warnings.size() == 1 ? " warning.\n" : " warnings.\n");
  }
  out << std::flush;
  return warnings.empty() ? 0 : 1;
}
