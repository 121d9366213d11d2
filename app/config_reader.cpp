#include "app/config_reader.h"

#include <limits>

#include "app/ini_reader.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/status.h"
#include "platform/system.h"
#include "util/paths.h"
#include "util/text.h"

namespace {

constexpr const char* kMain = "QUENFAR";
constexpr const char* kInclude = "INCLUDE";

std::string yesNo(bool value) {
  return value ? "YES" : "NO";
}

// Every key the program reads, by section, in the order of the reference, with the value that
// the run uses.
struct KnownKey {
  const char* section;
  const char* key;
  bool number;  // an empty value gives the default
  std::string (*inEffect)(const TossConfig&);
};
constexpr KnownKey kKnownKeys[] = {
    {kMain, "Inbound", false, [](const TossConfig& c) { return c.inboundDir; }},
    {kMain, "Fileecho", false, [](const TossConfig& c) { return c.fileechoDir; }},
    {kMain, "Descfile", false, [](const TossConfig& c) { return c.descFile; }},
    {kMain, "Logfile", false, [](const TossConfig& c) { return c.logFile; }},
    {kMain, "OnScreen", false, [](const TossConfig& c) { return yesNo(c.onScreen); }},
    {kMain, "DescFilter", false, [](const TossConfig& c) { return yesNo(c.descFilter); }},
    {kMain, "DescInLog", false, [](const TossConfig& c) { return yesNo(c.descInLog); }},
    {kMain, "CutSymbols", true, [](const TossConfig& c) { return std::to_string(c.cutSymbols); }},
    {kMain, "TICDir", false, [](const TossConfig& c) { return c.ticDir; }},
    {kMain, "ProcessTime", true,
     [](const TossConfig& c) { return std::to_string(c.processTimeMs / 1000); }},
    {kMain, "FlagsDir", false, [](const TossConfig& c) { return c.flagsDir; }},
    {kMain, "NetmailDir", false, [](const TossConfig& c) { return c.netmailDir; }},
    {kMain, "FTNAddress", false, [](const TossConfig& c) { return c.ftnAddress; }},
    {kMain, "UserName", false, [](const TossConfig& c) { return c.userName; }},
    {kInclude, "AreaPath", false, [](const TossConfig& c) { return c.areaPathFile; }},
    {kInclude, "Events", false, [](const TossConfig& c) { return c.eventsFile; }},
};

// The section that reads `key`, in any letter case; nullptr for a key the program does not
// know.
const char* sectionOf(const std::string& key) {
  const std::string upper = toUpperAnsi(key);
  for (const KnownKey& known : kKnownKeys) {
    if (upper == toUpperAnsi(known.key)) {
      return known.section;
    }
  }
  return nullptr;
}

// A list named without any separator lies beside the program; any other value is kept as is.
std::string placeBesideProgram(const std::string& value, const std::string& programDir) {
  if (value.empty() || value.find(platform::kSeparator) != std::string::npos) {
    return value;
  }
  return programDir + platform::kSeparator + value;
}

// Other FTN programs take " ;" as the start of a comment; this reader, like Windows' own, keeps
// it in the value. A quoted value is taken as meant.
bool holdsInlineComment(const std::string& written) {
  return !IniReader::isQuoted(written) &&
         (written.find(" ;") != std::string::npos || written.find("\t;") != std::string::npos);
}

void warnAboutSections(const IniReader& ini, const std::string& path,
                       std::vector<std::string>& warnings) {
  for (const std::string& name : ini.sections()) {
    const std::string upper = toUpperAnsi(name);
    if (upper != kMain && upper != kInclude) {
      warnings.push_back("Warning: unknown section [" + name + "] of " + path);
    }
  }
  for (const char* section : {kMain, kInclude}) {
    for (const std::string& key : ini.keys(section)) {
      const char* home = sectionOf(key);
      if (home == nullptr) {
        warnings.push_back("Warning: unknown key " + key + " in [" + section + "] of " + path);
      } else if (std::string_view(home) != section) {
        warnings.push_back("Warning: unknown key " + key + " in [" + section + "] of " + path +
                           "; it belongs in [" + home + "]");
      }
    }
  }
  for (const KnownKey& known : kKnownKeys) {
    const std::optional<std::string> written = ini.writtenValue(known.section, known.key);
    if (written && holdsInlineComment(*written)) {
      warnings.push_back(
          "Warning: the value of " + std::string(known.key) + " in [" + known.section + "] of " +
          path + " holds an inline comment, kept as part of the value: \"" + *written + "\"");
    }
  }
}

// A list that the run would read but cannot, named by the path the run tries.
void warnAboutList(const char* what, const char* key, const std::string& written,
                   const std::string& tried, std::vector<std::string>& warnings) {
  if (tried.empty()) {
    return;
  }
  const platform::Status readable = platform::checkReadableFile(tried);
  if (readable.ok()) {
    return;
  }
  // The rule for a bare name surprises: say that it was applied.
  const std::string why = written == tried
                              ? std::string(key)
                              : std::string(key) + " " + written + ", without a " +
                                    platform::kSeparator + ", is looked for beside the program";
  warnings.push_back("Warning: cannot read the " + std::string(what) + " " + tried + " (" + why +
                     "): " + readable.text());
}

}  // namespace

bool parseYesNo(std::string_view text) {
  return toUpperAnsi(text) != "NO";
}

std::string programDirectory() {
  const std::string path = platform::programFilePath();
  const std::size_t last = path.rfind(platform::kSeparator);
  return last == std::string::npos ? path : path.substr(0, last);
}

ConfigReading readConfiguration(const std::string& programDir) {
  const std::string beside = programDir + platform::kSeparator + "quenfar.cfg";
  ConfigReading reading;
  // The package puts a link beside the program; the sysop edits the file it points to.
  reading.path = platform::resolvedPath(beside);
  const std::optional<std::string> text = platform::readWholeFile(beside, platform::kHoldWait);
  reading.readable = text.has_value();
  if (!text) {
    reading.warnings.push_back("Warning: cannot read the configuration file " + reading.path);
  }
  const IniReader ini(text.value_or(std::string()));
  warnAboutSections(ini, reading.path, reading.warnings);

  TossConfig& c = reading.settings;
  c.inboundDir = ini.getString(kMain, "Inbound", "");
  c.fileechoDir = ini.getString(kMain, "Fileecho", "");
  c.descFile = ini.getString(kMain, "Descfile", "files.bbs");
  c.logFile = ini.getString(kMain, "Logfile", "");
  c.onScreen = parseYesNo(ini.getString(kMain, "OnScreen", "YES"));
  c.descFilter = parseYesNo(ini.getString(kMain, "DescFilter", "YES"));
  c.descInLog = parseYesNo(ini.getString(kMain, "DescInLog", "YES"));
  c.cutSymbols = static_cast<std::uint16_t>(ini.getInt(kMain, "CutSymbols", 0) & 0xFFFF);
  const std::string areaPath = ini.getString(kInclude, "AreaPath", "");
  c.ticDir = withTrailingBackslash(ini.getString(kMain, "TICDir", ""));
  std::int32_t seconds = ini.getInt(kMain, "ProcessTime", 10);
  if (seconds < 9) {
    seconds = 10;
  }
  // A huge number of seconds is held at the largest wait that fits, instead of overflowing.
  constexpr std::int32_t kMaxSeconds = std::numeric_limits<std::int32_t>::max() / 1000;
  c.processTimeMs =
      (seconds > kMaxSeconds) ? std::numeric_limits<std::int32_t>::max() : seconds * 1000;
  c.flagsDir = withTrailingBackslash(ini.getString(kMain, "FlagsDir", ""));
  c.netmailDir = withTrailingBackslash(ini.getString(kMain, "NetmailDir", ""));
  c.ftnAddress = ini.getString(kMain, "FTNAddress", "");
  const std::string events = ini.getString(kInclude, "Events", "");
  c.userName = ini.getString(kMain, "UserName", "");
  c.eventsFile = placeBesideProgram(events, programDir);
  c.areaPathFile = placeBesideProgram(areaPath, programDir);
  warnAboutList("area path list", "AreaPath", areaPath, c.areaPathFile, reading.warnings);
  warnAboutList("events list", "Events", events, c.eventsFile, reading.warnings);

  for (const KnownKey& known : kKnownKeys) {
    const std::optional<std::string> value = ini.value(known.section, known.key);
    const bool fromFile = value.has_value() && !(known.number && value->empty());
    reading.inEffect.push_back(
        SettingInEffect{known.section, known.key, known.inEffect(c), fromFile});
  }
  return reading;
}

TossConfig readConfigFrom(const std::string& programDir, std::vector<std::string>* warnings) {
  ConfigReading reading = readConfiguration(programDir);
  if (warnings != nullptr) {
    warnings->insert(warnings->end(), reading.warnings.begin(), reading.warnings.end());
  }
  return std::move(reading.settings);
}
