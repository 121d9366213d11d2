#include "app/config_reader.h"

#include <limits>

#include "app/ini_reader.h"
#include "app/toss_config.h"
#include "platform/system.h"
#include "util/paths.h"
#include "util/text.h"

namespace {

constexpr const char* kMain = "QUENFAR";
constexpr const char* kInclude = "INCLUDE";

// A list named without any separator lies beside the program; any other value is kept as is.
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

void ConfigReader::read() {
  readFrom(programDirectory());
}

void ConfigReader::readFrom(const std::string& programDir) {
  if (config == nullptr) {
    return;
  }
  const IniReader ini = IniReader::fromFile(programDir + platform::kSeparator + "quenfar.cfg");
  TossConfig& c = *config;
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
  c.processTime =
      (seconds > kMaxSeconds) ? std::numeric_limits<std::int32_t>::max() : seconds * 1000;
  c.flagsDir = withTrailingBackslash(ini.getString(kMain, "FlagsDir", ""));
  c.netmailDir = withTrailingBackslash(ini.getString(kMain, "NetmailDir", ""));
  c.ftnAddress = ini.getString(kMain, "FTNAddress", "");
  c.eventsFile = ini.getString(kInclude, "Events", "");
  c.userName = ini.getString(kMain, "UserName", "");
  c.eventsFile = placeBesideProgram(c.eventsFile, programDir);
  c.areaPathFile = placeBesideProgram(c.areaPathFile, programDir);
}
