#include "app/config_reader.h"

#include <limits>

#include "app/ini_reader.h"
#include "platform/file.h"
#include "platform/system.h"
#include "util/paths.h"
#include "util/text.h"

namespace {

constexpr const char* kMain = "QUENFAR";
constexpr const char* kInclude = "INCLUDE";

// A list named without any separator lies beside the program; any other value is kept as is.
// The keys of the main section, in any letter case.
bool isKnownKey(const std::string& key) {
  static constexpr std::string_view kKeys[] = {
      "INBOUND",    "FILEECHO", "DESCFILE",    "LOGFILE",  "ONSCREEN",   "DESCFILTER", "DESCINLOG",
      "CUTSYMBOLS", "TICDIR",   "PROCESSTIME", "FLAGSDIR", "NETMAILDIR", "FTNADDRESS", "USERNAME"};
  const std::string upper = toUpperAnsi(key);
  for (const std::string_view known : kKeys) {
    if (upper == known) {
      return true;
    }
  }
  return false;
}

std::string placeBesideProgram(const std::string& value, const std::string& programDir) {
  if (value.empty() || value.find(platform::kSeparator) != std::string::npos) {
    return value;
  }
  return programDir + platform::kSeparator + value;
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

TossConfig readConfigFrom(const std::string& programDir, std::vector<std::string>* warnings) {
  const std::string path = programDir + platform::kSeparator + "quenfar.cfg";
  const std::optional<std::string> text = platform::readWholeFile(path, platform::kHoldWait);
  if (!text && warnings != nullptr) {
    warnings->push_back("Warning: cannot read the configuration file " + path);
  }
  const IniReader ini(text.value_or(std::string()));
  if (warnings != nullptr) {
    for (const std::string& key : ini.keys(kMain)) {
      if (!isKnownKey(key)) {
        warnings->push_back("Warning: unknown key " + key + " in [" + kMain + "] of " + path);
      }
    }
  }
  TossConfig c;
  c.inboundDir = ini.getString(kMain, "Inbound", "");
  c.fileechoDir = ini.getString(kMain, "Fileecho", "");
  c.descFile = ini.getString(kMain, "Descfile", "files.bbs");
  c.logFile = ini.getString(kMain, "Logfile", "");
  c.onScreen = parseYesNo(ini.getString(kMain, "OnScreen", "YES"));
  c.descFilter = parseYesNo(ini.getString(kMain, "DescFilter", "YES"));
  c.descInLog = parseYesNo(ini.getString(kMain, "DescInLog", "YES"));
  c.cutSymbols = static_cast<std::uint16_t>(ini.getInt(kMain, "CutSymbols", 0) & 0xFFFF);
  c.areaPathFile = ini.getString(kInclude, "AreaPath", "");
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
  c.eventsFile = ini.getString(kInclude, "Events", "");
  c.userName = ini.getString(kMain, "UserName", "");
  c.eventsFile = placeBesideProgram(c.eventsFile, programDir);
  c.areaPathFile = placeBesideProgram(c.areaPathFile, programDir);
  return c;
}
