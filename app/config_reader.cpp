#include "app/config_reader.h"

#include <limits>

#include "announce/ftn_address.h"
#include "app/ini_reader.h"
#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/status.h"
#include "platform/system.h"
#include "tic/link_list.h"
#include "util/paths.h"
#include "util/text.h"

namespace {

constexpr const char* kMain = "QUENFAR";
constexpr const char* kInclude = "INCLUDE";

std::string yesNo(bool value) {
  return value ? "YES" : "NO";
}

// A list named without any separator lies beside the program; any other value is kept as is.
std::string placeBesideProgram(const std::string& value, const std::string& programDir) {
  if (value.empty() || value.find(platform::kSeparator) != std::string::npos) {
    return value;
  }
  return programDir + platform::kSeparator + value;
}

std::int32_t processTimeSeconds(const std::string& value) {
  const std::int32_t seconds = IniReader::leadingNumber(value);
  return seconds < 9 ? 10 : seconds;
}

// A huge number of seconds is held at the largest wait that fits, instead of overflowing.
constexpr std::int32_t kMaxSeconds = std::numeric_limits<std::int32_t>::max() / 1000;

// The keys in the order of the reference. `take` applies each key's normalisation: the
// directories of TICDir, FlagsDir, NetmailDir and BadTicDir end with a separator, the lists of
// [INCLUDE] named without one lie beside the program.
using Dir = const std::string&;
constexpr ConfigKey kKeys[] = {
    {kMain, "Inbound", KeyKind::path, "", 0, 0,
     [](TossConfig& c, const std::string& v, Dir) { c.inboundDir = v; },
     [](const TossConfig& c) { return c.inboundDir; }},
    {kMain, "Fileecho", KeyKind::path, "", 0, 0,
     [](TossConfig& c, const std::string& v, Dir) { c.fileechoDir = v; },
     [](const TossConfig& c) { return c.fileechoDir; }},
    {kMain, "Descfile", KeyKind::text, "files.bbs", 0, 0,
     [](TossConfig& c, const std::string& v, Dir) { c.descFile = v; },
     [](const TossConfig& c) { return c.descFile; }},
    {kMain, "Logfile", KeyKind::path, "", 0, 0,
     [](TossConfig& c, const std::string& v, Dir) { c.logFile = v; },
     [](const TossConfig& c) { return c.logFile; }},
    {kMain, "OnScreen", KeyKind::yesNo, "YES", 0, 0,
     [](TossConfig& c, const std::string& v, Dir) { c.onScreen = parseYesNo(v); },
     [](const TossConfig& c) { return yesNo(c.onScreen); }},
    {kMain, "DescFilter", KeyKind::yesNo, "YES", 0, 0,
     [](TossConfig& c, const std::string& v, Dir) { c.descFilter = parseYesNo(v); },
     [](const TossConfig& c) { return yesNo(c.descFilter); }},
    {kMain, "DescInLog", KeyKind::yesNo, "YES", 0, 0,
     [](TossConfig& c, const std::string& v, Dir) { c.descInLog = parseYesNo(v); },
     [](const TossConfig& c) { return yesNo(c.descInLog); }},
    {kMain, "CutSymbols", KeyKind::number, "0", 0, 0xFFFF,
     [](TossConfig& c, const std::string& v, Dir) {
       c.cutSymbols = static_cast<std::uint16_t>(IniReader::leadingNumber(v) & 0xFFFF);
     },
     [](const TossConfig& c) { return std::to_string(c.cutSymbols); }},
    {kMain, "TICDir", KeyKind::path, "", 0, 0,
     [](TossConfig& c, const std::string& v, Dir) { c.ticDir = withTrailingBackslash(v); },
     [](const TossConfig& c) { return c.ticDir; }},
    {kMain, "ProcessTime", KeyKind::number, "10", 9, kMaxSeconds,
     [](TossConfig& c, const std::string& v, Dir) {
       const std::int32_t seconds = processTimeSeconds(v);
       c.processTimeMs =
           seconds > kMaxSeconds ? std::numeric_limits<std::int32_t>::max() : seconds * 1000;
     },
     [](const TossConfig& c) { return std::to_string(c.processTimeMs / 1000); }},
    {kMain, "FlagsDir", KeyKind::path, "", 0, 0,
     [](TossConfig& c, const std::string& v, Dir) { c.flagsDir = withTrailingBackslash(v); },
     [](const TossConfig& c) { return c.flagsDir; }},
    {kMain, "NetmailDir", KeyKind::path, "", 0, 0,
     [](TossConfig& c, const std::string& v, Dir) { c.netmailDir = withTrailingBackslash(v); },
     [](const TossConfig& c) { return c.netmailDir; }},
    {kMain, "FTNAddress", KeyKind::address, "", 0, 0,
     [](TossConfig& c, const std::string& v, Dir) { c.ftnAddress = v; },
     [](const TossConfig& c) { return c.ftnAddress; }},
    {kMain, "UserName", KeyKind::text, "", 0, 0,
     [](TossConfig& c, const std::string& v, Dir) { c.userName = v; },
     [](const TossConfig& c) { return c.userName; }},
    {kMain, "Akas", KeyKind::addresses, "", 0, 0,
     [](TossConfig& c, const std::string& v, Dir) { c.akas = v; },
     [](const TossConfig& c) { return c.akas; }},
    {kMain, "VerifyFiles", KeyKind::yesNo, "NO", 0, 0,
     [](TossConfig& c, const std::string& v, Dir) { c.verifyFiles = parseYesNo(v); },
     [](const TossConfig& c) { return yesNo(c.verifyFiles); }},
    {kMain, "BadTicDir", KeyKind::path, "", 0, 0,
     [](TossConfig& c, const std::string& v, Dir) { c.badTicDir = withTrailingBackslash(v); },
     [](const TossConfig& c) { return c.badTicDir; }},
    {kMain, "AutoCreate", KeyKind::yesNo, "YES", 0, 0,
     [](TossConfig& c, const std::string& v, Dir) { c.autoCreate = parseYesNo(v); },
     [](const TossConfig& c) { return yesNo(c.autoCreate); }},
    {kMain, "Replaces", KeyKind::yesNo, "NO", 0, 0,
     [](TossConfig& c, const std::string& v, Dir) { c.replaces = parseYesNo(v); },
     [](const TossConfig& c) { return yesNo(c.replaces); }},
    {kMain, "LongDesc", KeyKind::yesNo, "NO", 0, 0,
     [](TossConfig& c, const std::string& v, Dir) { c.longDesc = parseYesNo(v); },
     [](const TossConfig& c) { return yesNo(c.longDesc); }},
    {kInclude, "AreaPath", KeyKind::list, "", 0, 0,
     [](TossConfig& c, const std::string& v, Dir d) { c.areaPathFile = placeBesideProgram(v, d); },
     [](const TossConfig& c) { return c.areaPathFile; }},
    {kInclude, "Events", KeyKind::list, "", 0, 0,
     [](TossConfig& c, const std::string& v, Dir d) { c.eventsFile = placeBesideProgram(v, d); },
     [](const TossConfig& c) { return c.eventsFile; }},
    {kInclude, "Links", KeyKind::list, "", 0, 0,
     [](TossConfig& c, const std::string& v, Dir d) { c.linksFile = placeBesideProgram(v, d); },
     [](const TossConfig& c) { return c.linksFile; }},
};

// Succeeds when a value reads as written; else fails with the words that say how it reads
// otherwise.
platform::Status checkReading(const ConfigKey& key, const std::string& value) {
  using platform::Status;
  switch (key.kind) {
    case KeyKind::yesNo: {
      const std::string upper = toUpperAnsi(value);
      return upper == "YES" || upper == "NO" ? Status() : Status::refused("is neither YES nor NO");
    }
    case KeyKind::number: {
      const std::size_t sign = !value.empty() && value[0] == '-' ? 1 : 0;
      const std::string_view digits = std::string_view(value).substr(sign);
      if (digits.empty() || digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return Status::refused("is not a whole number");
      }
      // Past ten digits any number is out of range; below, it is compared whole.
      const std::size_t significant = digits.find_first_not_of('0');
      const bool huge = significant != std::string_view::npos && digits.size() - significant > 10;
      const long long number = huge ? 0 : std::stoll(std::string(digits)) * (sign != 0 ? -1 : 1);
      if (!huge && number < key.minimum) {
        return Status::refused("is below the least value, " + std::to_string(key.minimum));
      }
      if (huge || number > key.maximum) {
        return Status::refused("is above the greatest value, " + std::to_string(key.maximum));
      }
      return {};
    }
    case KeyKind::address:
      return isFtnAddress(value) && !readNodeAddress(value)
                 ? Status::refused("has a part above 65535, which the announcement would cut")
                 : Status();
    case KeyKind::addresses: {
      std::string unread;
      std::size_t start = value.find_first_not_of(" \t");
      while (start != std::string::npos) {
        const std::size_t end = value.find_first_of(" \t", start);
        const std::string word = value.substr(start, end - start);
        if (!readNodeAddress(word)) {
          unread += (unread.empty() ? "" : ", ") + word;
        }
        start = end == std::string::npos ? end : value.find_first_not_of(" \t", end);
      }
      return unread.empty()
                 ? Status()
                 : Status::refused("holds what does not read as zone:net/node[.point]: " + unread);
    }
    case KeyKind::path:
    case KeyKind::list:
    case KeyKind::text:
      return {};
  }
  return {};
}

// What the run takes for a value that misreads: the value in effect, or what comes of it.
std::string takenAs(const ConfigKey& key, const TossConfig& settings) {
  if (key.kind == KeyKind::address) {
    const FtnAddress address = parseFtnAddress(settings.ftnAddress);
    return std::to_string(address.zone) + ":" + std::to_string(address.net) + "/" +
           std::to_string(address.node) +
           (address.point != 0 ? "." + std::to_string(address.point) : std::string());
  }
  if (key.kind == KeyKind::addresses) {
    return "the others only";
  }
  return key.inEffect(settings);
}

// The section that reads `key`, in any letter case; nullptr for a key the program does not
// know.
const char* sectionOf(const std::string& key) {
  const std::string upper = toUpperAnsi(key);
  for (const ConfigKey& known : kKeys) {
    if (upper == toUpperAnsi(known.name)) {
      return known.section;
    }
  }
  return nullptr;
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
  for (const ConfigKey& known : kKeys) {
    const std::optional<std::string> written = ini.writtenValue(known.section, known.name);
    if (written && holdsInlineComment(*written)) {
      warnings.push_back(
          "Warning: the value of " + std::string(known.name) + " in [" + known.section + "] of " +
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

std::span<const ConfigKey> configKeys() {
  return kKeys;
}

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
  const platform::Result<std::string> text = platform::readWholeFile(beside, platform::kHoldWait);
  reading.readable = text.ok();
  if (!text) {
    reading.warnings.push_back("Warning: cannot read the configuration file " + reading.path);
  }
  const IniReader ini(text ? *text : std::string());
  warnAboutSections(ini, reading.path, reading.warnings);

  TossConfig& c = reading.settings;
  for (const ConfigKey& key : kKeys) {
    const std::optional<std::string> value = ini.value(key.section, key.name);
    // An empty number gives the default; any other empty value is the empty text.
    const bool fromFile = value.has_value() && !(key.kind == KeyKind::number && value->empty());
    key.take(c, fromFile ? *value : std::string(key.fallback), programDir);
  }
  for (const ConfigKey& key : kKeys) {
    const std::optional<std::string> value = ini.value(key.section, key.name);
    const bool fromFile = value.has_value() && !(key.kind == KeyKind::number && value->empty());
    reading.inEffect.push_back(SettingInEffect{key.section, key.name, key.inEffect(c), fromFile});
    if (!fromFile) {
      continue;
    }
    if (const platform::Status read = checkReading(key, *value); !read) {
      reading.warnings.push_back("Warning: " + std::string(key.name) + " = " + *value + " in [" +
                                 key.section + "] of " + reading.path + " " + read.text() +
                                 "; taken as " + takenAs(key, c));
    }
  }
  warnAboutList("area path list", "AreaPath", ini.getString(kInclude, "AreaPath", ""),
                c.areaPathFile, reading.warnings);
  warnAboutList("events list", "Events", ini.getString(kInclude, "Events", ""), c.eventsFile,
                reading.warnings);
  warnAboutList("links list", "Links", ini.getString(kInclude, "Links", ""), c.linksFile,
                reading.warnings);
  if (!c.linksFile.empty()) {
    LinkList links;
    std::vector<LinkLineProblem> problems;
    if (loadLinkList(c.linksFile, links, &problems).ok()) {
      for (const LinkLineProblem& problem : problems) {
        reading.warnings.push_back("Warning: line " + std::to_string(problem.line) +
                                   " of the links list " + c.linksFile +
                                   " cannot be read: " + problem.why + "; it names no link");
      }
    }
  }
  return reading;
}
